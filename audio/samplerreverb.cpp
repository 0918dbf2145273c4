#include "samplerreverb.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const int combTuning[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
const int allpassTuning[4] = {556, 441, 341, 225};
const int stereoSpread = 23;
const float allpassFeedback = 0.5f;
const float fixedGain = 0.015f;

// Zeros and denormals (exponent bits all zero) become 0, so silence decays to exact zeros
// instead of lingering in slow denormal arithmetic.
inline float flushDenormal(float v) noexcept
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits & 0x7f800000u) == 0 ? 0.0f : v;
}

} // namespace

SamplerReverb::SamplerReverb(double sampleRate)
{
    setSampleRate(sampleRate);
    set(0.5f, 0.5f, 1.0f, -1.0f, 0.0f);
}

void SamplerReverb::setSampleRate(double sampleRate)
{
    const double scale = sampleRate > 0.0 ? sampleRate / 44100.0 : 1.0;
    auto frames = [scale](int tuned) { return std::max(1, int(std::lround(tuned * scale))); };
    for (int ch = 0; ch < 2; ++ch) {
        const int spread = ch == 0 ? 0 : stereoSpread;
        for (int i = 0; i < CombCount; ++i) {
            combs_[ch][i].buffer.assign(size_t(frames(combTuning[i] + spread)), 0.0f);
            combs_[ch][i].index = 0;
            combs_[ch][i].filterstore = 0.0f;
        }
        for (int i = 0; i < AllpassCount; ++i) {
            allpasses_[ch][i].buffer.assign(size_t(frames(allpassTuning[i] + spread)), 0.0f);
            allpasses_[ch][i].index = 0;
        }
    }
}

void SamplerReverb::set(float room, float damp, float width, float amount, float mode)
{
    // Outside these ranges the combs feed back more than they take in and the tail grows
    // without end; an instrument file may hold anything.
    room = std::clamp(room, 0.0f, 1.0f);
    damp = std::clamp(damp, 0.0f, 1.0f);
    width = std::clamp(width, 0.0f, 1.0f);
    amount = std::clamp(amount, -1.0f, 1.0f);
    roomsize_ = 0.28f * room + 0.7f;
    damp_ = 0.4f * damp;
    width_ = width;
    mode_ = mode;
    dry_ = amount >= 0.0f ? 2.0f * (1.0f - amount) : 2.0f;
    wet_ = amount > 0.0f ? 3.0f : 3.0f * amount + 3.0f;
    update();
}

void SamplerReverb::update()
{
    wet1_ = wet_ * (width_ + 1.0f) / 2.0f;
    wet2_ = wet_ * (1.0f - width_) / 2.0f;
    const bool frozen = mode_ >= 0.5f;
    gain_ = frozen ? 0.0f : fixedGain;
    for (auto &channel : combs_) {
        for (Comb &c : channel) {
            c.feedback = frozen ? 1.0f : roomsize_;
            c.damp = frozen ? 0.0f : damp_;
        }
    }
}

void SamplerReverb::clear()
{
    for (auto &channel : combs_) {
        for (Comb &c : channel) {
            std::fill(c.buffer.begin(), c.buffer.end(), 0.0f);
            c.filterstore = 0.0f;
        }
    }
    for (auto &channel : allpasses_)
        for (Allpass &a : channel)
            std::fill(a.buffer.begin(), a.buffer.end(), 0.0f);
}

float SamplerReverb::combStep(Comb &c, float input) noexcept
{
    const float out = flushDenormal(c.buffer[c.index]);
    c.filterstore = flushDenormal(out * (1.0f - c.damp) + c.filterstore * c.damp);
    c.buffer[c.index] = input + c.filterstore * c.feedback;
    if (++c.index >= int(c.buffer.size()))
        c.index = 0;
    return out;
}

float SamplerReverb::allpassStep(Allpass &a, float input) noexcept
{
    const float b = flushDenormal(a.buffer[a.index]);
    const float out = b - input;
    a.buffer[a.index] = input + b * allpassFeedback;
    if (++a.index >= int(a.buffer.size()))
        a.index = 0;
    return out;
}

void SamplerReverb::process(float inL, float inR, float &outL, float &outR) noexcept
{
    const float input = (inL + inR) * gain_;
    float sum[2] = {0.0f, 0.0f};
    for (int ch = 0; ch < 2; ++ch) {
        for (Comb &c : combs_[ch])
            sum[ch] += combStep(c, input);
        for (Allpass &a : allpasses_[ch])
            sum[ch] = allpassStep(a, sum[ch]);
    }
    // wet1 goes to the opposite channel.
    outL = sum[0] * wet2_ + sum[1] * wet1_ + inL * dry_;
    outR = sum[0] * wet1_ + sum[1] * wet2_ + inR * dry_;
}

// Block processing. Within a run of frames in which no delay line wraps, every value a line
// reads was written before the run (each line is longer than the run), so the reads, the
// channel sums and the all-passes work on whole arrays; only each comb's one-pole filter is
// a recurrence, and the sixteen of them run side by side. The arithmetic per value is the
// same as in process(), in the same order.
void SamplerReverb::processBlock(std::array<float, 2> *frames, int count) noexcept
{
    while (count > 0) {
        int run = std::min(count, int(MaxRun));
        for (const auto &channel : combs_)
            for (const Comb &c : channel)
                run = std::min(run, int(c.buffer.size()) - c.index);
        for (const auto &channel : allpasses_)
            for (const Allpass &a : channel)
                run = std::min(run, int(a.buffer.size()) - a.index);
        processRun(frames, run);
        frames += run;
        count -= run;
    }
}

void SamplerReverb::processRun(std::array<float, 2> *frames, int n) noexcept
{
    float input[MaxRun];
    for (int k = 0; k < n; ++k)
        input[k] = (frames[k][0] + frames[k][1]) * gain_;

    float sum[2][MaxRun];
    float *line[2 * CombCount];
    float store[2 * CombCount];
    float keep[2 * CombCount];
    float feedback[2 * CombCount];
    float damp[2 * CombCount];
    for (int ch = 0; ch < 2; ++ch) {
        std::fill(sum[ch], sum[ch] + n, 0.0f);
        for (int i = 0; i < CombCount; ++i) {
            Comb &c = combs_[ch][i];
            float *p = c.buffer.data() + c.index;
            // The comb's outputs are the delayed values, in comb order into the channel sum.
            for (int k = 0; k < n; ++k)
                sum[ch][k] += flushDenormal(p[k]);
            const int j = ch * CombCount + i;
            line[j] = p;
            store[j] = c.filterstore;
            keep[j] = 1.0f - c.damp;
            damp[j] = c.damp;
            feedback[j] = c.feedback;
        }
    }
    // The filters: a value is read before the same frame writes it.
#if defined(__SSE2__)
    // Four combs per vector; packed arithmetic is the same IEEE arithmetic per lane.
    static_assert(2 * CombCount % 4 == 0, "combs come in groups of four");
    const __m128 exponent = _mm_castsi128_ps(_mm_set1_epi32(0x7f800000));
    const __m128 zero = _mm_setzero_ps();
    auto flush = [&](__m128 v) {
        return _mm_andnot_ps(_mm_cmpeq_ps(_mm_and_ps(v, exponent), zero), v);
    };
    // The four groups side by side, so that one group's filter latency hides behind the
    // others' work.
    constexpr int Groups = 2 * CombCount / 4;
    __m128 kp[Groups], dp[Groups], fb[Groups], st[Groups];
    for (int g = 0; g < Groups; ++g) {
        kp[g] = _mm_loadu_ps(keep + 4 * g);
        dp[g] = _mm_loadu_ps(damp + 4 * g);
        fb[g] = _mm_loadu_ps(feedback + 4 * g);
        st[g] = _mm_loadu_ps(store + 4 * g);
    }
    for (int k = 0; k < n; ++k) {
        const __m128 in = _mm_set1_ps(input[k]);
        for (int g = 0; g < Groups; ++g) {
            float *const *l = line + 4 * g;
            const __m128 out = flush(_mm_setr_ps(l[0][k], l[1][k], l[2][k], l[3][k]));
            st[g] = flush(_mm_add_ps(_mm_mul_ps(out, kp[g]), _mm_mul_ps(st[g], dp[g])));
            const __m128 w = _mm_add_ps(in, _mm_mul_ps(st[g], fb[g]));
            _mm_store_ss(l[0] + k, w);
            _mm_store_ss(l[1] + k, _mm_shuffle_ps(w, w, _MM_SHUFFLE(1, 1, 1, 1)));
            _mm_store_ss(l[2] + k, _mm_shuffle_ps(w, w, _MM_SHUFFLE(2, 2, 2, 2)));
            _mm_store_ss(l[3] + k, _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 3, 3, 3)));
        }
    }
    for (int g = 0; g < Groups; ++g)
        _mm_storeu_ps(store + 4 * g, st[g]);
#else
    for (int k = 0; k < n; ++k) {
        const float in = input[k];
        for (int j = 0; j < 2 * CombCount; ++j) {
            const float out = flushDenormal(line[j][k]);
            store[j] = flushDenormal(out * keep[j] + store[j] * damp[j]);
            line[j][k] = in + store[j] * feedback[j];
        }
    }
#endif
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < CombCount; ++i) {
            Comb &c = combs_[ch][i];
            c.filterstore = store[ch * CombCount + i];
            c.index += n;
            if (c.index >= int(c.buffer.size()))
                c.index = 0;
        }
        float *x = sum[ch];
        for (Allpass &a : allpasses_[ch]) {
            float *p = a.buffer.data() + a.index;
            for (int k = 0; k < n; ++k) {
                const float b = flushDenormal(p[k]);
                const float out = b - x[k];
                p[k] = x[k] + b * allpassFeedback;
                x[k] = out;
            }
            a.index += n;
            if (a.index >= int(a.buffer.size()))
                a.index = 0;
        }
    }
    for (int k = 0; k < n; ++k) {
        const float inL = frames[k][0];
        const float inR = frames[k][1];
        frames[k][0] = sum[0][k] * wet2_ + sum[1][k] * wet1_ + inL * dry_;
        frames[k][1] = sum[0][k] * wet1_ + sum[1][k] * wet2_ + inR * dry_;
    }
}
