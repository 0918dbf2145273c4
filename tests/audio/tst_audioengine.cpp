// The audio engine over a scripted stream: mute, channel order, instrument loads, a machine
// without sound, and the preset instruments compiled into the resources.
#include "audio/instrumentfile.h"
#include "resources/resources.h"
#include "tests/support/audiotesthelpers.h"
#include "tests/support/testmain.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using namespace audiotest;

namespace {

// Frequency of the strongest partial between lo and hi Hz: a Hann-windowed DFT scanned in
// steps of a twentieth of a semitone.
double strongestPartial(const std::vector<double> &x, double lo, double hi)
{
    const size_t n = x.size();
    double best = 0.0, bestF = lo;
    for (double f = lo; f <= hi; f *= std::pow(2.0, 1.0 / 240.0)) {
        double re = 0.0, im = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const double w = x[i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / double(n - 1)));
            re += w * std::cos(2.0 * M_PI * f / 44100.0 * double(i));
            im += w * std::sin(2.0 * M_PI * f / 44100.0 * double(i));
        }
        if (re * re + im * im > best) {
            best = re * re + im * im;
            bestF = f;
        }
    }
    return bestF;
}

double peak(const std::vector<double> &x)
{
    double p = 0.0;
    for (double v : x)
        p = std::max(p, std::fabs(v));
    return p;
}

} // namespace

class TestAudioEngine : public QObject
{
    Q_OBJECT

private slots:
    void muteAndChannels()
    {
        Rig r;
        QVERIFY(r.engine.init(44100));
        SamplerSample flat;
        flat.frames.assign(44100 * 3, StereoFrame{0.5f, -0.25f});
        flat.baseFrequency = 440.0;
        r.engine.addSample(flat, false);
        r.engine.noteOn(0, 69, 127);
        std::vector<double> out = r.backend->run(2048);
        // Element 1 goes to channel 0.
        QVERIFY(std::fabs(out[2 * 1500] / out[2 * 1500 + 1] + 0.5) < 1e-5);
        const double before = r.engine.sampler().voiceSlot(0).voice.position();

        // Muted, the voices hold where they are.
        r.engine.setMute(true);
        out = r.backend->run(8192);
        QVERIFY(std::all_of(out.begin(), out.end(), [](double v) { return v == 0.0; }));
        QCOMPARE(r.engine.sampler().voiceSlot(0).voice.position(), before);
        r.engine.setMute(false);
        QVERIFY(peak(r.backend->run(512)) > 0.01);
        QCOMPARE(r.engine.sampler().voiceSlot(0).voice.position(), before + 512.0);
    }

    void playsAtTheServersRate_data()
    {
        QTest::addColumn<int>("rate");
        for (int rate : {44100, 48000, 88200, 96000})
            QTest::newRow(qPrintable(QString::number(rate))) << rate;
    }
    // A server that takes only its own rate: the sampler follows it, and a one-second sample
    // keeps its pitch and its length (half as long an octave up).
    void playsAtTheServersRate()
    {
        QFETCH(int, rate);
        Rig r;
        r.backend->setServerRate(unsigned(rate));
        QVERIFY(r.engine.init(44100));
        QCOMPARE(r.engine.streamRate(), double(rate));
        r.engine.addSample(sineSample(440.0, 44100), false);
        for (const auto &c : {std::make_pair(69, 440.0), std::make_pair(81, 880.0)}) {
            r.engine.noteOn(0, c.first, 127);
            const std::vector<double> out = r.backend->run(unsigned(rate) * 6 / 5);
            r.engine.noteOff(0, c.first);
            std::vector<double> left;
            for (size_t i = 0; i < out.size(); i += 2)
                left.push_back(out[i]);
            const std::vector<double> part(left.begin() + rate / 10, left.begin() + rate * 4 / 10);
            const double f = zeroCrossingFrequency(part, rate);
            QVERIFY2(std::fabs(f - c.second) < 0.05, qPrintable(QString::number(f)));
            size_t end = left.size();
            while (end > 0 && std::fabs(left[end - 1]) < 1e-3)
                --end;
            const double seconds = double(end) / rate;
            QVERIFY2(std::fabs(seconds - 440.0 / c.second) < 0.01,
                     qPrintable(QString::number(seconds)));
        }
    }

    void loadingAnInstrument()
    {
        Rig r;
        QSignalSpy status(&r.engine, &KorvaneAudioEngine::SendStatusMessage);
        QSignalSpy unsaved(&r.engine, &KorvaneAudioEngine::setUnsaved);
        r.engine.addSample(sineSample(440.0, 1000), false);

        KorvaneInstrument ins = sineInstrument(3);
        ins.samplerMode = 1;
        ins.hasNextSampleId = ins.hasEnvelope = ins.hasReverb = ins.hasVolumes = true;
        ins.nextSampleId = 1; // below the ids the load gives out
        ins.envelope = KorvaneEnvelope{3, 4, 0.5f, 6};
        ins.reverb = KorvaneSamplerReverb{0.1f, 0.2f, 0.3f, 0.4f};
        ins.hasControllerMode = true;
        ins.controllerMode = 1;
        ins.samples[0].volume = 0.25f;
        status.clear();
        r.engine.loadInstrument(ins);
        QCOMPARE(status.value(0).value(0).toString(), QStringLiteral("Sampler memory flushed"));
        QVERIFY(unsaved.count() > 0);
        QCOMPARE(r.engine.sampleCount(), 3);
        QCOMPARE(r.engine.sampleAt(1).name, QStringLiteral("layer 1")); // names kept
        QCOMPARE(QList<double>({double(r.engine.sampleAt(2).id), r.engine.sampleAt(2).volume,
                                double(r.engine.nextSampleId()), double(r.engine.samplerMode()),
                                double(r.engine.controllerMode()),
                                double(r.engine.envelope().release), r.engine.reverb().amount}),
                 QList<double>({2, 0.5, 3, 1, 1, 6, 0.4f}));
        QVERIFY(r.engine.sampler().isReady());

        // The editor shows the volumes read, and sends its whole view back on every change.
        for (int edit = 0; edit < 3; ++edit) {
            KorvaneLayerView view = r.engine.getLayerView();
            QCOMPARE(QList<float>({view.triggers[0].volume, view.triggers[1].volume}),
                     QList<float>({0.25f, 0.5f}));
            view.triggers[edit].baseFrequency += 1.0;
            r.engine.setLayerView(view);
        }
        // What is saved is what is loaded.
        const KorvaneInstrument again = r.engine.currentInstrument();
        QCOMPARE(int(again.samples.size()), 3);
        QCOMPARE(QList<float>({again.samples[0].volume, again.samples[2].volume}),
                 QList<float>({0.25f, 0.5f}));
        QCOMPARE(again.samplerMode, 1);

        // A load silences the notes of the instrument before. Every load starts from controller
        // mode 0; one without volumes plays at full volume.
        r.engine.noteOn(0, 61, 127);
        r.engine.loadInstrument(sineInstrument(1, 440.0, 1000));
        QVERIFY(!r.engine.sampler().voiceSlot(0).voice.playing());
        QCOMPARE(r.engine.controllerMode(), 0);
        QCOMPARE(r.engine.sampleAt(0).volume, 1.0f);
        r.engine.noteOn(0, 60, 127);
        QCOMPARE(status.last().at(0).toString(),
                 QStringLiteral("Note 60 to play sample 0 on voice 0"));
        r.engine.change(0, 0, 1, 127);
        QCOMPARE(r.engine.sampler().voiceSlot(0).voice.targetGain(), 1.0f);
    }

    void noSoundDevice()
    {
        // A stream that cannot open: a clear status line, everything else still works.
        Rig r(true, true);
        QSignalSpy status(&r.engine, &KorvaneAudioEngine::SendStatusMessage);
        QVERIFY(!r.engine.init(44100));
        QVERIFY(!r.engine.isStreamRunning());
        QCOMPARE(status.count(), 1);
        QVERIFY(status.at(0).at(0).toString().startsWith(QStringLiteral("No sound device")));
        r.engine.loadInstrument(sineInstrument(2));
        r.engine.noteOn(0, 60, 100);
        QCOMPARE(r.engine.sampleCount(), 2);
        r.engine.startRecording();
        r.engine.stopRecording();

        // A stream without input still plays.
        Rig outputOnly(false);
        QSignalSpy quietStatus(&outputOnly.engine, &KorvaneAudioEngine::SendStatusMessage);
        QVERIFY(outputOnly.engine.init(44100));
        QVERIFY(quietStatus.at(0).at(0).toString().contains(QStringLiteral("recording")));

        // No sound card and no sound server (the JACK server named below does not exist):
        // every API is tried, nothing throws, the engine says so.
        qputenv("JACK_DEFAULT_SERVER", "varno-no-such-server");
        qputenv("JACK_NO_START_SERVER", "1");
        qputenv("PULSE_SERVER", "unix:/nonexistent");
        KorvaneAudioEngine engine;
        QSignalSpy realStatus(&engine, &KorvaneAudioEngine::SendStatusMessage);
        const bool opened = engine.init(44100);
        QCOMPARE(opened, engine.isStreamRunning());
        if (!opened) {
            QCOMPARE(realStatus.count(), 1);
            QVERIFY(realStatus.at(0).at(0).toString().startsWith(QStringLiteral("No sound")));
        }
        engine.close();
    }

    void presets()
    {
        varnoInitResources();
        // Struck sounds die away, the marimba's bars faster than the piano's tines; the flute
        // loops.
        const struct
        {
            const char *name;
            double fall; // the last tenth's level against the first's, 0: looped
        } expected[] = {{"Marimba.kvi", 0.05}, {"Electric Piano.kvi", 0.3}, {"Flute.kvi", 0.0}};
        qint64 total = 0;
        for (const auto &e : expected) {
            const QString path = QStringLiteral(":/sounds/presets/") + e.name;
            total += QFile(path).size();
            KorvaneInstrument ins;
            QString error;
            QVERIFY2(readInstrumentFile(path, ins, &error), qPrintable(error));

            for (const SamplerSample &s : ins.samples) {
                const QString what = QStringLiteral("%1 %2").arg(e.name, s.name);
                QCOMPARE(s.loop != 0, e.fall == 0.0);
                // The base frequency is the pitch that sounds: the strongest partial near it
                // lies within 5 cents. The sample's key is the nearest note.
                const std::vector<double> x = channel(s.frames, 0);
                const size_t from = std::min<size_t>(x.size() / 4, 4410);
                const double f = strongestPartial(
                    {x.begin() + long(from), x.begin() + long(std::min(x.size(), from + 8192))},
                    s.baseFrequency * 0.75, s.baseFrequency * 1.33);
                QVERIFY2(std::fabs(1200.0 * std::log2(f / s.baseFrequency)) < 5.0,
                         qPrintable(
                             QStringLiteral("%1: %2 Hz for %3 Hz")
                                 .arg(what, QString::number(f), QString::number(s.baseFrequency))));
                QCOMPARE(s.key, int(std::lround(69 + 12 * std::log2(s.baseFrequency / 440.0))));
                if (e.fall == 0.0) {
                    // The loop wraps without a step: the frames after the loop end repeat
                    // those after its start.
                    QVERIFY(s.loopStart > 0 && s.loopEnd < int(s.frames.size()) - 2);
                    for (int k = -2; k < 3; ++k)
                        QVERIFY(std::fabs(s.frames[size_t(s.loopEnd + k)][0] -
                                          s.frames[size_t(s.loopStart + k)][0]) < 1e-4f);
                } else {
                    // To silence before the sample ends: no held note ends with a cut.
                    QVERIFY(rms(x, x.size() * 9 / 10, x.size()) <
                            e.fall * rms(x, 0, x.size() / 10));
                    QVERIFY2(rms(x, x.size() - 441, x.size()) < 1e-3 * peak(x), qPrintable(what));
                }
                if (qstrcmp(e.name, "Electric Piano.kvi") == 0) {
                    // The piano that plays at start still sounds after 4 s of a held C4.
                    QVERIFY(x.size() > 4 * 44100 + 2205);
                    QVERIFY(rms(x, 4 * 44100, 4 * 44100 + 2205) > 0.01 * rms(x, 0, 2205));
                }
            }

            // Across the device's range (C1 to C8) neighbouring notes are equally loud over their
            // first 0.3 s within 2 dB, also where the sample changes.
            KorvaneSampler sampler;
            sampler.addSamples(ins.samples, true);
            sampler.setEnvelope(ins.envelope);
            double previous = 0.0;
            for (int note = 24; note <= 108; ++note) {
                sampler.allNotesOff();
                sampler.noteOn(0, note, 100);
                const double level = rms(channel(render(sampler, 13230), 0), 0, 13230);
                QVERIFY2(note == 24 || std::fabs(20.0 * std::log10(level / previous)) < 2.0,
                         qPrintable(QStringLiteral("%1 note %2").arg(e.name).arg(note)));
                previous = level;
            }
        }
        QVERIFY(total < 5 * 1024 * 1024);
    }
};

VARNO_TEST_CLASS(TestAudioEngine)
#include "tst_audioengine.moc"
