#include "samplerreverb.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

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

SamplerReverb::SamplerReverb()
{
    for (int ch = 0; ch < 2; ++ch) {
        const int spread = ch == 0 ? 0 : stereoSpread;
        for (int i = 0; i < CombCount; ++i)
            combs_[ch][i].buffer.assign(combTuning[i] + spread, 0.0f);
        for (int i = 0; i < AllpassCount; ++i)
            allpasses_[ch][i].buffer.assign(allpassTuning[i] + spread, 0.0f);
    }
    set(0.5f, 0.5f, 1.0f, -1.0f, 0.0f);
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
