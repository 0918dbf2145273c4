// The stream opened on a worker thread while start-up goes on: a sound server that answers
// late, one that refuses, and a close (the window closing) while the open is still under way.
#include "audio/audiobackend.h"
#include "audio/korvaneaudioengine.h"
#include "tests/support/audiotesthelpers.h"

#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace audiotest;

namespace {

// A stream whose open() waits (up to 10 s) until the test lets it go on, as a slow sound server
// does.
struct SlowBackend : OfflineAudioBackend
{
    using OfflineAudioBackend::OfflineAudioBackend;
    bool open(const AudioStreamRequest &request, AudioStreamClient *client,
              AudioStreamInfo &info) override
    {
        entered = true;
        for (int i = 0; i < 1000 && !released; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return OfflineAudioBackend::open(request, client, info);
    }
    std::atomic<bool> entered{false}, released{false};
};

} // namespace

class TestStreamOpening : public QObject
{
    Q_OBJECT

private slots:
    void openInBackground_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<int>("end"); // 0: the open finishes, 1: close(), 2: engine destroyed
        QTest::newRow("opens late") << false << 0;
        QTest::newRow("refused") << true << 0;
        QTest::newRow("close, opens") << false << 1;
        QTest::newRow("close, refused") << true << 1;
        QTest::newRow("engine destroyed") << false << 2;
    }

    // The caller goes on while the server answers; what was set up meanwhile (an instrument, a
    // held note) sounds once the stream runs, and a refusal is said as init() says it. Closing
    // waits for the open under way and drops its outcome: no late status line, no stream left
    // running, no check that opens it again afterwards.
    void openInBackground()
    {
        QFETCH(bool, refuse);
        QFETCH(int, end);
        auto *backend = new SlowBackend(true, refuse);
        auto engine = std::make_unique<KorvaneAudioEngine>(std::unique_ptr<AudioBackend>(backend));
        QStringList said;
        connect(engine.get(), &KorvaneAudioEngine::SendStatusMessage, this,
                [&](const QString &s) { said << s; });
        engine->initInBackground(44100);
        QTRY_VERIFY_WITH_TIMEOUT(backend->entered, 10000);
        QVERIFY(!engine->isStreamRunning());
        engine->addSample(sineSample(440.0, 44100 * 3), false);
        engine->noteOn(0, 69, 127);
        said.clear();
        QCoreApplication::processEvents();
        QVERIFY(said.isEmpty());

        if (end == 0) {
            backend->released = true;
            QTRY_COMPARE(engine->isStreamRunning() || !said.isEmpty(), true);
            QCOMPARE(engine->isStreamRunning(), !refuse);
            QCOMPARE(said.size(), refuse ? 1 : 0);
            if (!refuse) {
                const std::vector<double> out = backend->run(2048);
                QVERIFY(rms(out, 0, out.size()) > 0.01);
            }
            return;
        }
        // Let go from another thread: close() holds this one until the open returns.
        std::thread releaser([backend] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            backend->released = true;
        });
        if (end == 2)
            engine.reset(); // the backend goes with it
        else
            engine->close();
        releaser.join(); // done: the open has returned
        if (end == 1) {
            QVERIFY(!backend->isRunning());
            QTest::qWait(1300); // past the stream check's interval
            QVERIFY(!engine->isStreamRunning());
            QVERIFY(!backend->isRunning());
        }
        QTest::qWait(50);
        QVERIFY2(said.isEmpty(), qPrintable(said.join('|')));
    }
};

QTEST_GUILESS_MAIN(TestStreamOpening)
#include "tst_streamopening.moc"
