// The hub's side of its files: the map name, the map kept on a refused file, and settings
// that shape the hub at start.
#include "core/korvanecore.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using testfiles::spyHas;

class TestFiles : public QObject
{
    Q_OBJECT
private slots:
    void init() { env.renew(); }

    void mapNameFollowsFiles()
    {
        KorvaneCore hub;
        const QString path = env.dataPath() + "/maps/Stage.kvs";
        QVERIFY(hub.SaveState(path));
        QCOMPARE(hub.GetMapName(), QStringLiteral("Stage.kvs"));
        const KorvaneSensorsState saved = hub.GetState();
        hub.ScaleRequest(3, 5, 2);
        QSignalSpy loaded(&hub, SIGNAL(LoadCompleted()));
        QSignalSpy differ(&hub, SIGNAL(SendDifferingSensors(QList<int>)));
        QVERIFY(hub.SaveState(env.dataPath() + "/maps/Other.kvs"));
        QVERIFY(hub.LoadState(path));
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(differ.count(), 1);
        QCOMPARE(hub.GetMapName(), QStringLiteral("Stage.kvs"));
        QVERIFY(hub.GetState().nodes == saved.nodes);
        QVERIFY(testfiles::write(path, "damaged"));
        QVERIFY(!hub.LoadState(path));
        QCOMPARE(loaded.count(), 1);
        QVERIFY(hub.GetState().nodes == saved.nodes);
        hub.DeleteState("maps/Other.kvs");
        QVERIFY(!QFile::exists(env.dataPath() + "/maps/Other.kvs"));
    }
    void settingsRoundTripAndMute()
    {
        KorvaneCalibration c;
        c.onThreshold = 30;
        {
            KorvaneCore hub;
            QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
            hub.setCalibration(c);
            QVERIFY(spyHas(status, "Settings saved."));
            hub.setRemoteType(0);
            hub.setRemoteMap(2);
            hub.setMute(true);
        }
        KorvaneCore hub;
        QSignalSpy mute(&hub, SIGNAL(SendMute(bool)));
        QSignalSpy system(&hub, SIGNAL(SendRemoteSystem(int)));
        QSignalSpy ui(&hub, SIGNAL(UpdateSettingsUI(KorvaneCalibration)));
        QVERIFY(hub.LoadSettings());
        QCOMPARE(mute.count(), 1);
        QCOMPARE(mute.at(0).at(0).toBool(), true);
        QCOMPARE(system.at(0).at(0).toInt(), 0);
        QCOMPARE(ui.count(), 1);
        QVERIFY(hub.GetMute());
        QCOMPARE(hub.GetRemoteMap(), 2);
        QVERIFY(hub.getCalibration() == c);
        // The stored vesko layout shaped the first map.
        QCOMPARE(hub.GetNode(7).type, int(NodeAction));
        QCOMPARE(hub.GetNode(7).action, int(ActionOctaveUp));
    }
    void lastBendAndGyroKept()
    {
        KorvaneBendSettings bend;
        bend.halfway = 0;
        bend.releaseSpeed = 9;
        KorvaneGyroSettings gyro;
        gyro.gyroThreshold = 50;
        const QString path = env.dataPath() + "/bendgyro.bin";
        {
            KorvaneCore hub;
            hub.SendBendSettings(bend);
            hub.SendGyroSettings(gyro);
            QCOMPARE(testfiles::read(path).size(), 9);
        }
        KorvaneCore hub; // a new start reads what was sent last
        QVERIFY(hub.getBendSettings() == bend);
        QCOMPARE(int(hub.getGyroSettings().gyroThreshold), 50);

        // A damaged file is refused and said; the settings in use stay.
        QVERIFY(testfiles::write(path, QByteArray(12, '\x7f')));
        QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
        hub.LoadSettings();
        QVERIFY(spyHas(status, "Bend and gyro settings file is damaged"));
        QVERIFY(hub.getBendSettings() == bend);
        QCOMPARE(int(hub.getGyroSettings().gyroThreshold), 50);
    }

private:
    HubTestEnv env;
};

VARNO_TEST_CLASS(TestFiles)
#include "tst_files.moc"
