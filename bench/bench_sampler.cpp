// Speed of the audio path: a 512-frame block (11.6 ms of sound at 44100 Hz) with one and
// with ten voices, the reverb on a block, and processing a 12-second recording. The
// Target* benchmarks are the ones scripts/bench compares with the peers (FluidSynth,
// scsynth, FFTW); their names are what it looks for.
#include "audio/korvanesampler.h"
#include "audio/recordinganalysis.h"
#include "audio/samplerreverb.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
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

// The sound the peers play too: a 2-second stereo 440 Hz sine looped whole, ten notes from
// 60 up, pitched mode, velocity 127. Blocks of 512 frames; the figure is CPU time per block
// over 5120 voice-frames.
SamplerSample twoSecondSine()
{
    SamplerSample s;
    s.frames.resize(2 * 44100);
    for (size_t i = 0; i < s.frames.size(); ++i) {
        const float v = 0.8f * float(std::sin(2.0 * M_PI * 440.0 * double(i) / 44100.0));
        s.frames[i] = {v, v};
    }
    s.baseFrequency = 440.0;
    s.loop = 1;
    s.loopStart = 0;
    s.loopEnd = int(s.frames.size());
    return s;
}

void tenVoicesOfTheSine(benchmark::State &state, bool bendEveryBlock)
{
    KorvaneSampler sampler;
    sampler.addSample(twoSecondSine(), false);
    sampler.setReverbAmount(-1.0f);
    for (int v = 0; v < 10; ++v)
        sampler.noteOn(0, 60 + v, 127);
    std::vector<StereoFrame> block(512);
    int bend = 8192;
    for (auto _ : state) {
        if (bendEveryBlock) {
            // A bend that keeps moving keeps every voice's frequency slewing.
            bend = bend == 8192 ? 9000 : 8192;
            sampler.change(0, 0, 7, bend);
        }
        sampler.render(block.data(), 512);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * 512 * 10);
}

// Held notes: after the first 4400 frames the envelopes sustain.
void BM_TargetVoiceFrames(benchmark::State &state)
{
    tenVoicesOfTheSine(state, false);
}

// The same with the pitch bend moving all the time (no steady stretch): the whole per-frame
// path with its slews.
void BM_VoiceFramesBending(benchmark::State &state)
{
    tenVoicesOfTheSine(state, true);
}

// The reverb alone as the sampler runs it, per 512-frame block of a loud mix.
void BM_TargetReverbFrames(benchmark::State &state)
{
    SamplerReverb reverb;
    reverb.set(0.3f, 0.7f, 0.5f, 0.3f, 0.0f);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    std::vector<StereoFrame> in(512);
    for (StereoFrame &f : in)
        f = {d(rng), d(rng)};
    std::vector<StereoFrame> block(512);
    for (auto _ : state) {
        block = in;
        reverb.processBlock(block.data(), 512);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * 512);
}

std::vector<double> twelveSecondRecording()
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
    return x;
}

// Everything the engine does with a finished 12-second recording: cut, transform (2^20
// points), pick the pitch, normalise.
void BM_TargetRecording(benchmark::State &state)
{
    const std::vector<double> x = twelveSecondRecording();
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

// The yardstick: FFTW's 2^20-point real transform (half-complex to real, the direction ours
// runs, planned with FFTW_ESTIMATE outside the timing) plus one linear pass over the
// recording (the level of every frame and its peak).
void BM_TargetRecordingFftw(benchmark::State &state)
{
    const std::vector<double> x = twelveSecondRecording();
    const int size = 1 << 20;
    double *buffer = fftw_alloc_real(size);
    fftw_plan plan = fftw_plan_r2r_1d(size, buffer, buffer, FFTW_HC2R, FFTW_ESTIMATE);
    std::vector<double> levels(x.size());
    for (auto _ : state) {
        double peak = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            levels[i] = std::fabs(x[i]);
            peak = std::max(peak, levels[i]);
        }
        std::fill(buffer, buffer + size, 0.0);
        std::copy(x.begin(), x.end(), buffer);
        fftw_execute(plan);
        benchmark::DoNotOptimize(peak);
        benchmark::DoNotOptimize(buffer[size / 3]);
    }
    fftw_destroy_plan(plan);
    fftw_free(buffer);
}

} // namespace

BENCHMARK(BM_TargetVoiceFrames)->MinTime(1.0);
BENCHMARK(BM_VoiceFramesBending)->MinTime(1.0);
BENCHMARK(BM_TargetReverbFrames)->MinTime(1.0);
BENCHMARK(BM_TargetRecording)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TargetRecordingFftw)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OneVoiceBlock);
BENCHMARK(BM_TenVoicesBlock);
BENCHMARK(BM_TenVoicesWithReverbBlock);
BENCHMARK(BM_ReverbBlock);
BENCHMARK(BM_ProcessTwelveSecondRecording)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
