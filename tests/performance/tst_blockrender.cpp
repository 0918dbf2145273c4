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

// Renders `frames` frames from two copies of a voice, one frame at a time and in blocks of
// the given sizes (taken in turn, split at the event frames), calling `event` before each
// event frame on both, and compares the mixes and the final states.
struct Twin
{
    SamplerVoice byFrame;
    SamplerVoice byBlock;
};

using Event = std::function<void(SamplerVoice &, int)>;

QString compare(Twin &twin, const std::vector<StereoFrame> &sample, int frames,
                const std::vector<int> &blocks, const std::vector<int> &eventFrames,
                const Event &event)
{
    auto isEvent = [&](int k) {
        return std::find(eventFrames.begin(), eventFrames.end(), k) != eventFrames.end();
    };
    const float volume2 = 0.81f;
    std::vector<float> expected(2 * size_t(frames), 0.0f);
    std::vector<float> actual(2 * size_t(frames), 0.0f);
    const int count = int(sample.size());
    for (int k = 0; k < frames; ++k) {
        if (isEvent(k))
            event(twin.byFrame, k);
        if (!twin.byFrame.playing())
            continue;
        const StereoFrame f = twin.byFrame.render(sample.data(), count);
        expected[2 * size_t(k)] += f[0] * volume2;
        expected[2 * size_t(k) + 1] += f[1] * volume2;
    }
    int k = 0;
    size_t b = 0;
    while (k < frames) {
        const int n = std::min(blocks[b++ % blocks.size()], frames - k);
        int end = k + n;
        for (int e = k + 1; e < end; ++e)
            if (isEvent(e))
                end = e;
        if (isEvent(k))
            event(twin.byBlock, k);
        for (int j = k; j < end;) {
            if (!twin.byBlock.playing())
                break;
            j += twin.byBlock.renderBlock(sample.data(), count, volume2,
                                          actual.data() + 2 * size_t(j), end - j);
        }
        k = end;
    }
    for (size_t i = 0; i < expected.size(); ++i)
        if (!sameBits(expected[i], actual[i]))
            return QStringLiteral("value %1 differs: %2 by frame, %3 by block")
                .arg(i)
                .arg(double(expected[i]), 0, 'g', 9)
                .arg(double(actual[i]), 0, 'g', 9);
    const SamplerVoice &a = twin.byFrame;
    const SamplerVoice &c = twin.byBlock;
    if (a.position() != c.position() || a.rate() != c.rate() || a.gain() != c.gain() ||
        a.frequency() != c.frequency() || a.playing() != c.playing() || a.fading() != c.fading() ||
        a.looped() != c.looped() || a.envelope().output() != c.envelope().output() ||
        a.envelope().state() != c.envelope().state())
        return QStringLiteral("the final states differ: position %1/%2 rate %3/%4 gain %5/%6 "
                              "envelope %7/%8")
            .arg(a.position())
            .arg(c.position())
            .arg(a.rate())
            .arg(c.rate())
            .arg(double(a.gain()))
            .arg(double(c.gain()))
            .arg(double(a.envelope().output()))
            .arg(double(c.envelope().output()));
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

} // namespace

class TestBlockRender : public QObject
{
    Q_OBJECT
private slots:
    void voiceBlocksMatchFrames_data();
    void voiceBlocksMatchFrames();
    void reverbBlocksMatchFrames();
};

void TestBlockRender::voiceBlocksMatchFrames_data()
{
    QTest::addColumn<int>("scenario");
    QTest::newRow("held looping note reaches its sustain") << 0;
    QTest::newRow("bend and pressure slews, then release to silence") << 1;
    QTest::newRow("per-key reverse through the loop start, scratch") << 2;
    QTest::newRow("a note queued on a sounding voice fades it first") << 3;
    QTest::newRow("runs off the end of an unlooped sample") << 4;
    QTest::newRow("starts outside the sample") << 5;
    QTest::newRow("the release ends during a fade; a third note replaces the queued one") << 6;
    QTest::newRow("the sample ends during a fade; a note-off cancels the next one") << 7;
}

void TestBlockRender::voiceBlocksMatchFrames()
{
    QFETCH(int, scenario);
    const std::vector<StereoFrame> sample = noiseSample(3000, 7);
    Twin twin;
    for (SamplerVoice *v : {&twin.byFrame, &twin.byBlock})
        v->setEnvelope(1, 3, 0.7f, 2);

    Event event = [](SamplerVoice &, int) {};
    std::vector<int> at;
    int frames = 20000;
    std::vector<int> blocks = {512};
    switch (scenario) {
    case 0:
        for (SamplerVoice *v : {&twin.byFrame, &twin.byBlock})
            v->startNote(note(64, false, 10, 1, 100, 2900), 0);
        blocks = {512, 128, 1, 77};
        break;
    case 1:
        for (SamplerVoice *v : {&twin.byFrame, &twin.byBlock})
            v->startNote(note(57, false, 0, 1, 0, 2999), 0);
        at = {3000, 6000, 9000};
        event = [](SamplerVoice &v, int k) {
            if (k == 3000)
                v.change(7, 0, 16000);
            else if (k == 6000)
                v.change(2, 0, 90);
            else
                v.release();
        };
        blocks = {300, 512};
        break;
    case 2:
        for (SamplerVoice *v : {&twin.byFrame, &twin.byBlock}) {
            v->startNote(note(60, true, 2500, 1, 500, 2600), 0);
            v->change(8, 127, 1);
        }
        at = {4000};
        event = [](SamplerVoice &v, int) { v.change(9, 124, 20); };
        blocks = {256, 33};
        break;
    case 3:
        for (SamplerVoice *v : {&twin.byFrame, &twin.byBlock})
            v->startNote(note(69, false, 0, 1, 0, 2999), 0);
        at = {1000};
        event = [](SamplerVoice &v, int) { v.startNote(note(72, false, 5, 0, 0, 0), 3); };
        blocks = {512, 100};
        break;
    case 4:
        for (SamplerVoice *v : {&twin.byFrame, &twin.byBlock})
            v->startNote(note(81, false, 0, 0, 0, 0), 0);
        frames = 3000;
        break;
    case 5:
        for (SamplerVoice *v : {&twin.byFrame, &twin.byBlock})
            v->startNote(note(60, true, 5000, 0, 0, 0), 0);
        frames = 100;
        break;
    case 6:
        for (SamplerVoice *v : {&twin.byFrame, &twin.byBlock})
            v->startNote(note(69, false, 0, 1, 0, 2999), 0);
        at = {1000, 1600, 1700};
        event = [](SamplerVoice &v, int k) {
            if (k == 1000)
                v.release();
            else
                v.startNote(note(k == 1600 ? 72 : 74, false, 5, 1, 0, 2999), 3);
        };
        blocks = {512, 100};
        break;
    case 7:
        for (SamplerVoice *v : {&twin.byFrame, &twin.byBlock})
            v->startNote(note(69, false, 0, 0, 0, 0), 0);
        at = {2800, 4000, 4100};
        event = [](SamplerVoice &v, int k) {
            if (k == 4100)
                v.release();
            else
                v.startNote(note(k == 2800 ? 72 : 76, false, 5, 1, 0, 2999), 3);
        };
        blocks = {512, 64};
        break;
    }
    const QString problem = compare(twin, sample, frames, blocks, at, event);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestBlockRender::reverbBlocksMatchFrames()
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

QTEST_APPLESS_MAIN(TestBlockRender)
#include "tst_blockrender.moc"
