// The stream opened on a worker thread while start-up goes on: a sound server that answers
// late, one that refuses, and a close (the window closing) while the open is still under way.
#include "audio/audiobackend.h"
#include "audio/korvaneaudioengine.h"
#include "tests/support/audiotesthelpers.h"

#include <QSignalSpy>
#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace audiotest;

namespace {

// A stream whose open() waits until the test lets it go on, as a slow sound server does.
class SlowBackend : public OfflineAudioBackend
{
public:
    using OfflineAudioBackend::OfflineAudioBackend;
    bool open(const AudioStreamRequest &request, AudioStreamClient *client,
              AudioStreamInfo &info) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
        return OfflineAudioBackend::open(request, client, info);
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }
    bool waitEntered()
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [this] { return entered; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

} // namespace

class TestStreamOpening : public QObject
{
    Q_OBJECT

private slots:
    void lateOrRefusedStream_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::newRow("opens late") << false;
        QTest::newRow("refused") << true;
    }

    // The caller goes on while the server answers; what was set up meanwhile (an instrument,
    // a held note) sounds once the stream runs, and a refusal is said as init() says it.
    void lateOrRefusedStream()
    {
        QFETCH(bool, refuse);
        auto *backend = new SlowBackend(true, refuse);
        KorvaneAudioEngine engine{std::unique_ptr<AudioBackend>(backend)};
        QSignalSpy status(&engine, SIGNAL(SendStatusMessage(QString)));

        engine.initInBackground(44100);
        QVERIFY(backend->waitEntered());
        QVERIFY(!engine.isStreamRunning());
        engine.addSample(sineSample(440.0, 44100 * 3), false);
        engine.noteOn(0, 69, 127);
        status.clear();
        QCoreApplication::processEvents();
        QVERIFY(status.isEmpty());

        backend->release();
        QTRY_COMPARE(engine.isStreamRunning() || !status.isEmpty(), true);
        if (refuse) {
            QVERIFY(status.first().first().toString().startsWith("No sound device"));
            QVERIFY(!engine.isStreamRunning());
            return;
        }
        QVERIFY(status.isEmpty());
        const std::vector<double> out = backend->run(2048);
        QVERIFY(rms(out, 0, out.size()) > 0.01);
    }

    void closeWhileOpening_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<bool>("destroy");
        QTest::newRow("close, opens") << false << false;
        QTest::newRow("close, refused") << true << false;
        QTest::newRow("engine destroyed") << false << true;
    }

    // Closing waits for the open under way and drops its outcome: no late status line, no
    // stream left running, no check that opens it again afterwards.
    void closeWhileOpening()
    {
        QFETCH(bool, refuse);
        QFETCH(bool, destroy);
        auto *backend = new SlowBackend(true, refuse);
        QStringList said;
        {
            auto engine =
                std::make_unique<KorvaneAudioEngine>(std::unique_ptr<AudioBackend>(backend));
            connect(engine.get(), &KorvaneAudioEngine::SendStatusMessage, this,
                    [&](const QString &s) { said << s; });
            engine->initInBackground(44100);
            QVERIFY(backend->waitEntered());
            // Let go from another thread: close() holds this one until the open returns.
            std::thread releaser([backend] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                backend->release();
            });
            if (destroy)
                engine.reset(); // the backend goes with it
            else
                engine->close();
            releaser.join(); // done: the open has returned
            if (!destroy) {
                QVERIFY(!backend->isRunning());
                QTest::qWait(1300); // past the stream check's interval
                QVERIFY(!engine->isStreamRunning());
                QVERIFY(!backend->isRunning());
            }
            QTest::qWait(50);
        }
        QVERIFY2(said.isEmpty(), qPrintable(said.join('|')));
    }
};

QTEST_GUILESS_MAIN(TestStreamOpening)
#include "tst_streamopening.moc"
