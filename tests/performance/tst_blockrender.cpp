// The block renderers against the frame-by-frame ones they replace on the audio thread: a
// voice rendered a block at a time and the reverb run on whole blocks must give the same
// floats, bit for bit, in every state a voice goes through.
#include "audio/samplerreverb.h"
#include "audio/samplervoice.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

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

using Event = std::function<void(SamplerVoice &, int)>;

// Renders `frames` frames from two copies of a voice, one frame at a time and in blocks of
// the given sizes (taken in turn, split at the event frames), calling `event` before each
// event frame on both, and compares the mixes and the final states.
QString compare(const std::vector<StereoFrame> &sample, int frames, const std::vector<int> &blocks,
                const std::vector<int> &eventFrames, const Event &event)
{
    SamplerVoice byFrame, byBlock;
    for (SamplerVoice *v : {&byFrame, &byBlock})
        v->setEnvelope(1, 3, 0.7f, 2);
    auto isEvent = [&](int k) {
        return std::find(eventFrames.begin(), eventFrames.end(), k) != eventFrames.end();
    };
    const float volume2 = 0.81f;
    std::vector<float> expected(2 * size_t(frames), 0.0f);
    std::vector<float> actual(2 * size_t(frames), 0.0f);
    const int count = int(sample.size());
    for (int k = 0; k < frames; ++k) {
        if (isEvent(k))
            event(byFrame, k);
        if (!byFrame.playing())
            continue;
        const StereoFrame f = byFrame.render(sample.data(), count);
        expected[2 * size_t(k)] += f[0] * volume2;
        expected[2 * size_t(k) + 1] += f[1] * volume2;
    }
    size_t b = 0;
    for (int k = 0, end = 0; k < frames; k = end) {
        end = k + std::min(blocks[b++ % blocks.size()], frames - k);
        for (int e = k + 1; e < end; ++e)
            if (isEvent(e))
                end = e;
        if (isEvent(k))
            event(byBlock, k);
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

VoiceNote note(int n, bool perKey, int start, int loop, int loopStart, int loopEnd)
{
    VoiceNote v;
    v.note = n;
    v.perKey = perKey;
    v.velocity = 100;
    v.baseFrequency = 440.0;
    v.loop = loop;
    v.loopStart = loopStart;
    v.loopEnd = loopEnd;
    v.start = start;
    return v;
}

// Each scenario starts its voice at frame 0, from its event.
struct Scenario
{
    const char *name;
    std::vector<int> at;
    Event event;
    std::vector<int> blocks;
    int frames = 20000;
};

const Scenario scenarios[] = {
    {"held looping note reaches its sustain",
     {0},
     [](SamplerVoice &v, int) { v.startNote(note(64, false, 10, 1, 100, 2900), 0); },
     {512, 128, 1, 77}},
    {"bend and pressure slews, then release to silence",
     {0, 3000, 6000, 9000},
     [](SamplerVoice &v, int k) {
         if (k == 0)
             v.startNote(note(57, false, 0, 1, 0, 2999), 0);
         else if (k == 3000)
             v.change(7, 0, 16000);
         else if (k == 6000)
             v.change(2, 0, 90);
         else
             v.release();
     },
     {300, 512}},
    {"per-key reverse through the loop start, scratch",
     {0, 4000},
     [](SamplerVoice &v, int k) {
         if (k == 0) {
             v.startNote(note(60, true, 2500, 1, 500, 2600), 0);
             v.change(8, 127, 1);
         } else {
             v.change(9, 124, 20);
         }
     },
     {256, 33}},
    {"a note queued on a sounding voice fades it first",
     {0, 1000},
     [](SamplerVoice &v, int k) {
         v.startNote(k == 0 ? note(69, false, 0, 1, 0, 2999) : note(72, false, 5, 0, 0, 0),
                     k == 0 ? 0 : 3);
     },
     {512, 100}},
    {"runs off the end of an unlooped sample",
     {0},
     [](SamplerVoice &v, int) { v.startNote(note(81, false, 0, 0, 0, 0), 0); },
     {512},
     3000},
    {"starts outside the sample",
     {0},
     [](SamplerVoice &v, int) { v.startNote(note(60, true, 5000, 0, 0, 0), 0); },
     {512},
     100},
    {"the release ends during a fade; a third note replaces the queued one",
     {0, 1000, 1600, 1700},
     [](SamplerVoice &v, int k) {
         if (k == 0)
             v.startNote(note(69, false, 0, 1, 0, 2999), 0);
         else if (k == 1000)
             v.release();
         else
             v.startNote(note(k == 1600 ? 72 : 74, false, 5, 1, 0, 2999), 3);
     },
     {512, 100}},
    {"the sample ends during a fade; a note-off cancels the next one",
     {0, 2800, 4000, 4100},
     [](SamplerVoice &v, int k) {
         if (k == 0)
             v.startNote(note(69, false, 0, 0, 0, 0), 0);
         else if (k == 4100)
             v.release();
         else
             v.startNote(note(k == 2800 ? 72 : 76, false, 5, 1, 0, 2999), 3);
     },
     {512, 64}},
};

} // namespace

class TestBlockRender : public QObject
{
    Q_OBJECT
private slots:
    void voiceBlocksMatchFrames()
    {
        const std::vector<StereoFrame> sample = noiseSample(3000, 7);
        for (const Scenario &s : scenarios) {
            const QString problem = compare(sample, s.frames, s.blocks, s.at, s.event);
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("%1: %2").arg(s.name, problem)));
        }
    }
    void reverbBlocksMatchFrames()
    {
        // Loud noise, then silence long enough for the tails to flush to exact zeros.
        std::vector<StereoFrame> in = noiseSample(6000, 3);
        in.resize(60000, StereoFrame{0.0f, 0.0f});
        for (const float amount : {0.3f, 1.0f}) {
            SamplerReverb byFrame;
            SamplerReverb byBlock;
            byFrame.set(0.9f, 0.2f, 0.7f, amount, 0.0f);
            byBlock.set(0.9f, 0.2f, 0.7f, amount, 0.0f);
            std::vector<StereoFrame> expected(in.size());
            for (size_t k = 0; k < in.size(); ++k)
                byFrame.process(in[k][0], in[k][1], expected[k][0], expected[k][1]);
            std::vector<StereoFrame> actual = in;
            const int sizes[] = {512, 1, 37, 256, 1000};
            size_t done = 0;
            for (int i = 0; done < actual.size(); ++i) {
                const size_t n = std::min(actual.size() - done, size_t(sizes[i % 5]));
                byBlock.processBlock(actual.data() + done, int(n));
                done += n;
            }
            for (size_t k = 0; k < in.size(); ++k) {
                QVERIFY2(sameBits(expected[k][0], actual[k][0]) &&
                             sameBits(expected[k][1], actual[k][1]),
                         qPrintable(QStringLiteral("frame %1 differs").arg(k)));
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestBlockRender)
#include "tst_blockrender.moc"
