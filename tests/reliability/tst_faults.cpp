// Faults the program must survive without losing anything: damaged files of every kind, a data
// folder that cannot be written, a sound stream that dies.
#include "audio/instrumentfile.h"
#include "core/korvanecore.h"
#include "core/mapfile.h"
#include "core/settingsfile.h"
#include "tests/support/audiotesthelpers.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/testfiles.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

namespace {

using namespace testfiles;
using audiotest::Rig;

QByteArray random(int size, quint32 seed)
{
    QRandomGenerator g(seed);
    QByteArray b(size, '\0');
    for (char &c : b)
        c = char(g.bounded(256));
    return b;
}
KorvaneInstrument smallInstrument()
{
    KorvaneInstrument ins;
    for (int i = 0; i < 2; ++i) {
        SamplerSample s;
        s.name = QStringLiteral("Kept %1").arg(i);
        s.frames.assign(400, StereoFrame{0.25f, -0.25f});
        ins.samples.push_back(s);
    }
    ins.hasVolumes = true;
    return ins;
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void init() { env.renew(); }

    // Empty, truncated, random and huge-count files of every kind are refused with a status
    // line; what the program holds and what is on disk stay as they were.
    void damagedFilesAreRefused()
    {
        KorvaneCore hub;
        QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
        QSignalSpy loaded(&hub, SIGNAL(LoadCompleted()));
        const QString maps = env.dataPath() + "/maps/";
        const QString sounds = env.dataPath() + "/sounds/";

        KorvaneSensorsState map = hub.GetState();
        map.key = 5;
        map.nodes[3].note = 77;
        hub.UpdateState(map);
        const QByteArray goodMap = MapFile::serialize(map, 0.2f, 1);
        const QByteArray randomMap = goodMap.left(4) + random(516, 11); // a version it takes
        const QByteArray hugeMap =
            goodMap.left(36) + le32(std::numeric_limits<qint32>::max()) + goodMap.mid(40);

        QVERIFY(hub.audio()->sampleCount() == 0);
        hub.audio()->loadInstrument(smallInstrument());
        const QByteArray goodSound = serializeInstrument(smallInstrument());
        const QByteArray hugeSound =
            goodSound.left(4) + le32(std::numeric_limits<qint32>::max()) + goodSound.mid(8);

        struct Case
        {
            const char *what;
            QByteArray bytes;
        };
        const QList<Case> badMaps = {
            {"empty", {}},
            {"header only", goodMap.left(30)},
            {"truncated", goodMap.left(300)},
            {"random", randomMap},
            {"count past the end", goodMap.left(36) + le32(1000000) + goodMap.mid(40)},
            {"few nodes", goodMap.left(36) + le32(3) + goodMap.mid(40)},
            {"huge count", hugeMap}};
        const QList<Case> badSounds = {{"empty", {}},
                                       {"truncated", goodSound.left(goodSound.size() - 900)},
                                       {"random", random(5000, 12)},
                                       {"huge count", hugeSound}};
        for (const Case &c : badMaps)
            QVERIFY(write(maps + c.what + ".kvs", c.bytes));
        for (const Case &c : badSounds)
            QVERIFY(write(sounds + c.what + ".kvi", c.bytes));
        const auto before = snapshot(env.dataPath());

        for (const Case &c : badMaps) {
            status.clear();
            QVERIFY2(!hub.LoadState(maps + c.what + ".kvs"), c.what);
            QVERIFY(hub.LoadStateTemp(maps + c.what + ".kvs").nodes.empty());
            QCOMPARE(status.count(), 1);
            QVERIFY2(lastText(status).contains("is damaged"), qPrintable(lastText(status)));
            QCOMPARE(hub.GetState().key, 5);
            QCOMPARE(hub.GetState().nodes[3].note, 77);
            QCOMPARE(int(hub.GetState().nodes.size()), 24);
        }
        for (const Case &c : badSounds) {
            status.clear();
            QVERIFY2(!hub.LoadSound(sounds + c.what + ".kvi"), c.what);
            QVERIFY2(lastText(status).startsWith("Could not load instrument"),
                     qPrintable(lastText(status)));
            QCOMPARE(hub.audio()->sampleCount(), 2);
            QCOMPARE(hub.audio()->sampleAt(1).name, QStringLiteral("Kept 1"));
        }
        QCOMPARE(snapshot(env.dataPath()), before);
        QCOMPARE(loaded.count(), 0);
        QVERIFY(!hub.LoadState(maps + "missing.kvs"));

        // Settings and the write count are read at start; a refused one is kept beside it,
        // since the next save replaces it.
        hub.setMute(true);
        const KorvaneCalibration calibration = hub.getCalibration();
        KorvaneCalibration other = calibration;
        other.onThreshold = 99;
        const QByteArray good = SettingsFile::serialize({other, 1, 0, 1}, 0.5f);
        const QByteArray randomSettings = good.left(4) + random(62, 13); // a version it takes
        const QByteArray hugeSettings =
            good.left(54) + le32(std::numeric_limits<qint32>::max()) + good.mid(58);
        const QList<Case> badSettings = {{"empty", {}},
                                         {"truncated", good.left(40)},
                                         {"random", randomSettings},
                                         {"huge count", hugeSettings}};
        const QString settings = env.dataPath() + "/settings.ini";
        for (const Case &c : badSettings) {
            QVERIFY(write(settings, c.bytes));
            status.clear();
            QVERIFY2(!hub.LoadSettings(), c.what);
            QVERIFY2(lastText(status).contains("damaged"), qPrintable(lastText(status)));
            QCOMPARE(hub.GetMute(), true);
            QVERIFY(hub.getCalibration() == calibration);
            QCOMPARE(read(settings), c.bytes);
            QCOMPARE(read(settings + ".damaged"), c.bytes);
        }

        const QString count = env.dataPath() + "/write.count";
        QVERIFY(write(count, le32(7)));
        hub.LoadWriteCount();
        QCOMPARE(hub.GetWriteCount(), 7);
        const QList<Case> badCounts = {{"empty", {}},
                                       {"truncated", le32(9).left(3)},
                                       {"random", le32(-123456)},
                                       {"huge count", le32(9) + le32(9)}};
        for (const Case &c : badCounts) {
            QVERIFY(write(count, c.bytes));
            status.clear();
            hub.LoadWriteCount();
            QVERIFY2(lastText(status).contains("damaged"), c.what);
            QCOMPARE(hub.GetWriteCount(), 7);
            QCOMPARE(read(count + ".damaged"), c.bytes);
        }
        // The largest count stays the largest instead of wrapping round.
        QVERIFY(write(count, le32(std::numeric_limits<qint32>::max())));
        hub.LoadWriteCount();
        hub.IncreaseWriteCount();
        QCOMPARE(hub.GetWriteCount(), std::numeric_limits<qint32>::max());
    }

    // A data folder nothing can be written to: said at start, every save reports its failure
    // (no "saved" line), nothing held in memory is dropped, nothing on disk changes.
    void readOnlyDataFolder_data()
    {
        QTest::addColumn<bool>("mount");
        QTest::newRow("under a regular file") << false;
        QTest::newRow("read-only mount") << true;
    }
    void readOnlyDataFolder()
    {
        QFETCH(bool, mount);
        QTemporaryDir outer;
        QString mounted;
        if (mount) {
            // A read-only bind mount stops root too. It needs the right to mount.
            {
                HubTestEnv::setDataHome(outer.path());
                KorvaneCore first; // fills the folder: presets, settings
                first.setMute(true);
                QVERIFY(first.SaveState(first.GetDataPath() + "/maps/Live.kvs"));
            }
            mounted = outer.path();
            QProcess m;
            m.start("mount", {"--bind", "-o", "ro", mounted, mounted});
            if (!m.waitForFinished(10000) || m.exitCode() != 0)
                QSKIP("no right to mount here; the folder under a regular file covers the rest");
        } else {
            // Root writes through permission bits, but not into a folder under a file.
            QVERIFY(write(outer.path() + "/file", "not a folder"));
            HubTestEnv::setDataHome(outer.path() + "/file");
        }
        const auto before = snapshot(outer.path());
        {
            KorvaneCore hub;
            QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
            hub.StartEngines();
            QVERIFY(spyHas(status, "cannot be written"));
            status.clear();

            hub.setMute(!hub.GetMute());
            const bool mute = hub.GetMute();
            QVERIFY(lastText(status).startsWith("Settings could not be saved"));
            QVERIFY(!spyHas(status, "Settings saved."));
            QVERIFY(!hub.SaveState(hub.GetDataPath() + "/maps/Stage.kvs"));
            QVERIFY(lastText(status).startsWith("Map was not saved"));
            QVERIFY(!hub.SaveSound(hub.GetDataPath() + "/sounds/Mine.kvi"));
            QVERIFY(lastText(status).startsWith("Instrument was not saved"));
            hub.IncreaseWriteCount();
            QVERIFY(lastText(status).startsWith("Write count could not be saved"));
            QCOMPARE(hub.GetWriteCount(), 1);
            QCOMPARE(hub.GetMute(), mute);
            if (mount) // what was there still loads
                QVERIFY(hub.LoadState(hub.GetDataPath() + "/maps/Live.kvs"));
            hub.ShutDown();
        }
        QCOMPARE(snapshot(outer.path()), before);
        if (mount)
            QCOMPARE(QProcess::execute("umount", {mounted}), 0);
    }

    // The stream stops by itself (the sound server went away): said once, tried again each
    // second while nothing opens, and said again when sound is back.
    void audioStreamComesBack()
    {
        Rig r;
        QSignalSpy status(&r.engine, SIGNAL(SendStatusMessage(QString)));
        QVERIFY(r.engine.init(44100));
        r.engine.loadInstrument(smallInstrument());
        status.clear();
        r.engine.checkStream();
        QCOMPARE(status.count(), 0);

        r.backend->simulateLoss();
        r.backend->setFailToOpen(true);
        r.engine.checkStream();
        r.engine.checkStream();
        QCOMPARE(status.count(), 1);
        QVERIFY(lastText(status).startsWith("Sound server lost"));
        QVERIFY(!r.engine.isStreamRunning());

        r.backend->setFailToOpen(false);
        r.engine.checkStream();
        QVERIFY(r.engine.isStreamRunning());
        QVERIFY(lastText(status).startsWith("Sound server back"));
        QCOMPARE(r.engine.sampleCount(), 2);
        // A stream closed on purpose is not reopened.
        r.engine.close();
        r.engine.checkStream();
        QVERIFY(!r.engine.isStreamRunning());
    }

private:
    HubTestEnv env;
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
