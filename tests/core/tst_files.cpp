#include "core/atomicfile.h"
#include "core/korvanecore.h"
#include "core/mapfile.h"
#include "core/settingsfile.h"
#include "tests/support/hubtestenv.h"

#include <QFile>
#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((quint32(v) >> (8 * i)) & 0xFF);
    return b;
}
bool spyHas(const QSignalSpy &spy, const QString &text)
{
    for (const auto &args : spy)
        if (args.at(0).toString().contains(text))
            return true;
    return false;
}
} // namespace

class TestFiles : public QObject
{
    Q_OBJECT
private slots:
    void init() { env.renew(); }
    void cleanup() { AtomicFile::simulateInterruptionAfter(-1); }

    void mapRoundTripAndLayout();
    void mapVersions();
    void damagedMapsAreRefused();
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

    const QByteArray bytes = readAll(path);
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
        writeAll(path, MapFile::serialize(m, version, 1));
        const bool accepted = hub.LoadState(path);
        QCOMPARE(accepted, version >= 0.2f);
    }
    QCOMPARE(versionError.count(), 1);
    QVERIFY(spyHas(status, "Incompatible file"));
}

void TestFiles::damagedMapsAreRefused()
{
    KorvaneCore hub;
    hub.ScaleRequest(2, -1, -1);
    const KorvaneSensorsState before = hub.GetState();
    const QByteArray good = MapFile::serialize(KorvaneSensorsState::fresh(), 0.2f, 1);
    QByteArray wrongCount = good;
    wrongCount.replace(36, 4, le32(1000000));
    QByteArray fewNodes = good;
    fewNodes.replace(36, 4, le32(3));
    const QList<QByteArray> damaged = {QByteArray(), good.left(30), good.left(300), wrongCount,
                                       fewNodes};
    QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
    QSignalSpy loaded(&hub, SIGNAL(LoadCompleted()));
    const QString path = env.dataPath() + "/maps/broken.kvs";
    for (const QByteArray &bytes : damaged) {
        writeAll(path, bytes);
        QVERIFY(!hub.LoadState(path));
        QVERIFY(hub.LoadStateTemp(path).nodes.empty());
    }
    QCOMPARE(loaded.count(), 0);
    QCOMPARE(status.count(), damaged.size());
    QVERIFY(spyHas(status, "damaged"));
    QCOMPARE(hub.GetState().key, before.key);
    QCOMPARE(int(hub.GetState().nodes.size()), 24);
    QVERIFY(!hub.LoadState(env.dataPath() + "/maps/missing.kvs"));
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
    const QByteArray bytes = readAll(env.dataPath() + "/settings.ini");
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
    QDir().mkpath(env.dataPath());
    writeAll(env.dataPath() + "/settings.ini", SettingsFile::serialize(st, 0.5f));
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
    QDir().mkpath(env.dataPath());
    const QString path = env.dataPath() + "/settings.ini";
    const KorvaneCalibration defaults;

    // Ends inside the packets: refused.
    writeAll(path, full.left(40));
    {
        KorvaneCore hub;
        QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
        QVERIFY(!hub.LoadSettings());
        QVERIFY(spyHas(status, "damaged"));
        QVERIFY(hub.getCalibration() == defaults);
        QVERIFY(!hub.GetMute());
    }
    // Older version: refused with its own message.
    writeAll(path, SettingsFile::serialize(st, 0.4f));
    {
        KorvaneCore hub;
        QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
        QVERIFY(!hub.LoadSettings());
        QVERIFY(spyHas(status, "Settings version mismatch"));
        QCOMPARE(int(hub.getCalibration().onThreshold), int(defaults.onThreshold));
    }
    // Ends after the remote map: read, mute unchanged.
    writeAll(path, full.left(62));
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
    const QByteArray bytes = readAll(env.dataPath() + "/write.count");
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
    const QByteArray oldMap = readAll(mapPath);
    const QByteArray oldSettings = readAll(env.dataPath() + "/settings.ini");
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

    QCOMPARE(readAll(mapPath), oldMap);
    QCOMPARE(readAll(env.dataPath() + "/settings.ini"), oldSettings);
    QCOMPARE(qFromLittleEndian<qint32>(readAll(env.dataPath() + "/write.count").constData()), 1);
    // No temporary files are left behind.
    QCOMPARE(QDir(env.dataPath() + "/maps").entryList(QDir::Files).size(), 1);
}

void TestFiles::presetCopyNeverOverwrites()
{
    QDir().mkpath(env.dataPath() + "/sounds");
    const QString mine = env.dataPath() + "/sounds/Flute.kvi";
    writeAll(mine, "my edited flute");
    {
        KorvaneCore hub;
    }
    QCOMPARE(readAll(mine), QByteArray("my edited flute"));
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
