// Recording: the transform, the pitch estimate, the onset and end cut, normalising, and the
// r.engine's recording path from stream input to a new sample.
#include "audio/recordinganalysis.h"
#include "tests/support/audiotesthelpers.h"
#include "tests/support/testmain.h"

#include <QSignalSpy>
#include <QtTest>

#include <random>

using namespace audiotest;

namespace {

std::vector<double> tone(double f, int frames, double level, int harmonics = 1,
                         double rate = 44100.0)
{
    std::vector<double> x(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        for (int k = 1; k <= harmonics; ++k)
            x[size_t(i)] += level / k * std::sin(2.0 * M_PI * f * k * i / rate);
    return x;
}

std::vector<StereoFrame> stereo(const std::vector<double> &x)
{
    std::vector<StereoFrame> out;
    for (double v : x)
        out.push_back({float(v), float(v)});
    return out;
}

// Interleaved stereo stream input from a mono signal.
std::vector<double> streamInput(const std::vector<double> &x)
{
    std::vector<double> out;
    for (double v : x) {
        out.push_back(v);
        out.push_back(v);
    }
    return out;
}

// Silence (with a faint noise floor), a tone, silence.
std::vector<double> silenceToneSilence(int before, int length, int after)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> noise(-0.001, 0.001);
    std::vector<double> x;
    for (int i = 0; i < before; ++i)
        x.push_back(noise(rng));
    for (double v : tone(330.0, length, 0.5, 3))
        x.push_back(v + noise(rng));
    for (int i = 0; i < after; ++i)
        x.push_back(noise(rng));
    return x;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void transformMatchesDirectSum()
    {
        // Against y[t] = X0 + (-1)^t X(n/2) + 2 sum (Re_k cos - Im_k sin), with the input laid
        // out as re(0) .. re(n/2), im(n/2 - 1) .. im(1).
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> d(-1.0, 1.0);
        for (int n : {2, 4, 8, 32, 256, 1024}) {
            std::vector<double> x(static_cast<size_t>(n));
            for (double &v : x)
                v = d(rng);
            std::vector<double> y = x;
            splitRadixInverseRealFft(y.data(), size_t(n));
            for (int t = 0; t < n; ++t) {
                double s = x[0] + x[size_t(n / 2)] * (t % 2 ? -1.0 : 1.0);
                for (int k = 1; k < n / 2; ++k) {
                    const double a = 2.0 * M_PI * k * t / n;
                    s += 2.0 * (x[size_t(k)] * std::cos(a) - x[size_t(n - k)] * std::sin(a));
                }
                QVERIFY2(std::fabs(s - y[size_t(t)]) < 1e-9, qPrintable(QString::number(n)));
            }
        }
    }

    void fftwTransformAgreesWithOurs()
    {
        std::mt19937 rng(4);
        std::uniform_real_distribution<double> d(-1.0, 1.0);
        for (int n : {2, 8, 4096, 1 << 20}) {
            std::vector<double> x(static_cast<size_t>(n));
            for (double &v : x)
                v = d(rng);
            std::vector<double> ours = x;
            splitRadixInverseRealFft(ours.data(), size_t(n));
            inverseRealFft(x.data(), size_t(n));
            double worst = 0.0;
            for (int t = 0; t < n; ++t)
                worst = std::max(worst, std::fabs(ours[size_t(t)] - x[size_t(t)]));
            QVERIFY2(worst < 1e-9 * std::sqrt(double(n)), qPrintable(QString::number(worst)));
        }
    }

    void pitchEstimate()
    {
        // A 440 Hz sine of one second uses 65536 points; the view marks the estimate's bin.
        FrequencyEstimate e = estimateFrequency(stereo(tone(440.0, 44100, 0.8)), 44100.0);
        QCOMPARE(e.transformSize, 65536);
        QCOMPARE(int(e.magnitudes.size()), 32768);
        QCOMPARE(e.peakIndex, int(std::lround(e.frequency * 65536.0 / 44100.0)));
        QCOMPARE(e.maxValue, *std::max_element(e.magnitudes.begin(), e.magnitudes.end()));

        // Sines and harmonic tones, long and short, land within a tenth of a semitone.
        for (double f : {110.0, 220.0, 440.0, 523.25, 1000.0, 2093.0}) {
            for (int frames : {13230, 44100}) {
                for (int harmonics : {1, 5}) {
                    e = estimateFrequency(stereo(tone(f, frames, 0.8, harmonics)), 44100.0);
                    QVERIFY2(std::fabs(std::log2(e.frequency / f)) < 0.1 / 12,
                             qPrintable(QString::asprintf("%g Hz, %d frames, %d harmonics: %g", f,
                                                          frames, harmonics, e.frequency)));
                }
            }
        }

        // Low notes whose fundamental is weak or missing, as a bass or a cello sounds through a
        // small speaker, decaying like a plucked string: the pitch is the fundamental's.
        struct Low
        {
            double f, fundamental;
        } lows[] = {{41.2, 0.1}, {65.4, 0.0}, {82.41, 0.05}, {130.8, 0.1}};
        for (const Low &low : lows) {
            std::vector<double> x(44100);
            for (int i = 0; i < 44100; ++i)
                for (int k = 1; k <= 10; ++k)
                    x[size_t(i)] += (k == 1 ? low.fundamental : 0.6 / k) *
                                    std::exp(-2.0 * i / 44100.0) *
                                    std::sin(2.0 * M_PI * low.f * k * i / 44100.0 + k);
            e = estimateFrequency(stereo(x), 44100.0);
            QVERIFY2(std::fabs(std::log2(e.frequency / low.f)) < 0.1 / 12,
                     qPrintable(QStringLiteral("%1 Hz: %2").arg(low.f).arg(e.frequency)));
        }
        // Nothing to find in silence, and nothing at all in nothing.
        QCOMPARE(estimateFrequency(stereo(std::vector<double>(4096, 0.0)), 44100.0).frequency, 0.0);
        QCOMPARE(estimateFrequency({}, 44100.0).frequency, 0.0);
        // A dozen frames at a low rate: shorter than one analysis hop.
        QVERIFY(estimateFrequency(stereo(tone(440.0, 12, 0.5)), 8000.0).frequency >= 0.0);
    }

    void onsetAndEnd()
    {
        const std::vector<double> x = silenceToneSilence(22050, 44100, 22050);
        const RecordingCut cut = cutRecording(x);
        QVERIFY(cut.onsetFound);
        QVERIFY2(cut.start >= 22050 && cut.start < 22050 + 64,
                 qPrintable(QString::number(cut.start)));
        QVERIFY2(cut.end >= 66150 && cut.end < 66150 + 1100, qPrintable(QString::number(cut.end)));
        QCOMPARE(int(cut.taken.size()), cut.end - cut.start);
        QCOMPARE(cut.taken.front(), x[size_t(cut.start)]);
        QCOMPARE(int(cut.levels.size()), int(x.size()));
        QCOMPARE(cut.levels[100], std::fabs(x[100]));

        // Loud from the first frame: no onset, everything taken, end at the last frame.
        const RecordingCut loud = cutRecording(tone(330.0, 20000, 0.5));
        QVERIFY(!loud.onsetFound);
        QCOMPARE(int(loud.taken.size()), 20000);
        QCOMPARE(loud.end, 19999);
        // Shorter than 1025 frames: taken whole.
        QCOMPARE(int(cutRecording(silenceToneSilence(500, 300, 200)).taken.size()), 1000);
        QVERIFY(cutRecording({}).taken.empty());

        // A recording after the first reuses the buffers of the one before.
        const double *earlier[2];
        {
            const RecordingCut first = cutRecording(x);
            earlier[0] = first.levels.data();
            earlier[1] = first.taken.data();
        }
        const RecordingCut second = cutRecording(x);
        QVERIFY(second.levels.data() == earlier[0] || second.levels.data() == earlier[1]);
    }

    void normalising()
    {
        std::vector<StereoFrame> f = {{0.2f, 0.2f}, {-0.5f, -0.5f}, {0.25f, 0.15f}};
        QVERIFY(normaliseFrames(f));
        QCOMPARE(f[1][0], -2.5f);
        QCOMPARE(f[0][0], 1.0f);
        // Nothing above zero: left alone and reported.
        std::vector<StereoFrame> negative = {{-0.2f, -0.2f}, {0.0f, 0.0f}};
        QVERIFY(!normaliseFrames(negative));
        QCOMPARE(negative[0][0], -0.2f);
    }

    void recordingThroughTheStream()
    {
        Rig r;
        QVERIFY(r.engine.init(44100));
        QSignalSpy messages(&r.engine, &KorvaneAudioEngine::SendSamplerMessage);
        QSignalSpy recData(&r.engine, &KorvaneAudioEngine::SendRecData);
        QSignalSpy analyze(&r.engine, &KorvaneAudioEngine::SendAnalyzeData);

        const std::vector<double> x = silenceToneSilence(11025, 22050, 11025);
        r.backend->run(4096, streamInput(x)); // input before the recording starts is not kept
        r.engine.startRecording();
        QCOMPARE(messages.takeFirst().at(0).toString(), QStringLiteral("Recording sample..."));
        r.backend->run(unsigned(x.size()), streamInput(x));
        r.engine.stopRecording();
        QCOMPARE(messages.at(0).at(0).toString(),
                 QStringLiteral("Rec over after 1000 msecs. Processing..."));
        QVERIFY(messages.at(1).at(0).toString().startsWith(QStringLiteral("New Sample: ")));
        QCOMPARE(recData.count(), 1);
        QCOMPARE(recData.at(0).at(0).value<RecordView>().size, 44100);
        QCOMPARE(analyze.count(), 1);

        QCOMPARE(r.engine.sampleCount(), 1);
        const SamplerSample s = r.engine.sampleAt(0);
        QCOMPARE(s.name, QStringLiteral("0 Recording"));
        QCOMPARE(s.key, 60);
        QCOMPARE(s.loop, 0);
        QCOMPARE(s.loopEnd, int(std::lround(0.8 * double(s.frames.size()))));
        QVERIFY(std::fabs(s.baseFrequency - 330.0) < 1.5 * 44100.0 / 32768.0);
        float peak = 0.0f;
        for (const StereoFrame &f : s.frames)
            peak = std::max(peak, (f[0] + f[1]) / 2.0f);
        QCOMPARE(peak, 1.0f);

        // Silence, or a block with nothing above zero, is skipped.
        messages.clear();
        r.engine.startRecording();
        r.backend->run(8192, streamInput(std::vector<double>(8192, -0.25)));
        r.engine.stopRecording();
        QCOMPARE(messages.last().at(0).toString(),
                 QStringLiteral("Recording was only silence. Skipping.."));
        QCOMPARE(r.engine.sampleCount(), 1);
    }

    // On a server at 48000 Hz the recording is converted to the samples' 44100 Hz: the
    // estimate and the length come out as at 44100.
    void recordingAtAnotherRate()
    {
        Rig r;
        r.backend->setServerRate(48000);
        QVERIFY(r.engine.init(44100));
        QSignalSpy messages(&r.engine, &KorvaneAudioEngine::SendSamplerMessage);
        const std::vector<double> x = tone(330.0, 48000, 0.5, 3, 48000.0);
        r.engine.startRecording();
        r.backend->run(unsigned(x.size()), streamInput(x));
        r.engine.stopRecording();
        QCOMPARE(messages.at(1).at(0).toString(),
                 QStringLiteral("Rec over after 1000 msecs. Processing..."));
        QCOMPARE(r.engine.sampleCount(), 1);
        const SamplerSample s = r.engine.sampleAt(0);
        QVERIFY2(std::abs(int(s.frames.size()) - 44100) < 50,
                 qPrintable(QString::number(s.frames.size())));
        QVERIFY2(std::fabs(s.baseFrequency - 330.0) < 1.5 * 44100.0 / 32768.0,
                 qPrintable(QString::number(s.baseFrequency)));
    }

    void keysAndActionRecordings()
    {
        Rig r;
        QVERIFY(r.engine.init(44100));
        KorvaneSensorsState map;
        for (int i = 0; i < 24; ++i) {
            KorvaneSensorNode node;
            node.note = 40 + i;
            map.nodes.push_back(node);
        }
        r.engine.setMap(map);
        r.engine.prepareRecordSampler();
        QCOMPARE(r.engine.samplerMode(), 1);
        const std::vector<double> input = streamInput(tone(440.0, 8000, 0.5));

        // Per-key mode: normal recordings take the notes of sensors 1, 2, 3.
        for (int i = 0; i < 3; ++i) {
            r.engine.startRecording();
            r.backend->run(8000, input);
            r.engine.stopRecording();
        }
        QCOMPARE(r.engine.sampleCount(), 3);
        QCOMPARE(r.engine.sampleAt(0).key, 41);
        QCOMPARE(r.engine.sampleAt(2).key, 43);
        QCOMPARE(r.engine.recordKeyCounter(), 3);
        r.engine.dropRecordKeyCounter();
        QCOMPARE(r.engine.recordKeyCounter(), 2);

        // An action recording loops, takes its note and replaces the sample keyed to it.
        r.engine.beginActionRecording(42);
        r.backend->run(8000, input);
        r.engine.endActionRecording();
        QCOMPARE(r.engine.sampleCount(), 3);
        const SamplerSample last = r.engine.sampleAt(2);
        QCOMPARE(last.key, 42);
        QCOMPARE(last.loop, 1);
        QCOMPARE(last.name, QStringLiteral("3 Recording"));
        QCOMPARE(r.engine.sampleAt(1).key, 43);
    }

    void twelveSecondLimit()
    {
        Rig r;
        QVERIFY(r.engine.init(44100));
        QSignalSpy ended(&r.engine, &KorvaneAudioEngine::RecEnded);
        r.engine.startRecording();
        const std::vector<double> input = streamInput(tone(440.0, 44100, 0.5));
        for (int second = 0; second < 13; ++second) {
            r.backend->run(44100, input);
            r.engine.pumpInput();
        }
        QCOMPARE(ended.count(), 1);
        QVERIFY(!r.engine.isRecording());
        QCOMPARE(r.engine.recordedFrames(), 529200);
        // Processing waits for the stop request.
        QCOMPARE(r.engine.sampleCount(), 0);
        QSignalSpy messages(&r.engine, &KorvaneAudioEngine::SendSamplerMessage);
        r.engine.stopRecording();
        QCOMPARE(r.engine.sampleCount(), 1);
        // A second stop, or one with no recording at all, adds nothing and says nothing.
        messages.clear();
        r.engine.stopRecording();
        r.engine.stopRecording();
        QCOMPARE(r.engine.sampleCount(), 1);
        QCOMPARE(messages.count(), 0);
    }
};

VARNO_TEST_CLASS(TestRecording)
#include "tst_recording.moc"
