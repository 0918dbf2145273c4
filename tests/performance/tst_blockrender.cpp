// The block renderers against the frame-by-frame ones they replace on the audio thread: a
// voice rendered a block at a time and the reverb run on whole blocks must give the same
// floats, bit for bit, in every state a voice goes through.
#include "audio/samplerreverb.h"
#include "audio/samplervoice.h"

#include <QtTest>

#include <cstring>
#include <functional>
#include <random>

namespace {

std::vector<StereoFrame> noiseSample(int frames, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<StereoFrame> out(static_cast<size_t>(frames));
    for (StereoFrame &f : out)
        f = {d(rng), d(rng)};
    return out;
}

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (a == 0.0f && b == 0.0f);
}

// What happens to a voice before the frame `at`.
struct Step
{
    int at;
    std::function<void(SamplerVoice &)> act;
};

// A note on a 440 Hz sample starting at frame `from`, taking over from sample `old`.
Step start(int at, int n, bool perKey, int from, int loop, int loopStart, int loopEnd, int old = 0)
{
    VoiceNote v;
    v.note = n;
    v.perKey = perKey;
    v.velocity = 100;
    v.baseFrequency = 440.0;
    v.loop = loop;
    v.loopStart = loopStart;
    v.loopEnd = loopEnd;
    v.start = from;
    return {at, [v, old](SamplerVoice &voice) { voice.startNote(v, old); }};
}
Step change(int at, int type, int controller, int value)
{
    return {at, [=](SamplerVoice &v) { v.change(type, controller, value); }};
}
Step release(int at)
{
    return {at, [](SamplerVoice &v) { v.release(); }};
}

// Renders `frames` frames from two copies of a voice, one frame at a time and in blocks of the
// given sizes (taken in turn, split at the steps), and compares the mixes and the final states.
QString compare(const std::vector<StereoFrame> &sample, int frames, const std::vector<Step> &steps,
                const std::vector<int> &blocks)
{
    SamplerVoice byFrame, byBlock;
    for (SamplerVoice *v : {&byFrame, &byBlock})
        v->setEnvelope(1, 3, 0.7f, 2);
    auto act = [&](SamplerVoice &v, int k) {
        for (const Step &s : steps)
            if (s.at == k)
                s.act(v);
    };
    const float volume2 = 0.81f;
    std::vector<float> expected(2 * size_t(frames), 0.0f), actual(expected);
    const int count = int(sample.size());
    for (int k = 0; k < frames; ++k) {
        act(byFrame, k);
        if (!byFrame.playing())
            continue;
        const StereoFrame f = byFrame.render(sample.data(), count);
        expected[2 * size_t(k)] += f[0] * volume2;
        expected[2 * size_t(k) + 1] += f[1] * volume2;
    }
    size_t b = 0;
    for (int k = 0, end = 0; k < frames; k = end) {
        end = k + std::min(blocks[b++ % blocks.size()], frames - k);
        for (const Step &s : steps)
            end = s.at > k && s.at < end ? s.at : end;
        act(byBlock, k);
        for (int j = k; j < end && byBlock.playing();)
            j += byBlock.renderBlock(sample.data(), count, volume2, actual.data() + 2 * size_t(j),
                                     end - j);
    }
    for (size_t i = 0; i < expected.size(); ++i)
        if (!sameBits(expected[i], actual[i]))
            return QString::asprintf("value %zu differs: %.9g by frame, %.9g by block", i,
                                     double(expected[i]), double(actual[i]));
    const SamplerVoice &a = byFrame, &c = byBlock;
    if (a.position() != c.position() || a.rate() != c.rate() || a.gain() != c.gain() ||
        a.frequency() != c.frequency() || a.playing() != c.playing() || a.fading() != c.fading() ||
        a.looped() != c.looped() || a.envelope().output() != c.envelope().output() ||
        a.envelope().state() != c.envelope().state())
        return QString::asprintf("the final states differ: position %g/%g gain %g/%g", a.position(),
                                 c.position(), double(a.gain()), double(c.gain()));
    return QString();
}

} // namespace

class TestBlockRender : public QObject
{
    Q_OBJECT
private slots:
    void voiceBlocksMatchFrames()
    {
        const std::vector<StereoFrame> sample = noiseSample(3000, 7);
        const struct
        {
            const char *name;
            std::vector<Step> steps;
            std::vector<int> blocks;
            int frames;
        } scenarios[] = {
            {"bend and pressure slews, then release to silence",
             {start(0, 57, false, 0, 1, 0, 2999), change(3000, 7, 0, 16000), change(6000, 2, 0, 90),
              release(9000)},
             {300, 512},
             20000},
            {"per-key reverse through the loop start, scratch",
             {start(0, 60, true, 2500, 1, 500, 2600), change(0, 8, 127, 1),
              change(4000, 9, 124, 20)},
             {256, 33},
             20000},
            {"a note queued on a sounding voice fades it first",
             {start(0, 69, false, 0, 1, 0, 2999), start(1000, 72, false, 5, 0, 0, 0, 3)},
             {512, 100},
             20000},
            {"starts outside the sample", {start(0, 60, true, 5000, 0, 0, 0)}, {512}, 100},
            {"the release ends during a fade; a third note replaces the queued one",
             {start(0, 69, false, 0, 1, 0, 2999), release(1000),
              start(1600, 72, false, 5, 1, 0, 2999, 3), start(1700, 74, false, 5, 1, 0, 2999, 3)},
             {512, 100},
             20000},
        };
        for (const auto &s : scenarios) {
            const QString problem = compare(sample, s.frames, s.steps, s.blocks);
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("%1: %2").arg(s.name, problem)));
        }
    }

    void reverbBlocksMatchFrames()
    {
        // Loud noise, then 20 s of silence: the tails ring, and a small room's flush to exact
        // zeros (a large room's take longer).
        std::vector<StereoFrame> in = noiseSample(6000, 3);
        in.resize(44100 * 20, StereoFrame{0.0f, 0.0f});
        const float rows[][4] = {
            {0.9f, 0.2f, 0.7f, 0.3f}, {0.9f, 0.2f, 0.7f, 1.0f}, {0.3f, 0.7f, 0.5f, 1.0f}};
        for (const auto &row : rows) {
            SamplerReverb byFrame, byBlock;
            byFrame.set(row[0], row[1], row[2], row[3], 0.0f);
            byBlock.set(row[0], row[1], row[2], row[3], 0.0f);
            std::vector<StereoFrame> expected(in.size());
            for (size_t k = 0; k < in.size(); ++k)
                byFrame.process(in[k][0], in[k][1], expected[k][0], expected[k][1]);
            std::vector<StereoFrame> actual = in;
            const int sizes[] = {512, 1, 37, 256, 1000};
            for (size_t i = 0, done = 0, n = 0; done < actual.size(); done += n, ++i) {
                n = std::min(actual.size() - done, size_t(sizes[i % 5]));
                byBlock.processBlock(actual.data() + done, int(n));
            }
            bool rang = false;
            for (size_t k = 0; k < in.size(); ++k) {
                QVERIFY2(sameBits(expected[k][0], actual[k][0]) &&
                             sameBits(expected[k][1], actual[k][1]),
                         qPrintable(QStringLiteral("frame %1 differs").arg(k)));
                rang = rang || (k > 7000 && std::fabs(expected[k][0]) > 1e-4f);
                QVERIFY2(row[0] > 0.5f || k + 4096 < in.size() ||
                             (expected[k][0] == 0.0f && expected[k][1] == 0.0f),
                         qPrintable(QStringLiteral("frame %1 still sounds").arg(k)));
            }
            QVERIFY(rang);
        }
    }
};

QTEST_APPLESS_MAIN(TestBlockRender)
#include "tst_blockrender.moc"
