#include "core/atomicfile.h"
#include "core/korvanecore.h"
#include "core/mapfile.h"
#include "core/settingsfile.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/testfiles.h"

#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

using testfiles::read;
using testfiles::spyHas;

class TestFiles : public QObject
{
    Q_OBJECT
private slots:
    void init() { env.renew(); }
    void cleanup() { AtomicFile::simulateInterruptionAfter(-1); }

    void mapRoundTripAndLayout();
    void mapVersions();
    void settingsRoundTripAndMute();
    void settingsTablesNotRecomputed();
    void shortOrOldSettingsKeepDefaults();
    void writeCountFromNoFile();
    void interruptedWritesKeepOldFiles();
    void presetCopyNeverOverwrites();

private:
    HubTestEnv env;
};

void TestFiles::mapRoundTripAndLayout()
{
    KorvaneCore hub;
    hub.ScaleRequest(3, 5, 2);
    KorvaneSensorNode n = hub.GetNode(7);
    n.type = NodeControlChange;
    n.cc = 74;
    n.extra = 12345;
    hub.SetNode(n, 7);
    const QString path = env.dataPath() + "/maps/Stage.kvs";
    QVERIFY(hub.SaveState(path));
    QCOMPARE(hub.GetMapName(), QStringLiteral("Stage.kvs"));

    const QByteArray bytes = read(path);
    QCOMPARE(bytes.size(), 520);
    QCOMPARE(qFromLittleEndian<float>(bytes.constData()), 0.2f);
    QCOMPARE(qFromLittleEndian<qint32>(bytes.constData() + 36), 24);
    // node 7: type, action, cc, extra, note
    const char *node7 = bytes.constData() + 40 + 7 * 20;
    QCOMPARE(qFromLittleEndian<qint32>(node7), 1);
    QCOMPARE(qFromLittleEndian<qint32>(node7 + 8), 74);
    QCOMPARE(qFromLittleEndian<qint32>(node7 + 12), 12345);

    const KorvaneSensorsState saved = hub.GetState();
    hub.ScaleRequest(0, 4, 0);
    QSignalSpy loaded(&hub, SIGNAL(LoadCompleted()));
    QVERIFY(hub.LoadState(path));
    QCOMPARE(loaded.count(), 1);
    const KorvaneSensorsState back = hub.GetState();
    QCOMPARE(back.key, saved.key);
    QCOMPARE(back.octave, 5);
    QCOMPARE(back.scale, 2);
    QCOMPARE(back.scaleLength, saved.scaleLength);
    QCOMPARE(back.mapId, saved.mapId);
    QCOMPARE(back.reserved, saved.reserved);
    QCOMPARE(int(back.nodes.size()), 24);
    for (int i = 0; i < 24; ++i)
        QVERIFY2(back.nodes[i] == saved.nodes[i], qPrintable(QString::number(i)));
}

void TestFiles::mapVersions()
{
    KorvaneCore hub;
    const QString path = env.dataPath() + "/maps/v.kvs";
    QSignalSpy versionError(&hub, SIGNAL(SendVersionError()));
    QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
    for (float version : {0.1f, 0.2f, 1.0f}) {
        KorvaneSensorsState m = KorvaneSensorsState::fresh();
        m.key = 9;
        QVERIFY(testfiles::write(path, MapFile::serialize(m, version, 1)));
        const bool accepted = hub.LoadState(path);
        QCOMPARE(accepted, version >= 0.2f);
    }
    QCOMPARE(versionError.count(), 1);
    QVERIFY(spyHas(status, "Incompatible file"));
}

void TestFiles::settingsRoundTripAndMute()
{
    {
        KorvaneCore hub;
        KorvaneCalibration c = hub.getCalibration();
        c.onThreshold = 30;
        c.velocityScale = 77.6f;
        c.globalControl = 2;
        c.midiChannel = 5;
        c.setAftertouchCurveType(1);
        QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
        hub.setCalibration(c);
        QVERIFY(spyHas(status, "Settings saved."));
        hub.setRemoteType(0);
        hub.setRemoteMap(2);
        hub.setMute(true);
    }
    const QByteArray bytes = read(env.dataPath() + "/settings.ini");
    QCOMPARE(bytes.size(), 66);
    QCOMPARE(qFromLittleEndian<qint32>(bytes.constData() + 62), 1);
    QCOMPARE(int(quint8(bytes[52])), 1); // aftertouch curve type

    KorvaneCore hub;
    QSignalSpy mute(&hub, SIGNAL(SendMute(bool)));
    QSignalSpy system(&hub, SIGNAL(SendRemoteSystem(int)));
    QVERIFY(hub.LoadSettings());
    QCOMPARE(mute.count(), 1);
    QCOMPARE(mute.at(0).at(0).toBool(), true);
    QCOMPARE(system.at(0).at(0).toInt(), 0);
    QVERIFY(hub.GetMute());
    QCOMPARE(hub.GetRemoteMap(), 2);
    const KorvaneCalibration c = hub.getCalibration();
    QCOMPARE(int(c.onThreshold), 30);
    QCOMPARE(c.velocityScale, 77.0f);
    QCOMPARE(c.globalControl, 2);
    QCOMPARE(int(c.midiChannel), 5);
    QCOMPARE(c.aftertouchCurveType, 1);
    QCOMPARE(int(c.aftertouchCurve[19]), 127);
    // The stored vesko layout shaped the first map.
    QCOMPARE(hub.GetNode(7).type, int(NodeAction));
    QCOMPARE(hub.GetNode(7).action, int(ActionOctaveUp));
}

void TestFiles::settingsTablesNotRecomputed()
{
    SettingsFile::Settings st;
    st.calibration.velocityCurve = KorvaneCalibration::curveTable(CurveLinear);
    st.calibration.velocityCurveType = CurveSudden;
    QVERIFY(testfiles::write(env.dataPath() + "/settings.ini", SettingsFile::serialize(st, 0.5f)));
    KorvaneCore hub;
    const KorvaneCalibration c = hub.getCalibration();
    QCOMPARE(c.velocityCurveType, 3);
    QVERIFY(c.velocityCurve == KorvaneCalibration::curveTable(CurveLinear));
}

void TestFiles::shortOrOldSettingsKeepDefaults()
{
    SettingsFile::Settings st;
    st.calibration.onThreshold = 99;
    st.mute = 1;
    const QByteArray full = SettingsFile::serialize(st, 0.5f);
    const QString path = env.dataPath() + "/settings.ini";

    // Older version: refused with its own message.
    QVERIFY(testfiles::write(path, SettingsFile::serialize(st, 0.4f)));
    {
        KorvaneCore hub;
        QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
        QVERIFY(!hub.LoadSettings());
        QVERIFY(spyHas(status, "Settings version mismatch"));
        QCOMPARE(int(hub.getCalibration().onThreshold), int(KorvaneCalibration().onThreshold));
    }
    // Ends after the remote map: read, mute unchanged.
    QVERIFY(testfiles::write(path, full.left(62)));
    {
        KorvaneCore hub;
        QVERIFY(hub.LoadSettings());
        QCOMPARE(int(hub.getCalibration().onThreshold), 99);
        QVERIFY(!hub.GetMute());
    }
}

void TestFiles::writeCountFromNoFile()
{
    KorvaneCore hub;
    QSignalSpy count(&hub, SIGNAL(SendWriteCount(int)));
    hub.LoadWriteCount();
    QCOMPARE(count.takeFirst().at(0).toInt(), 0);
    hub.IncreaseWriteCount();
    QCOMPARE(count.takeFirst().at(0).toInt(), 1);
    const QByteArray bytes = read(env.dataPath() + "/write.count");
    QCOMPARE(bytes.size(), 4);
    QCOMPARE(qFromLittleEndian<qint32>(bytes.constData()), 1);

    KorvaneCore again;
    again.LoadWriteCount();
    QCOMPARE(again.GetWriteCount(), 1);
}

void TestFiles::interruptedWritesKeepOldFiles()
{
    KorvaneCore hub;
    const QString mapPath = env.dataPath() + "/maps/Live.kvs";
    QVERIFY(hub.SaveState(mapPath));
    hub.SetNode(KorvaneSensorNode(3, NodeDisabled), 3);
    QVERIFY(hub.SaveSettings());
    const QByteArray oldMap = read(mapPath);
    const QByteArray oldSettings = read(env.dataPath() + "/settings.ini");
    hub.IncreaseWriteCount();

    AtomicFile::simulateInterruptionAfter(2);
    QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
    QVERIFY(!hub.SaveState(mapPath));
    QVERIFY(spyHas(status, "Map was not saved"));
    hub.setMute(true); // saves settings
    QVERIFY(spyHas(status, "Settings could not be saved"));
    QVERIFY(!spyHas(status, "Settings saved."));
    hub.IncreaseWriteCount();
    QVERIFY(spyHas(status, "Write count could not be saved"));

    QCOMPARE(read(mapPath), oldMap);
    QCOMPARE(read(env.dataPath() + "/settings.ini"), oldSettings);
    QCOMPARE(qFromLittleEndian<qint32>(read(env.dataPath() + "/write.count").constData()), 1);
    // No temporary files are left behind.
    QCOMPARE(QDir(env.dataPath() + "/maps").entryList(QDir::Files).size(), 1);
}

void TestFiles::presetCopyNeverOverwrites()
{
    const QString mine = env.dataPath() + "/sounds/Flute.kvi";
    QVERIFY(testfiles::write(mine, "my edited flute"));
    {
        KorvaneCore hub;
    }
    QCOMPARE(read(mine), QByteArray("my edited flute"));
    if (!QFile::exists(":/sounds/presets/Marimba.kvi"))
        QSKIP("this build carries no preset instruments");
    const QString marimba = env.dataPath() + "/sounds/Marimba.kvi";
    QVERIFY(QFile::exists(marimba));
    QVERIFY(QFile::permissions(marimba) & QFileDevice::WriteOwner);
    QVERIFY(QFile::remove(marimba));
    KorvaneCore again; // a deleted preset comes back
    QVERIFY(QFile::exists(marimba));
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
