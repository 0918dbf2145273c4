// Offline renders of the sampler: pitch, bend, envelope, voice allocation, the per-key mode,
// preview, layer view and reverb.
#include "tests/support/audiotesthelpers.h"
#include "tests/support/testmain.h"

#include <QtTest>

using namespace audiotest;

class TestSampler : public QObject
{
    Q_OBJECT

private:
    // A sampler holding one 440 Hz sine (two seconds, so long notes can be measured).
    static void loadSine(KorvaneSampler &s, int frames = 88200)
    {
        s.addSample(sineSample(440.0, frames), false);
    }
    static double playedFrequency(KorvaneSampler &s, int note, int skip = 4410, int frames = 22050)
    {
        s.noteOn(0, note, 127);
        const auto out = render(s, skip + frames);
        std::vector<double> tail(static_cast<size_t>(frames));
        for (int i = 0; i < frames; ++i)
            tail[size_t(i)] = out[size_t(skip + i)][0];
        s.noteOff(0, note);
        return zeroCrossingFrequency(tail);
    }

private slots:
    void pitchFollowsTheNote()
    {
        KorvaneSampler s;
        loadSine(s);
        QCOMPARE(s.sampleName(0), QStringLiteral("0 sine"));
        QVERIFY(std::fabs(playedFrequency(s, 69) - 440.0) < 0.05);
        QCOMPARE(s.lastMessage(), QStringLiteral("Note 69 to play sample 0 on voice 0"));
        s.allNotesOff();
        QVERIFY(std::fabs(playedFrequency(s, 81) - 880.0) < 0.1);
        s.allNotesOff();
        QVERIFY(std::fabs(playedFrequency(s, 57) - 220.0) < 0.05);

        // The nearest base frequency is chosen: a second sample at 880 Hz plays note 80.
        s.addSample(sineSample(880.0, 88200), false);
        s.allNotesOff();
        s.noteOn(0, 80, 127);
        QCOMPARE(s.voiceSlot(0).sampleId, 1);
    }

    void pitchBend()
    {
        for (int centre : {8176, 8192, 8207})
            QCOMPARE(bendFactor(centre), 1.0);
        QVERIFY(bendFactor(8175) < 1.0);
        QVERIFY(bendFactor(8208) > 1.0);
        QCOMPARE(bendFactor(0), 0.75);
        QVERIFY(std::fabs(bendFactor(16383) - 1.25) < 1e-4);

        // The last bend applies to new notes...
        KorvaneSampler s;
        loadSine(s);
        const struct
        {
            int bend;
            double expected;
        } cases[] = {{0, 330.0}, {8192, 440.0}, {16383, 550.0}};
        for (const auto &c : cases) {
            s.change(0, 0, 7, c.bend);
            QCOMPARE(s.lastBend(), c.bend);
            const double f = playedFrequency(s, 69);
            QVERIFY2(std::fabs(f - c.expected) < 0.1, qPrintable(QString::number(f)));
            s.allNotesOff();
        }
        // ...and bends a sounding note, slewing 0.01 Hz per frame.
        s.change(0, 0, 7, 8192);
        s.noteOn(0, 69, 127);
        render(s, 512);
        s.change(0, 0, 7, 16383);
        QVERIFY(std::fabs(s.voiceSlot(0).voice.targetFrequency() - 550.0f) < 0.01f);
        render(s, 1000);
        QVERIFY(std::fabs(s.voiceSlot(0).voice.frequency() - 450.0f) < 0.05f);
        render(s, 12000);
        QVERIFY(std::fabs(s.voiceSlot(0).voice.frequency() - 550.0f) < 0.01f);
        // Pressure bends only its own note, up to an eighth.
        s.change(0, 70, 2, 127);
        QVERIFY(std::fabs(s.voiceSlot(0).voice.targetFrequency() - 550.0f) < 0.01f);
        s.change(0, 69, 2, 127);
        QVERIFY(std::fabs(s.voiceSlot(0).voice.targetFrequency() - 495.0f) < 0.01f);
    }

    void envelopeStages()
    {
        AdsrEnvelope e;
        e.init(5, 20, 0.9f, 20);
        QCOMPARE(e.attackRate(), 1000.0f);
        QCOMPARE(e.decayRate(), 4000.0f);
        QCOMPARE(e.releaseRate(), 10000.0f);
        e.gate(true);
        int frames = 0;
        while (e.state() == AdsrEnvelope::Attack && frames < 100000) {
            e.process();
            ++frames;
        }
        // The attack curve is aimed past 1 so that it arrives after attackRate frames.
        QVERIFY2(std::abs(frames - 1000) <= 2, qPrintable(QString::number(frames)));
        QCOMPARE(e.output(), 1.0f);
        while (e.state() == AdsrEnvelope::Decay)
            e.process();
        QCOMPARE(e.state(), AdsrEnvelope::Sustain);
        QCOMPARE(e.output(), 0.9f);
        e.process();
        QCOMPARE(e.output(), 0.9f);
        e.gate(false);
        frames = 0;
        while (e.state() == AdsrEnvelope::Release) {
            e.process();
            ++frames;
        }
        QCOMPARE(e.state(), AdsrEnvelope::Idle);
        QCOMPARE(e.output(), 0.0f);
        QVERIFY(frames > 9000 && frames <= 10000);

        // Releases of 512 and above grow as r * (r + 244), not 500 r.
        e.init(0, 0, 1.0f, 511);
        QCOMPARE(e.releaseRate(), 255500.0f);
        e.init(0, 0, 1.0f, 512);
        QCOMPARE(e.releaseRate(), 387072.0f);
        e.reset();
        e.gate(true);
        e.process();
        e.process();
        QCOMPARE(e.state(), AdsrEnvelope::Sustain);
        e.gate(false);
        frames = 0;
        while (e.state() != AdsrEnvelope::Idle && frames < 1000000) {
            e.process();
            ++frames;
        }
        QVERIFY2(std::abs(frames - 387072) < 387072 / 200, qPrintable(QString::number(frames)));

        // In the sampler: voices use the envelope set last; a released note sounds on until
        // its envelope ends, then the voice is free.
        KorvaneSampler s;
        loadSine(s, 44100 * 5);
        s.setEnvelope(KorvaneEnvelope{5, 20, 0.9f, 20});
        s.noteOn(0, 69, 127);
        render(s, 999);
        QCOMPARE(s.voiceSlot(0).voice.envelope().state(), AdsrEnvelope::Attack);
        render(s, 5000);
        QCOMPARE(s.voiceSlot(0).voice.envelope().state(), AdsrEnvelope::Sustain);
        s.noteOff(0, 69);
        QCOMPARE(s.voiceSlot(0).note, -1);
        QVERIFY(s.voiceSlot(0).voice.playing());
        render(s, 10001);
        QVERIFY(!s.voiceSlot(0).voice.playing());
    }

    void voiceStealingAndFades()
    {
        KorvaneSampler s;
        loadSine(s);
        for (int note = 60; note < 70; ++note)
            s.noteOn(0, note, 100);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(s.voiceSlot(i).note, 60 + i);
        const QString before = s.lastMessage();
        render(s, 256);
        // The eleventh note takes the voice assigned longest ago, the next the next oldest;
        // a stolen voice does not change the last message.
        s.noteOn(0, 70, 100);
        QCOMPARE(s.voiceSlot(0).note, 70);
        QVERIFY(s.voiceSlot(0).voice.fading());
        s.noteOn(0, 71, 100);
        QCOMPARE(s.voiceSlot(1).note, 71);
        QCOMPARE(s.lastMessage(), before);

        // Repeating a sounding note reuses its voice: the old note fades out (gain 1 takes
        // about 1000 frames), then the new one starts from the beginning.
        KorvaneSampler r;
        loadSine(r);
        r.noteOn(0, 69, 127);
        render(r, 3000);
        r.noteOn(0, 69, 127);
        QCOMPARE(r.voiceSlot(1).note, -1);
        QVERIFY(r.voiceSlot(0).voice.fading());
        const double fadeFrom = r.voiceSlot(0).voice.position();
        render(r, 990);
        QVERIFY(r.voiceSlot(0).voice.fading());
        QVERIFY(r.voiceSlot(0).voice.position() > fadeFrom);
        render(r, 20);
        QVERIFY(!r.voiceSlot(0).voice.fading());
        QVERIFY(r.voiceSlot(0).voice.position() < 30.0);
        QCOMPARE(r.voiceSlot(0).voice.gain(), 1.0f);
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
        auto out = render(s, 8192);
        QVERIFY(std::fabs(zeroCrossingFrequency(channel(out, 0)) - 880.0) < 0.5);

        s.allNotesOff();
        s.noteOn(0, 60, 127);
        render(s, 100);
        s.change(0, 1, 4, 127); // speed up
        QVERIFY(std::fabs(s.voiceSlot(0).voice.rate() - 1.75) < 1e-9);
        s.change(0, 1, 5, 127); // speed down
        QVERIFY(std::fabs(s.voiceSlot(0).voice.rate() - 0.25) < 1e-9);
        double p = s.voiceSlot(0).voice.position();
        render(s, 400);
        QVERIFY(std::fabs(s.voiceSlot(0).voice.position() - (p + 100.0)) < 1e-6);

        s.change(0, 1, 8, 1); // reverse
        QVERIFY(s.voiceSlot(0).voice.reverse());
        p = s.voiceSlot(0).voice.position();
        render(s, 40);
        QVERIFY(std::fabs(s.voiceSlot(0).voice.position() - (p - 10.0)) < 1e-6);
        s.change(0, 1, 8, 0);
        QVERIFY(!s.voiceSlot(0).voice.reverse());

        // Scratch: below the middle backwards, above it forwards, up to 2.5 times.
        s.change(0, 1, 9, 0);
        QVERIFY(s.voiceSlot(0).voice.reverse());
        QVERIFY(std::fabs(s.voiceSlot(0).voice.rate() - 2.5) < 1e-6);
        s.change(0, 1, 9, 127);
        QVERIFY(!s.voiceSlot(0).voice.reverse());
        QVERIFY(std::fabs(s.voiceSlot(0).voice.rate() - 2.5) < 1e-6);
        s.change(0, 1, 9, 64);
        QVERIFY(std::fabs(s.voiceSlot(0).voice.rate() - (2.0 * 64 / 127.0 - 1.0) * 2.5) < 1e-6);
        // Playing backwards out of the sample ends the voice.
        s.change(0, 1, 9, 0);
        render(s, 44100);
        QVERIFY(!s.voiceSlot(0).voice.playing());

        // Controller 0 drives the gain only in controller mode 1.
        s.noteOn(0, 60, 127);
        s.change(0, 0, 1, 127);
        QCOMPARE(s.voiceSlot(0).voice.targetGain(), 1.0f);
        s.setControllerMode(1);
        s.change(0, 0, 1, 127);
        QCOMPARE(s.voiceSlot(0).voice.targetGain(), 2.0f);
    }

    void loopsWrap()
    {
        KorvaneSampler s;
        SamplerSample looped = sineSample(441.0, 10000);
        looped.loop = 2; // every loop setting wraps forward
        looped.loopStart = 1000;
        looped.loopEnd = 2000;
        s.addSample(looped, true);
        s.noteOn(0, 69, 127);
        render(s, 30000);
        const SamplerVoice v = s.voiceSlot(0).voice;
        QVERIFY(v.playing());
        QVERIFY(v.looped());
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
        out = render(s, 10);
        QCOMPARE(out[0][0], 0.0f);
    }

    void layerView()
    {
        KorvaneSampler s;
        SamplerSample shortOne = sineSample(440.0, 100);
        s.addSample(shortOne, false);
        s.addSample(sineSample(440.0, 3000, 64), false);
        KorvaneLayerView view = s.getLayerView();
        QVERIFY(view.valid);
        QCOMPARE(view.overviews.size(), 2);
        // A sample shorter than 150 frames steps frame by frame instead of getting stuck.
        QCOMPARE(view.overviews[0].points.size(), 100);
        QCOMPARE(view.overviews[1].points.size(), 300);
        QCOMPARE(view.overviews[1].frameCount, 3000);
        QCOMPARE(view.names, QStringList({"0 sine", "1 sine"}));
        QCOMPARE(view.sampleIds, QList<int>({0, 1}));

        view.triggers[1].key = 70;
        view.triggers[1].loop = 1;
        view.triggers[1].volume = 0.5f;
        view.samplerMode = 1;
        s.setLayerView(view);
        QCOMPARE(s.getSamplerMode(), 1);
        QCOMPARE(s.sampleAt(1).key, 70);
        QCOMPARE(s.sampleAt(1).loop, 1);
        QCOMPARE(s.sampleAt(1).volume, 0.5f);
        QCOMPARE(s.triggers()[1].key, 70);

        // Removing samples: by trigger, by key, the last one, all.
        s.setSampleKey(0, 71);
        QCOMPARE(s.sampleAt(0).key, 71);
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
        looped.loopEnd = 4000;
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
        QVERIFY(s.voiceSlot(0).voice.playing());
        QVERIFY(!s.voiceSlot(0).voice.fading());
    }

    void reverb()
    {
        SamplerReverb r;
        r.set(0.3f, 0.7f, 0.5f, 0.0f, 0.0f);
        QCOMPARE(QList<float>({r.dry(), r.wet(), r.wet1(), r.wet2(), r.gain()}),
                 QList<float>({2.0f, 3.0f, 2.25f, 0.75f, 0.015f}));
        QVERIFY(std::fabs(r.roomSize() - 0.784f) < 1e-6f);
        QVERIFY(std::fabs(r.damping() - 0.28f) < 1e-6f);
        QCOMPARE(r.combFeedback(), r.roomSize());
        // Amount 1 is all wet, -1 all dry; freeze holds the tank: no input, full feedback.
        r.set(0.3f, 0.7f, 0.5f, 1.0f, 0.0f);
        QCOMPARE(QList<float>({r.dry(), r.wet()}), QList<float>({0.0f, 3.0f}));
        r.set(0.3f, 0.7f, 0.5f, -1.0f, 0.0f);
        QCOMPARE(QList<float>({r.dry(), r.wet()}), QList<float>({2.0f, 0.0f}));
        r.set(0.3f, 0.7f, 0.5f, 0.0f, 1.0f);
        QCOMPARE(QList<float>({r.gain(), r.combFeedback()}), QList<float>({0.0f, 1.0f}));

        // With full width the left output carries the right tank (delays 23 frames longer):
        // wet1 goes to the opposite channel. At other rates the delays keep their times.
        float l, rr;
        for (double rate : {44100.0, 48000.0, 96000.0}) {
            SamplerReverb w(rate);
            w.set(0.3f, 0.7f, 1.0f, 1.0f, 0.0f);
            int firstLeft = -1, firstRight = -1;
            for (int i = 0; i < 3000; ++i) {
                w.process(i == 0 ? 1.0f : 0.0f, i == 0 ? 1.0f : 0.0f, l, rr);
                if (firstLeft < 0 && l != 0.0f)
                    firstLeft = i;
                if (firstRight < 0 && rr != 0.0f)
                    firstRight = i;
            }
            QVERIFY(std::fabs(firstRight - 1116.0 * rate / 44100.0) <= 0.5);
            QVERIFY(std::fabs(firstLeft - 1139.0 * rate / 44100.0) <= 1.0);
        }

        // An impulse rings, then decays to exact zeros.
        r.set(0.3f, 0.7f, 0.5f, 1.0f, 0.0f);
        r.process(1.0f, 1.0f, l, rr);
        bool rang = false;
        for (int i = 0; i < 44100; ++i) {
            r.process(0.0f, 0.0f, l, rr);
            rang = rang || std::fabs(l) > 1e-4f;
        }
        QVERIFY(rang);
        for (int i = 0; i < 44100 * 20; ++i)
            r.process(0.0f, 0.0f, l, rr);
        for (int i = 0; i < 4096; ++i) {
            r.process(0.0f, 0.0f, l, rr);
            QCOMPARE(l, 0.0f);
            QCOMPARE(rr, 0.0f);
        }

        // In the sampler: amount -1 bypasses the reverb, a higher amount adds a tail.
        KorvaneSampler dry;
        KorvaneSampler wet;
        for (KorvaneSampler *s : {&dry, &wet}) {
            s->addSample(sineSample(440.0, 2000), false);
            s->noteOn(0, 69, 127);
        }
        wet.setReverbAmount(0.5f);
        QCOMPARE(wet.getReverb().amount, 0.5f);
        const auto a = render(dry, 10000);
        const auto b = render(wet, 10000);
        QCOMPARE(a[5000][0], 0.0f);
        QVERIFY(std::fabs(b[5000][0]) > 0.0f);
    }
};

VARNO_TEST_CLASS(TestSampler)
#include "tst_sampler.moc"
