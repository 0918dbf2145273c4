// Speed of the audio path: a 512-frame block (11.6 ms of sound at 44100 Hz) with one and
// with ten voices, the reverb on a block, and processing a 12-second recording.
#include "audio/korvanesampler.h"
#include "audio/recordinganalysis.h"
#include "audio/samplerreverb.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

SamplerSample longSine(double f)
{
    SamplerSample s;
    s.frames.resize(44100 * 10);
    for (size_t i = 0; i < s.frames.size(); ++i) {
        const float v = 0.8f * float(std::sin(2.0 * M_PI * f * double(i) / 44100.0));
        s.frames[i] = {v, v};
    }
    s.baseFrequency = f;
    s.loop = 1;
    s.loopStart = 1000;
    s.loopEnd = 400000;
    return s;
}

void renderVoices(benchmark::State &state, int voices, float reverbAmount)
{
    KorvaneSampler sampler;
    for (int i = 0; i < 24; ++i)
        sampler.addSample(longSine(110.0 * std::pow(2.0, i / 6.0)), false);
    sampler.setReverbAmount(reverbAmount);
    for (int v = 0; v < voices; ++v)
        sampler.noteOn(0, 48 + 3 * v, 100);
    std::vector<StereoFrame> block(512);
    for (auto _ : state) {
        sampler.render(block.data(), 512);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * 512);
}

void BM_OneVoiceBlock(benchmark::State &state)
{
    renderVoices(state, 1, -1.0f);
}
void BM_TenVoicesBlock(benchmark::State &state)
{
    renderVoices(state, 10, -1.0f);
}
void BM_TenVoicesWithReverbBlock(benchmark::State &state)
{
    renderVoices(state, 10, 0.3f);
}

void BM_ReverbBlock(benchmark::State &state)
{
    SamplerReverb reverb;
    reverb.set(0.3f, 0.7f, 0.5f, 0.3f, 0.0f);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    std::vector<StereoFrame> in(512);
    for (StereoFrame &f : in)
        f = {d(rng), d(rng)};
    std::vector<StereoFrame> out(512);
    for (auto _ : state) {
        for (int i = 0; i < 512; ++i)
            reverb.process(in[size_t(i)][0], in[size_t(i)][1], out[size_t(i)][0],
                           out[size_t(i)][1]);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 512);
}

// Silence, a 330 Hz tone with harmonics, silence: 12 seconds, the longest recording.
void BM_ProcessTwelveSecondRecording(benchmark::State &state)
{
    const int n = 44100 * 12;
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> noise(-0.001, 0.001);
    std::vector<double> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        x[size_t(i)] = noise(rng);
        if (i > 44100 && i < n - 44100)
            for (int k = 1; k <= 4; ++k)
                x[size_t(i)] += 0.5 / k * std::sin(2.0 * M_PI * 330.0 * k * i / 44100.0);
    }
    for (auto _ : state) {
        RecordingCut cut = cutRecording(x);
        std::vector<StereoFrame> frames;
        frames.reserve(cut.taken.size());
        for (double v : cut.taken)
            frames.push_back({float(v), float(v)});
        FrequencyEstimate est = estimateFrequency(frames, 44100.0);
        normaliseFrames(frames);
        benchmark::DoNotOptimize(est.frequency);
    }
}

} // namespace

BENCHMARK(BM_OneVoiceBlock);
BENCHMARK(BM_TenVoicesBlock);
BENCHMARK(BM_TenVoicesWithReverbBlock);
BENCHMARK(BM_ReverbBlock);
BENCHMARK(BM_ProcessTwelveSecondRecording)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
