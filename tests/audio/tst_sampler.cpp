// Offline renders of the sampler: pitch, bend, envelope, voice allocation, the per-key mode,
// preview, layer view and reverb.
#include "tests/support/audiotesthelpers.h"
#include "tests/support/testmain.h"

#include <QtTest>

using namespace audiotest;

namespace {

// A measured value within `tolerance` of `want`; the message names both.
#define NEAR(value, want, tolerance)                                                               \
    QVERIFY2(std::fabs((value) - (want)) < (tolerance),                                            \
             qPrintable(QStringLiteral(#value " = %1, not %2").arg(value).arg(want)))

// A sampler holding one 440 Hz sine (by default two seconds, so long notes can be measured).
struct Sine : KorvaneSampler
{
    explicit Sine(int frames = 88200) { addSample(sineSample(440.0, frames), false); }
    SamplerVoice voice() const { return voiceSlot(0).voice; }
};

} // namespace

class TestSampler : public QObject
{
    Q_OBJECT

private slots:
    void pitchAndBend()
    {
        for (int centre : {8176, 8192, 8207})
            QCOMPARE(bendFactor(centre), 1.0);
        QVERIFY(bendFactor(8175) < 1.0 && bendFactor(8208) > 1.0);
        QCOMPARE(bendFactor(0), 0.75);
        NEAR(bendFactor(16383), 1.25, 1e-4);

        // The last bend applies to new notes (the note's own pitch is measured in the engine
        // tests, at every stream rate).
        Sine s;
        s.change(0, 0, 7, 0);
        s.noteOn(0, 69, 127);
        const auto out = render(s, 4410 + 22050);
        NEAR(zeroCrossingFrequency(channel({out.begin() + 4410, out.end()}, 0)), 330.0, 0.1);
        s.allNotesOff();
        // A sounding note bends too, slewing 0.01 Hz per frame.
        s.change(0, 0, 7, 8192);
        s.noteOn(0, 69, 127);
        render(s, 512);
        s.change(0, 0, 7, 16383);
        NEAR(s.voice().targetFrequency(), 550.0f, 0.01f);
        render(s, 1000);
        NEAR(s.voice().frequency(), 450.0f, 0.05f);
        render(s, 12000);
        NEAR(s.voice().frequency(), 550.0f, 0.01f);
        // Pressure bends only its own note, up to an eighth.
        s.change(0, 70, 2, 127);
        NEAR(s.voice().targetFrequency(), 550.0f, 0.01f);
        s.change(0, 69, 2, 127);
        NEAR(s.voice().targetFrequency(), 495.0f, 0.01f);

        // The sample of the nearest base frequency plays: with 880 Hz beside it, note 80.
        s.addSample(sineSample(880.0, 88200), false);
        s.allNotesOff();
        s.noteOn(0, 80, 127);
        QCOMPARE(s.voiceSlot(0).sampleId, 1);
    }

    void envelopeStages()
    {
        AdsrEnvelope e;
        auto run = [&e](AdsrEnvelope::State stage) {
            int frames = 0;
            for (; e.state() == stage && frames < 1000000; ++frames)
                e.process();
            return frames;
        };
        e.init(5, 20, 0.9f, 20);
        QCOMPARE(e.decayRate(), 4000.0f);
        e.gate(true);
        // The attack curve is aimed past 1 so that it arrives after attackRate frames.
        const int attack = run(AdsrEnvelope::Attack);
        QVERIFY2(std::abs(attack - 1000) <= 2, qPrintable(QString::number(attack)));
        QCOMPARE(e.output(), 1.0f);
        run(AdsrEnvelope::Decay);
        e.process();
        QCOMPARE(e.state(), AdsrEnvelope::Sustain);
        QCOMPARE(e.output(), 0.9f);
        e.gate(false);
        const int release = run(AdsrEnvelope::Release);
        QCOMPARE(e.state(), AdsrEnvelope::Idle);
        QCOMPARE(e.output(), 0.0f);
        QVERIFY(release > 9000 && release <= 10000);

        // Releases of 512 and above grow as r * (r + 244), not 500 r.
        e.init(0, 0, 1.0f, 511);
        QCOMPARE(e.releaseRate(), 255500.0f);
        e.init(0, 0, 1.0f, 512);
        e.reset();
        e.gate(true);
        e.process();
        e.process();
        QCOMPARE(e.state(), AdsrEnvelope::Sustain);
        e.gate(false);
        const int slow = run(AdsrEnvelope::Release);
        QVERIFY2(std::abs(slow - 387072) < 387072 / 200, qPrintable(QString::number(slow)));

        // In the sampler: voices use the envelope set last; a released note sounds on until
        // its envelope ends, then the voice is free.
        Sine s(44100 * 5);
        s.setEnvelope(KorvaneEnvelope{5, 20, 0.9f, 20});
        s.noteOn(0, 69, 127);
        render(s, 999);
        QCOMPARE(s.voice().envelope().state(), AdsrEnvelope::Attack);
        render(s, 5000);
        QCOMPARE(s.voice().envelope().state(), AdsrEnvelope::Sustain);
        s.noteOff(0, 69);
        QCOMPARE(s.voiceSlot(0).note, -1);
        QVERIFY(s.voice().playing());
        render(s, 10001);
        QVERIFY(!s.voice().playing());
    }

    void voiceStealingAndFades()
    {
        // A stolen voice does not change the last message (which voice a note takes, and that
        // the stolen one fades, is checked against a model in the voice tests).
        Sine s;
        for (int note = 60; note < 71; ++note) {
            s.noteOn(0, note, 100);
            render(s, note == 69 ? 256 : 0);
        }
        QCOMPARE(s.lastMessage(), QStringLiteral("Note 69 to play sample 0 on voice 9"));

        // Repeating a sounding note reuses its voice: the old note fades out (gain 1 takes
        // about 1000 frames), then the new one starts from the beginning.
        Sine r;
        r.noteOn(0, 69, 127);
        render(r, 3000);
        r.noteOn(0, 69, 127);
        const double fadeFrom = r.voice().position();
        render(r, 990);
        QVERIFY(r.voice().fading() && r.voice().position() > fadeFrom);
        render(r, 20);
        QVERIFY(!r.voice().fading() && r.voice().position() < 30.0);
        QCOMPARE(r.voice().gain(), 1.0f);
    }

    void perKeyMode()
    {
        KorvaneSampler s;
        s.setSamplerMode(1);
        s.addSample(sineSample(440.0, 44100, 60), false);
        s.addSample(sineSample(660.0, 44100, 62), false);
        s.addSample(sineSample(880.0, 44100, 62), false);
        // The last trigger with the key wins; a key without a sample plays nothing.
        s.noteOn(0, 62, 127);
        QCOMPARE(s.voiceSlot(0).sampleId, 2);
        QCOMPARE(s.lastMessage(), QStringLiteral("Note 62 triggers sample 2 on voice 0"));
        s.noteOn(0, 61, 127);
        QCOMPARE(s.voiceSlot(1).note, -1);
        // At its own speed: 880 Hz whatever the note.
        NEAR(zeroCrossingFrequency(channel(render(s, 8192), 0)), 880.0, 0.5);

        s.allNotesOff();
        s.noteOn(0, 60, 127);
        render(s, 100);
        auto v = [&s] { return s.voiceSlot(0).voice; };
        // Speed up, speed down, reverse, scratch (below the middle backwards, above it
        // forwards, up to 2.5 times): the rate, the direction and the frames 400 take.
        const struct
        {
            int controller, value;
            double rate;
            bool reverse;
            double step; // position change over 400 frames, 0: not measured
        } cases[] = {
            {4, 127, 1.75, false, 0.0}, {5, 127, 0.25, false, 100.0},
            {8, 1, 0.25, true, -100.0}, {8, 0, 0.25, false, 0.0},
            {9, 0, 2.5, true, 0.0},     {9, 64, (2.0 * 64 / 127.0 - 1.0) * 2.5, false, 0.0}};
        for (const auto &c : cases) {
            s.change(0, 1, c.controller, c.value);
            NEAR(v().rate(), c.rate, 1e-6);
            QCOMPARE(v().reverse(), c.reverse);
            const double p = v().position();
            if (c.step != 0.0) {
                render(s, 400);
                NEAR(v().position(), p + c.step, 1e-6);
            }
        }
        // Playing backwards out of the sample ends the voice.
        s.change(0, 1, 9, 0);
        render(s, 44100);
        QVERIFY(!v().playing());

        // Controller 0 drives the gain only in controller mode 1.
        s.noteOn(0, 60, 127);
        s.change(0, 0, 1, 127);
        QCOMPARE(v().targetGain(), 1.0f);
        s.setControllerMode(1);
        s.change(0, 0, 1, 127);
        QCOMPARE(v().targetGain(), 2.0f);
    }

    void loopsWrap()
    {
        // Every loop setting wraps forward.
        KorvaneSampler s;
        SamplerSample looped = sineSample(441.0, 10000);
        looped.loop = 2;
        looped.loopStart = 1000;
        looped.loopEnd = 2000;
        s.addSample(looped, true);
        s.noteOn(0, 69, 127);
        render(s, 30000);
        const SamplerVoice v = s.voiceSlot(0).voice;
        QVERIFY(v.playing() && v.looped());
        QVERIFY(v.position() >= 1000.0 && v.position() < 2000.0);

        // A loop of whole cycles played at another pitch stays a pure sine across the wraps:
        // the step past the loop end carries over, so no wrap skips a fraction of a frame.
        KorvaneSampler p;
        looped = sineSample(441.0, 20000);
        looped.loop = 1;
        looped.loopStart = 1000;
        looped.loopEnd = 11000; // 100 cycles
        p.addSample(looped, true);
        p.noteOn(0, 73, 127);
        render(p, 10000); // to the sustain
        const std::vector<double> x = channel(render(p, 40000), 0);
        const double w = 2.0 * M_PI * double(noteFrequency(73)) / 44100.0;
        double peak = 0.0, bend = 0.0;
        for (size_t k = 1; k + 1 < x.size(); ++k) {
            peak = std::max(peak, std::fabs(x[k]));
            bend = std::max(bend, std::fabs(x[k + 1] - 2.0 * x[k] + x[k - 1]));
        }
        QVERIFY2(bend < 1.05 * peak * (2.0 - 2.0 * std::cos(w)),
                 qPrintable(QString::number(bend / peak)));
    }

    void previewAndMasterVolume()
    {
        KorvaneSampler s;
        SamplerSample flat;
        flat.frames.assign(1000, StereoFrame{0.5f, 0.25f});
        s.addSample(flat, false);
        s.setSampleVolume(0, 0.5f);
        s.setMasterVolume(1.0f);
        s.previewPlay(0);
        auto out = render(s, 1200);
        // The preview plays the frames as they are, times volume² and master volume², and
        // stops at the end of the sample.
        QCOMPARE(out[0][0], 0.125f);
        QCOMPARE(out[999][1], 0.0625f);
        QCOMPARE(out[1000][0], 0.0f);
        QVERIFY(!s.isPreviewing());
        s.previewPlay(42); // no such sample: nothing
        QCOMPARE(render(s, 10)[0][0], 0.0f);
    }

    void layerView()
    {
        KorvaneSampler s;
        s.addSample(sineSample(440.0, 100), false);
        s.addSample(sineSample(440.0, 3000, 64), false);
        KorvaneLayerView view = s.getLayerView();
        // A sample shorter than 150 frames steps frame by frame instead of getting stuck.
        QCOMPARE(view.overviews[0].points.size(), 100);
        QCOMPARE(view.names, QStringList({"0 sine", "1 sine"}));

        view.triggers[1].key = 70;
        view.triggers[1].loop = 1;
        view.triggers[1].volume = 0.5f;
        view.samplerMode = 1;
        s.setLayerView(view);
        // Both what is saved and what plays follow the edit.
        QCOMPARE(QList<double>({double(s.getSamplerMode()), double(s.sampleAt(1).key),
                                double(s.sampleAt(1).loop), s.sampleAt(1).volume,
                                double(s.triggers()[1].key)}),
                 QList<double>({1, 70, 1, 0.5, 70}));

        // Removing samples: by trigger, by key, the last one, all.
        s.setSampleKey(0, 71);
        s.replaceKeySample(71);
        QCOMPARE(s.sampleCount(), 1);
        QCOMPARE(s.sampleName(0), QStringLiteral("1 sine"));
        QCOMPARE(s.sampleName(5), QStringLiteral("untitled"));
        s.deleteSample(0);
        QVERIFY(!s.isLoaded());
        QCOMPARE(s.getNextSampleId(), 0);
    }

    void removedSampleFreesItsVoice()
    {
        KorvaneSampler s;
        SamplerSample looped = sineSample(440.0, 4000);
        looped.loop = 1;
        s.addSample(looped, false);
        s.addSample(sineSample(440.0, 4000), false);
        s.noteOn(0, 69, 127);
        render(s, 100);
        s.deleteSample(0);
        render(s, 10);
        QVERIFY(!s.voiceSlot(0).voice.playing());
        // The voice can be used again at once.
        s.noteOn(0, 69, 127);
        render(s, 10);
        QVERIFY(s.voiceSlot(0).voice.playing() && !s.voiceSlot(0).voice.fading());
        // The last sample removed while it sounds: a sample added later takes its id and must
        // not sound without a note (nor by a note played while there was no sample).
        KorvaneSampler one;
        one.addSample(sineSample(440.0, 4000), false);
        one.noteOn(0, 69, 127);
        render(one, 100);
        one.deleteSample(0);
        render(one, 10);
        one.noteOn(0, 60, 127); // nothing to play
        render(one, 10);
        one.addSample(sineSample(440.0, 4000), false);
        const std::vector<double> heard = channel(render(one, 100), 0);
        QCOMPARE(rms(heard, 0, heard.size()), 0.0);
    }

    void reverb()
    {
        SamplerReverb r;
        auto set = [&r](float amount, float freeze) { r.set(0.3f, 0.7f, 0.5f, amount, freeze); };
        // Amount 1 is all wet, -1 all dry; freeze holds the tank: no input, full feedback.
        set(1.0f, 0.0f);
        QCOMPARE(QList<float>({r.dry(), r.wet()}), QList<float>({0.0f, 3.0f}));
        set(-1.0f, 0.0f);
        QCOMPARE(QList<float>({r.dry(), r.wet()}), QList<float>({2.0f, 0.0f}));
        set(0.0f, 1.0f);
        QCOMPARE(QList<float>({r.gain(), r.combFeedback()}), QList<float>({0.0f, 1.0f}));

        // With full width the left output carries the right tank (delays 23 frames longer):
        // wet1 goes to the opposite channel. At other rates the delays keep their times.
        for (double rate : {44100.0, 48000.0, 96000.0}) {
            SamplerReverb w(rate);
            w.set(0.3f, 0.7f, 1.0f, 1.0f, 0.0f);
            int firstLeft = -1, firstRight = -1;
            for (int i = 0; i < 3000; ++i) {
                float l, rr;
                w.process(i == 0 ? 1.0f : 0.0f, i == 0 ? 1.0f : 0.0f, l, rr);
                firstLeft = firstLeft < 0 && l != 0.0f ? i : firstLeft;
                firstRight = firstRight < 0 && rr != 0.0f ? i : firstRight;
            }
            NEAR(firstRight, 1116.0 * rate / 44100.0, 0.51);
            NEAR(firstLeft, 1139.0 * rate / 44100.0, 1.01);
        }

        // In the sampler: amount -1 bypasses the reverb, a higher amount adds a tail.
        KorvaneSampler dry, wet;
        for (KorvaneSampler *s : {&dry, &wet}) {
            s->addSample(sineSample(440.0, 2000), false);
            s->noteOn(0, 69, 127);
        }
        wet.setReverbAmount(0.5f);
        QCOMPARE(render(dry, 10000)[5000][0], 0.0f);
        QVERIFY(std::fabs(render(wet, 10000)[5000][0]) > 0.0f);
    }
};

VARNO_TEST_CLASS(TestSampler)
#include "tst_sampler.moc"
