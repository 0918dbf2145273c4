// The device's notes reach the sampler while the GUI thread is stuck: thousands of notes
// go from a MIDI input thread through the hub's route into the stream callback (the offline
// stream, run block by block here) while this thread never returns to its event loop. Every
// note must start a voice.
#include "audio/audiobackend.h"
#include "audio/korvaneaudioengine.h"
#include "audio/korvanesampler.h"
#include "core/deviceplay.h"
#include "device/korvanemidiengine.h"
#include "tests/support/audiotesthelpers.h"
#include "tests/support/scriptedmidibackend.h"

#include <QtTest>

#include <future>

using Message = std::vector<uint8_t>;

namespace {
double peak(const std::vector<double> &block)
{
    double p = 0.0;
    for (double v : block)
        p = std::max(p, std::fabs(v));
    return p;
}
double peak(KorvaneSampler &sampler, int frames)
{
    const std::vector<StereoFrame> out = audiotest::render(sampler, frames);
    return std::max(peak(audiotest::channel(out, 0)), peak(audiotest::channel(out, 1)));
}
} // namespace

class TestDevicePlay : public QObject
{
    Q_OBJECT
private slots:
    void everyNoteSoundsWithTheGuiThreadStuck_data()
    {
        // How each note is played: how many blocks it is held (0: its note-off arrives in the
        // same block as its note-on, a tap), and whether the next note waits for silence.
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("overlapping");
        QTest::addColumn<int>("notes");
        QTest::newRow("held, then silence") << 2 << false << 800;
        QTest::newRow("tapped within one block") << 0 << false << 800;
        QTest::newRow("legato, voices stolen and faded") << 1 << true << 1500;
    }
    void everyNoteSoundsWithTheGuiThreadStuck()
    {
        QFETCH(int, held);
        QFETCH(bool, overlapping);
        QFETCH(int, notes);
        auto sys = std::make_shared<ScriptedMidiSystem>();
        sys->setInputPorts({"KVRN Glove"});
        sys->setOutputPorts({"KVRN Glove"});
        KorvaneMidiEngine midi(std::make_unique<ScriptedMidiBackend>(sys));
        midi.FindDevices();
        auto *backend = new OfflineAudioBackend(false);
        KorvaneAudioEngine audio{std::unique_ptr<AudioBackend>(backend)};
        QVERIFY(audio.init(44100));
        audio.addSample(audiotest::sineSample(261.63, 44100 * 2, 60), false);
        routeDevicePlay(midi, audio);
        // The MIDI input thread: each delivery runs the engine's input callback on a thread of
        // its own, as the MIDI system's does.
        auto deliver = [&](const std::vector<Message> &messages) {
            std::async(std::launch::async, [&] {
                for (const Message &m : messages)
                    sys->deliver("KVRN Glove", m);
            }).get();
        };
        int silent = 0;
        for (int i = 0; i < notes; ++i) {
            const uint8_t note = uint8_t(48 + (i * 7) % 36);
            const Message on{0x90, note, uint8_t(40 + i % 80)}, off{0x80, note, 0};
            deliver(held ? std::vector<Message>{on} : std::vector<Message>{on, off});
            double loudest = peak(backend->run(512));
            for (int b = 1; b < held; ++b)
                loudest = std::max(loudest, peak(backend->run(512)));
            if (held)
                deliver({off});
            if (loudest < 1e-3) {
                ++silent;
                qWarning("note %d (%d) was not heard", i, int(note));
            }
            int guard = 0;
            while (!overlapping && peak(backend->run(512)) > 0.0 && ++guard < 400) {
            }
        }
        QCOMPARE(silent, 0);
        QCOMPARE(int(audio.sampler().droppedEvents()), 0);
        unrouteDevicePlay(midi);
    }
    void samplerQueueKeepsEveryEvent()
    {
        // The callback runs while the GUI thread is between flushing the old instrument and
        // adding the new one: a note queued then waits instead of meeting an empty bank.
        KorvaneSampler swap;
        swap.addSample(audiotest::sineSample(261.63, 44100, 60), false);
        swap.setReady(false);
        swap.flushMemory();
        KorvanePlayEvent on;
        on.note = 60;
        on.value = 100;
        QVERIFY(swap.postEvent(on));
        QCOMPARE(peak(swap, 512), 0.0);
        swap.addSample(audiotest::sineSample(440.0, 44100, 60), false);
        swap.setReady(true);
        QVERIFY(peak(swap, 512) > 1e-3);

        // Far more events than the queue holds arrive before the callback runs again: every
        // note-off still reaches its voice, so nothing is left sounding.
        KorvaneSampler flood;
        flood.addSample(audiotest::sineSample(261.63, 44100 * 4, 60), false);
        for (int i = 0; i < 5000; ++i) {
            KorvanePlayEvent e;
            e.kind = i % 2 ? KorvanePlayEvent::NoteOff : KorvanePlayEvent::NoteOn;
            e.note = 40 + (i / 2) % 48;
            e.value = 100;
            flood.postEvent(e);
        }
        QCOMPARE(int(flood.droppedEvents()), 0);
        audiotest::render(flood, 44100 * 2); // longer than any fade and release
        QCOMPARE(peak(flood, 512), 0.0);
    }
};

QTEST_GUILESS_MAIN(TestDevicePlay)
#include "tst_deviceplay.moc"
