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
#include <QSignalSpy>
#include <QtTest>

#include <limits>

namespace {

using namespace testfiles;
using audiotest::Rig;

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

    // Damaged files reach the hub from each of its stores: refused with a status line, and
    // what the program holds and what is on disk stay as they were. (Every kind of damage is
    // refused by the readers' own tests.)
    void damagedFilesAreRefused()
    {
        KorvaneCore hub;
        QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
        QSignalSpy loaded(&hub, SIGNAL(LoadCompleted()));
        const QString map = env.dataPath() + "/maps/huge count.kvs";
        const QString sound = env.dataPath() + "/sounds/truncated.kvi";
        KorvaneSensorsState held = hub.GetState();
        held.nodes[3].note = 77;
        hub.UpdateState(held);
        const QByteArray goodMap = MapFile::serialize(held, 0.2f, 1);
        QVERIFY(write(map, goodMap.left(36) + le32(std::numeric_limits<qint32>::max()) +
                               goodMap.mid(40)));
        hub.audio()->loadInstrument(smallInstrument());
        QVERIFY(write(sound, serializeInstrument(smallInstrument()).left(900)));
        const auto before = snapshot(env.dataPath());
        status.clear();
        QVERIFY(!hub.LoadState(map));
        QVERIFY(hub.LoadStateTemp(map).nodes.empty());
        QCOMPARE(status.count(), 1);
        QVERIFY2(lastText(status).contains("is damaged"), qPrintable(lastText(status)));
        QVERIFY(hub.GetState().nodes == held.nodes);
        QVERIFY(!hub.LoadSound(sound));
        QVERIFY2(lastText(status).startsWith("Could not load instrument"),
                 qPrintable(lastText(status)));
        QCOMPARE(hub.audio()->sampleAt(1).name, QStringLiteral("Kept 1"));
        QCOMPARE(snapshot(env.dataPath()), before);
        QCOMPARE(loaded.count(), 0);

        // Settings and the write count are read at start; a refused one is kept beside it,
        // since the next save replaces it. Too short to hold a version, and a remote word the
        // program never writes.
        hub.setMute(true);
        const KorvaneCalibration calibration = hub.getCalibration();
        KorvaneCalibration other = calibration;
        other.onThreshold = 99;
        const QByteArray good = SettingsFile::serialize({other, 1, 0, 1}, 0.5f);
        const QString settings = env.dataPath() + "/settings.ini";
        for (const QByteArray &bytes : {QByteArray(), good.left(54) + le32(2) + good.mid(58)}) {
            QVERIFY(write(settings, bytes));
            status.clear();
            QVERIFY(!hub.LoadSettings());
            QVERIFY2(lastText(status).contains("damaged"), qPrintable(lastText(status)));
            QCOMPARE(hub.GetMute(), true);
            QVERIFY(hub.getCalibration() == calibration);
            QCOMPARE(read(settings), bytes);
            QCOMPARE(read(settings + ".damaged"), bytes);
        }

        const QString count = env.dataPath() + "/write.count";
        QVERIFY(write(count, le32(7)));
        hub.LoadWriteCount();
        QCOMPARE(hub.GetWriteCount(), 7);
        for (const QByteArray &bytes : {le32(9).left(3), le32(9) + le32(9), le32(-1)}) {
            QVERIFY(write(count, bytes));
            status.clear();
            hub.LoadWriteCount();
            QVERIFY2(lastText(status).contains("damaged"), bytes.toHex().constData());
            QCOMPARE(hub.GetWriteCount(), 7);
            QCOMPARE(read(count + ".damaged"), bytes);
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
            QVERIFY(!hub.SaveSound(hub.GetDataPath() + "/sounds/Mine.kvi"));
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
