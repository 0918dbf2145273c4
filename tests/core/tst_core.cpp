// The hub: its first map, scale and transpose requests, the device's map and settings, and
// its side of the files (the map name, the map kept on a refused file, settings that shape
// the hub at start).
#include "core/korvanecore.h"
#include "core/mapfile.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

namespace {
std::vector<int> notes(const KorvaneSensorsState &s)
{
    std::vector<int> v;
    for (const auto &n : s.nodes)
        v.push_back(n.note);
    return v;
}
} // namespace

using testfiles::spyHas;

class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void init() { env.renew(); }
    void startsWithGeneratedMap()
    {
        KorvaneCore hub;
        const KorvaneSensorsState s = hub.GetState();
        QCOMPARE(int(s.nodes.size()), 24);
        QCOMPARE(s.nodes[1].note, 55);
        QCOMPARE(s.nodes[16].note, 83);
        QCOMPARE(s.nodes[0].type, int(NodeAction));
        QVERIFY_EXCEPTION_THROWN(hub.GetNode(24), std::out_of_range);
    }
    void startKeepsUserDefaults()
    {
        // The generated map is written only where no "Defaults" map exists yet.
        const QString path = env.dataPath() + "/maps/Defaults.kvs";
        {
            KorvaneCore hub;
            hub.StartEngines();
            QVERIFY(QFile::exists(path));
            KorvaneSensorsState own = hub.GetState();
            own.nodes[4].note = 99;
            QVERIFY(testfiles::write(path, MapFile::serialize(own, 0.2f, 1)));
        }
        KorvaneCore hub;
        hub.StartEngines();
        QCOMPARE(hub.LoadStateTemp(path).nodes.at(4).note, 99);
    }
    void scaleRequest()
    {
        KorvaneCore hub;
        QSignalSpy ui(&hub, SIGNAL(SendStateUI(KorvaneSensorsState)));
        const auto before = notes(hub.GetState());

        hub.ScaleRequest(-1, -1, -1);
        QCOMPARE(ui.count(), 1);
        QVERIFY(notes(hub.GetState()) == before);

        // An octave change moves every note, without regenerating.
        KorvaneSensorNode n0 = hub.GetNode(0);
        n0.note = 10;
        hub.SetNode(n0, 0);
        hub.ScaleRequest(-1, 5, -1);
        const KorvaneSensorsState up = hub.GetState();
        QCOMPARE(up.octave, 5);
        QCOMPARE(up.nodes[0].note, 22);
        for (int i = 1; i < 24; ++i)
            QCOMPARE(up.nodes[i].note, before[i] + 12);
        QCOMPARE(ui.count(), 2);
        QCOMPARE(ui.last().at(0).value<KorvaneSensorsState>().octave, 5);

        // Scale then key, each regenerating from the current octave.
        hub.ScaleRequest(2, -1, 4);
        const KorvaneSensorsState s = hub.GetState();
        QCOMPARE(s.scale, 4);
        QCOMPARE(s.key, 2);
        QCOMPARE(s.scaleLength, 5);
        QCOMPARE(s.nodes[4].note, 12 * 6 + 2);
    }
    void transpose()
    {
        KorvaneCore hub;
        const auto before = notes(hub.GetState());
        QSignalSpy ui(&hub, SIGNAL(SendStateUI(KorvaneSensorsState)));
        hub.Transpose(-13);
        QCOMPARE(hub.GetState().key, -1);
        for (int i = 0; i < 24; ++i)
            QCOMPARE(hub.GetState().nodes[i].note, before[i] - 13);
        hub.Transpose(-12);
        QCOMPARE(hub.GetState().key, -1);
        hub.Transpose(13);
        QCOMPARE(hub.GetState().key, 0);
        hub.Transpose(1);
        QCOMPARE(hub.GetState().key, 1);
        QCOMPARE(hub.GetState().nodes[5].note, before[5] - 11);
        QCOMPARE(ui.count(), 0); // the caller refreshes its views
    }
    void removeGlobalBend()
    {
        KorvaneCore hub;
        QSignalSpy ui(&hub, SIGNAL(SendStateUI(KorvaneSensorsState)));
        hub.RemoveGlobalBend();
        QCOMPARE(ui.count(), 0); // nothing to change

        // A gyro bend, a bend action, an octave action, and a bend on a controller node (not an
        // action node: left alone).
        const int nodes[4][2] = {{NodeGyroBend, 1},
                                 {NodeAction, ActionBendDown},
                                 {NodeAction, ActionOctaveUp},
                                 {NodeControlChange, ActionBendUp}};
        for (int i = 0; i < 4; ++i) {
            KorvaneSensorNode n(3 + i, nodes[i][0]);
            n.action = nodes[i][1];
            hub.SetNode(n, 3 + i);
        }

        hub.RemoveGlobalBend();
        QCOMPARE(ui.count(), 1);
        const KorvaneSensorsState s = ui.at(0).at(0).value<KorvaneSensorsState>();
        QCOMPARE(QList<int>({s.nodes[3].type, s.nodes[3].action, s.nodes[4].action,
                             s.nodes[5].action, s.nodes[6].type}),
                 QList<int>({NodeAction, 0, 0, ActionOctaveUp, NodeControlChange}));
    }
    void matchingDeviceMap()
    {
        KorvaneCore hub;
        KorvaneSensorsState device = hub.GetState();
        device.nodes[5].note += 1;
        QVERIFY(testfiles::write(env.dataPath() + "/maps/Stage.kvs",
                                 MapFile::serialize(device, 0.2f, 1)));
        QSignalSpy done(&hub, SIGNAL(SysExLoadCompleted()));
        QSignalSpy differ(&hub, SIGNAL(SendDifferingSensors(QList<int>)));
        QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
        hub.LoadStateFromSysEx(device);
        QCOMPARE(hub.GetMapName(), QStringLiteral("Stage"));
        QVERIFY(differ.last().at(0).value<QList<int>>().isEmpty());

        // Nothing matches: the name stays, the map is the device's, the nearest map is told.
        device.nodes[2].note += 1;
        hub.LoadStateFromSysEx(device);
        QCOMPARE(done.count(), 2);
        QCOMPARE(hub.GetMapName(), QStringLiteral("Stage"));
        QCOMPARE(hub.GetState().nodes[2].note, device.nodes[2].note);
        QCOMPARE(differ.last().at(0).value<QList<int>>(), QList<int>{2});
        QCOMPARE(status.last().at(0).toString(),
                 QStringLiteral("Nearest map: Stage, 1 sensor differs"));
    }
    void shortDeviceMapIsCompleted()
    {
        KorvaneCore hub;
        KorvaneSensorsState partial = hub.GetState();
        const int note20 = partial.nodes[20].note;
        partial.nodes.resize(12);
        partial.nodes[3].note = 40;
        hub.LoadStateFromSysEx(partial);
        QCOMPARE(int(hub.GetState().nodes.size()), 24);
        QCOMPARE(hub.GetState().nodes[3].note, 40);
        QCOMPARE(hub.GetState().nodes[20].note, note20);
        hub.Transpose(1); // walks all 24 nodes
        QCOMPARE(hub.GetState().nodes[23].index, 23);

        // A short list is compared on its own nodes, whatever the current map holds beyond them;
        // an empty list matches every file.
        KorvaneSensorsState stored = hub.GetState();
        for (int i = 0; i < 12; ++i)
            stored.nodes[i] = partial.nodes[i];
        for (int i = 12; i < 24; ++i)
            stored.nodes[i].note += 5;
        QVERIFY(testfiles::write(env.dataPath() + "/maps/Short.kvs",
                                 MapFile::serialize(stored, 0.2f, 1)));
        for (int size : {12, 0}) {
            partial.nodes.resize(size);
            hub.LoadStateFromSysEx(partial);
            QCOMPARE(hub.GetMapName(), QStringLiteral("Short"));
            QCOMPARE(int(hub.GetState().nodes.size()), 24);
        }
    }
    void deviceTypeAndCalibration()
    {
        KorvaneCore hub;
        QSignalSpy device(&hub, SIGNAL(SendRemoteDevice(int)));
        hub.setDeviceFromSysEx(1);
        hub.setDeviceFromSysEx(5);
        QCOMPARE(QList<int>({device.at(0).at(0).toInt(), device.at(1).at(0).toInt()}),
                 QList<int>({2, 2}));
        hub.setDeviceFromSysEx(0);
        QCOMPARE(hub.GetRemoteMap(), 0);

        QSignalSpy ui(&hub, SIGNAL(UpdateSettingsUI(KorvaneCalibration)));
        KorvaneCalibration c;
        c.onThreshold = 77;
        hub.LoadCalibrationFromSysEx(c);
        QCOMPARE(ui.count(), 1);
        QCOMPARE(int(hub.getCalibration().onThreshold), 77);

        QSignalSpy bend(&hub, SIGNAL(UpdateBendUI(KorvaneBendSettings)));
        KorvaneBendSettings b;
        b.bendSpeed = 3;
        hub.LoadBendFromSysEx(b);
        QCOMPARE(bend.count(), 1);
        QCOMPARE(int(bend.at(0).at(0).value<KorvaneBendSettings>().bendSpeed), 3);
    }

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

VARNO_TEST_CLASS(TestCore)
#include "tst_core.moc"
