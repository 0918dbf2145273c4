// Recording: the pitch estimate, the onset and end cut, normalising, and the engine's
// recording path from stream input to a new sample.
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

// Silence (with a faint noise floor), a tone, silence; frames at 44100 Hz or as many at `rate`.
std::vector<double> silenceToneSilence(int before, int length, int after, double rate = 44100.0)
{
    before = int(before * rate / 44100.0);
    length = int(length * rate / 44100.0);
    after = int(after * rate / 44100.0);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> noise(-0.001, 0.001);
    std::vector<double> x(size_t(before), 0.0);
    const std::vector<double> t = tone(330.0, length, 0.5, 3, rate);
    x.insert(x.end(), t.begin(), t.end());
    x.resize(x.size() + size_t(after), 0.0);
    for (double &v : x)
        v += noise(rng);
    return x;
}

// The engine on an offline stream at the given server rate, its sampler's messages recorded.
struct Recorder : Rig
{
    explicit Recorder(unsigned rate = 44100)
        : messages(&engine, &KorvaneAudioEngine::SendSamplerMessage)
    {
        backend->setServerRate(rate);
        engine.init(44100);
    }
    // Streams a mono signal in as interleaved stereo.
    void play(const std::vector<double> &x)
    {
        std::vector<double> in;
        for (double v : x)
            in.insert(in.end(), {v, v});
        backend->run(unsigned(x.size()), in);
    }
    void record(const std::vector<double> &x)
    {
        engine.startRecording();
        play(x);
        engine.stopRecording();
    }
    QString message(int i) { return messages.at(i < 0 ? messages.size() + i : i).at(0).toString(); }
    QSignalSpy messages;
};

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void pitchEstimate()
    {
        // The spectrum view marks the estimate's bin and scales to the highest magnitude.
        FrequencyEstimate e = estimateFrequency(stereo(tone(440.0, 44100, 0.8)), 44100.0);
        QCOMPARE(e.peakIndex, int(std::lround(e.frequency * 65536.0 / 44100.0)));
        QCOMPARE(e.maxValue, *std::max_element(e.magnitudes.begin(), e.magnitudes.end()));

        auto check = [](const std::vector<double> &x, double f, const QString &what) {
            const double found = estimateFrequency(stereo(x), 44100.0).frequency;
            return std::fabs(std::log2(found / f)) < 0.1 / 12
                       ? QString()
                       : QStringLiteral("%1: %2 Hz for %3").arg(what).arg(found).arg(f);
        };
        // Sines and harmonic tones, long and short, land within a tenth of a semitone.
        for (double f : {110.0, 220.0, 440.0, 523.25, 1000.0, 2093.0})
            for (int frames : {13230, 44100})
                for (int harmonics : {1, 5}) {
                    const QString why =
                        check(tone(f, frames, 0.8, harmonics), f,
                              QStringLiteral("%1 frames, %2 harmonics").arg(frames).arg(harmonics));
                    QVERIFY2(why.isEmpty(), qPrintable(why));
                }

        // Low notes whose fundamental is weak or missing, as a bass or a cello sounds through a
        // small speaker, decaying like a plucked string: the pitch is the fundamental's.
        for (const auto &low : {std::make_pair(41.2, 0.1), std::make_pair(65.4, 0.0),
                                std::make_pair(82.41, 0.05), std::make_pair(130.8, 0.1)}) {
            std::vector<double> x(44100);
            for (int i = 0; i < 44100; ++i)
                for (int k = 1; k <= 10; ++k)
                    x[size_t(i)] += (k == 1 ? low.second : 0.6 / k) * std::exp(-2.0 * i / 44100.0) *
                                    std::sin(2.0 * M_PI * low.first * k * i / 44100.0 + k);
            const QString why = check(x, low.first, QStringLiteral("weak fundamental"));
            QVERIFY2(why.isEmpty(), qPrintable(why));
        }
        // Nothing to find in silence, and nothing at all in nothing.
        QCOMPARE(estimateFrequency(stereo(std::vector<double>(4096, 0.0)), 44100.0).frequency, 0.0);
        QCOMPARE(estimateFrequency({}, 44100.0).frequency, 0.0);
        // A dozen frames at a low rate: shorter than one analysis hop.
        QVERIFY(estimateFrequency(stereo(tone(440.0, 12, 0.5)), 8000.0).frequency >= 0.0);
    }

    void onsetEndAndNormalising()
    {
        const std::vector<double> x = silenceToneSilence(22050, 44100, 22050);
        const RecordingCut cut = cutRecording(x);
        QVERIFY(cut.onsetFound);
        QVERIFY2(cut.start >= 22050 && cut.start < 22050 + 64,
                 qPrintable(QString::number(cut.start)));
        QVERIFY2(cut.end >= 66150 && cut.end < 66150 + 1100, qPrintable(QString::number(cut.end)));
        QCOMPARE(int(cut.taken.size()), cut.end - cut.start);
        QCOMPARE(cut.taken.front(), x[size_t(cut.start)]);
        QCOMPARE(int(cut.levels.size()), int(x.size())); // the view reads as many

        // Loud from the first frame: no onset, everything taken, end at the last frame.
        const RecordingCut loud = cutRecording(tone(330.0, 20000, 0.5));
        QVERIFY(!loud.onsetFound);
        QCOMPARE(int(loud.taken.size()), 20000);
        QCOMPARE(loud.end, 19999);
        // Shorter than 1025 frames: taken whole.
        QCOMPARE(int(cutRecording(silenceToneSilence(500, 300, 200)).taken.size()), 1000);
        QVERIFY(cutRecording({}).taken.empty());

        // Normalising scales the highest value to 1; with nothing above zero it leaves the
        // frames alone and says so.
        std::vector<StereoFrame> f = {{0.2f, 0.2f}, {-0.5f, -0.5f}, {0.25f, 0.15f}};
        QVERIFY(normaliseFrames(f));
        QCOMPARE(f[1][0], -2.5f);
        QCOMPARE(f[0][0], 1.0f);
        std::vector<StereoFrame> negative = {{-0.2f, -0.2f}, {0.0f, 0.0f}};
        QVERIFY(!normaliseFrames(negative));
        QCOMPARE(negative[0][0], -0.2f);
    }

    // At a server's rate of 48000 Hz the recording is converted to the samples' 44100 Hz: the
    // estimate and the length come out as at 44100.
    void recordingThroughTheStream_data()
    {
        QTest::addColumn<int>("rate");
        QTest::newRow("44100") << 44100;
        QTest::newRow("48000") << 48000;
    }
    void recordingThroughTheStream()
    {
        QFETCH(int, rate);
        Recorder r{unsigned(rate)};
        QVERIFY(r.engine.isStreamRunning());
        QSignalSpy recData(&r.engine, &KorvaneAudioEngine::SendRecData);
        QSignalSpy analyze(&r.engine, &KorvaneAudioEngine::SendAnalyzeData);
        const std::vector<double> x = silenceToneSilence(11025, 22050, 11025, rate);
        r.play(std::vector<double>(x.begin(), x.begin() + 4096)); // before the start: not kept
        r.engine.startRecording();
        QCOMPARE(r.message(0), QStringLiteral("Recording sample..."));
        r.play(x);
        r.engine.stopRecording();
        QCOMPARE(r.message(1), QStringLiteral("Rec over after 1000 msecs. Processing..."));
        QVERIFY(r.message(2).startsWith(QStringLiteral("New Sample: ")));
        QCOMPARE(recData.count(), 1);
        const int size = recData.at(0).at(0).value<RecordView>().size;
        QVERIFY2(std::abs(size - 44100) < (rate == 44100 ? 1 : 50),
                 qPrintable(QString::number(size)));
        QCOMPARE(analyze.count(), 1);

        QCOMPARE(r.engine.sampleCount(), 1);
        const SamplerSample s = r.engine.sampleAt(0);
        QCOMPARE(s.name, QStringLiteral("0 Recording"));
        QCOMPARE(QList<int>({s.key, s.loop, s.loopEnd}),
                 QList<int>({60, 0, int(std::lround(0.8 * double(s.frames.size())))}));
        QVERIFY2(std::fabs(s.baseFrequency - 330.0) < 1.5 * 44100.0 / 32768.0,
                 qPrintable(QString::number(s.baseFrequency)));
        float peak = 0.0f;
        for (const StereoFrame &f : s.frames)
            peak = std::max(peak, (f[0] + f[1]) / 2.0f);
        QCOMPARE(peak, 1.0f);

        // Silence, or a block with nothing above zero, is skipped.
        r.record(std::vector<double>(8192, -0.25));
        QCOMPARE(r.message(-1), QStringLiteral("Recording was only silence. Skipping.."));
        QCOMPARE(r.engine.sampleCount(), 1);
    }

    void keysAndActionRecordings()
    {
        Recorder r;
        KorvaneSensorsState map;
        for (int i = 0; i < 24; ++i) {
            map.nodes.push_back(KorvaneSensorNode());
            map.nodes.back().note = 40 + i;
        }
        r.engine.setMap(map);
        r.engine.prepareRecordSampler();
        QCOMPARE(r.engine.samplerMode(), 1);
        const std::vector<double> input = tone(440.0, 8000, 0.5);

        // Per-key mode: normal recordings take the notes of sensors 1, 2, 3.
        for (int i = 0; i < 3; ++i)
            r.record(input);
        QCOMPARE(r.engine.sampleCount(), 3);
        QCOMPARE(r.engine.sampleAt(0).key, 41);
        QCOMPARE(r.engine.sampleAt(2).key, 43);
        QCOMPARE(r.engine.recordKeyCounter(), 3);
        r.engine.dropRecordKeyCounter();
        QCOMPARE(r.engine.recordKeyCounter(), 2);

        // An action recording loops, takes its note and replaces the sample keyed to it.
        r.engine.beginActionRecording(42);
        r.play(input);
        r.engine.endActionRecording();
        QCOMPARE(r.engine.sampleCount(), 3);
        const SamplerSample last = r.engine.sampleAt(2);
        QCOMPARE(QList<int>({last.key, last.loop, r.engine.sampleAt(1).key}),
                 QList<int>({42, 1, 43}));
        QCOMPARE(last.name, QStringLiteral("3 Recording"));
    }

    void twelveSecondLimit()
    {
        Recorder r;
        QSignalSpy ended(&r.engine, &KorvaneAudioEngine::RecEnded);
        r.engine.startRecording();
        for (int second = 0; second < 13; ++second) {
            r.play(tone(440.0, 44100, 0.5));
            r.engine.pumpInput();
        }
        QCOMPARE(ended.count(), 1);
        QVERIFY(!r.engine.isRecording());
        QCOMPARE(r.engine.recordedFrames(), 529200);
        // Processing waits for the stop request.
        QCOMPARE(r.engine.sampleCount(), 0);
        r.engine.stopRecording();
        QCOMPARE(r.engine.sampleCount(), 1);
        // A second stop adds nothing and says nothing.
        r.messages.clear();
        r.engine.stopRecording();
        QCOMPARE(r.engine.sampleCount(), 1);
        QCOMPARE(r.messages.count(), 0);
    }
};

VARNO_TEST_CLASS(TestRecording)
#include "tst_recording.moc"
