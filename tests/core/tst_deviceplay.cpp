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

class TestDevicePlay : public QObject
{
    Q_OBJECT
private slots:
    void everyNoteSoundsWithTheGuiThreadStuck_data();
    void everyNoteSoundsWithTheGuiThreadStuck();
    void aNoteDuringAnInstrumentSwapPlaysTheNewOne();
    void aFloodWithNoBlockLosesNoNoteOff();
};

void TestDevicePlay::everyNoteSoundsWithTheGuiThreadStuck_data()
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

void TestDevicePlay::everyNoteSoundsWithTheGuiThreadStuck()
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
    auto loudest = [](const std::vector<double> &block) {
        double peak = 0.0;
        for (double v : block)
            peak = std::max(peak, std::fabs(v));
        return peak;
    };

    int silent = 0;
    for (int i = 0; i < notes; ++i) {
        const uint8_t note = uint8_t(48 + (i * 7) % 36);
        const Message on{0x90, note, uint8_t(40 + i % 80)};
        const Message off{0x80, note, 0};
        double peak = 0.0;
        if (held == 0) {
            deliver({on, off});
            peak = loudest(backend->run(512));
        } else {
            deliver({on});
            for (int b = 0; b < held; ++b)
                peak = std::max(peak, loudest(backend->run(512)));
            deliver({off});
        }
        if (peak < 1e-3) {
            ++silent;
            qWarning("note %d (%d) was not heard", i, int(note));
        }
        if (!overlapping) {
            int guard = 0;
            while (loudest(backend->run(512)) > 0.0 && ++guard < 400) {
            }
        }
    }
    QCOMPARE(silent, 0);
    QCOMPARE(int(audio.sampler().droppedEvents()), 0);
    unrouteDevicePlay(midi);
}

void TestDevicePlay::aNoteDuringAnInstrumentSwapPlaysTheNewOne()
{
    // The callback runs while the GUI thread is between flushing the old instrument and
    // adding the new one: a note queued then waits instead of meeting an empty bank.
    KorvaneSampler sampler;
    sampler.addSample(audiotest::sineSample(261.63, 44100, 60), false);
    sampler.setReady(false);
    sampler.flushMemory();
    KorvanePlayEvent on;
    on.note = 60;
    on.value = 100;
    QVERIFY(sampler.postEvent(on));
    const auto peak = [&] {
        float p = 0.0f;
        for (const StereoFrame &f : audiotest::render(sampler, 512))
            p = std::max({p, std::fabs(f[0]), std::fabs(f[1])});
        return p;
    };
    QCOMPARE(peak(), 0.0f);
    sampler.addSample(audiotest::sineSample(440.0, 44100, 60), false);
    sampler.setReady(true);
    QVERIFY(peak() > 1e-3f);
}

void TestDevicePlay::aFloodWithNoBlockLosesNoNoteOff()
{
    // Far more events than the queue holds arrive before the callback runs again: every
    // note-off still reaches its voice, so nothing is left sounding.
    KorvaneSampler sampler;
    sampler.addSample(audiotest::sineSample(261.63, 44100 * 4, 60), false);
    for (int i = 0; i < 5000; ++i) {
        KorvanePlayEvent e;
        e.kind = i % 2 ? KorvanePlayEvent::NoteOff : KorvanePlayEvent::NoteOn;
        e.note = 40 + (i / 2) % 48;
        e.value = 100;
        sampler.postEvent(e);
    }
    QCOMPARE(int(sampler.droppedEvents()), 0);
    audiotest::render(sampler, 44100 * 2); // longer than any fade and release
    float last = 0.0f;
    for (const StereoFrame &f : audiotest::render(sampler, 512))
        last = std::max({last, std::fabs(f[0]), std::fabs(f[1])});
    QCOMPARE(last, 0.0f);
}

QTEST_GUILESS_MAIN(TestDevicePlay)
#include "tst_deviceplay.moc"
