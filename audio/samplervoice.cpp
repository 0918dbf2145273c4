#include "samplervoice.h"

#include <cmath>

namespace {

const float inv127 = 0.007874016f;
const double bendScale = 3.051944088384301e-5;
const double speedScale = 0.005905511811023622; // 0.75 / 127

inline float moveToward(float value, float target, float step)
{
    if (value < target)
        return value + step > target ? target : value + step;
    if (value > target)
        return value - step < target ? target : value - step;
    return value;
}

} // namespace

float noteFrequency(int note)
{
    return float(440.0 * std::pow(2.0, double(note - 69) * double(0.083333336f)));
}

double bendFactor(int bend)
{
    const double b = bend * bendScale + 0.75;
    return std::fabs(b - 1.0) < 0.0005 ? 1.0 : b;
}

void SamplerVoice::setEnvelope(int attack, int decay, float sustain, int release)
{
    envelope_.init(attack, decay, sustain, release);
}

void SamplerVoice::startNote(const VoiceNote &note, int oldSampleId)
{
    if (!playing_) {
        startNow(note);
        return;
    }
    envelope_.gate(false);
    fading_ = true;
    fadingSampleId_ = oldSampleId;
    pending_ = note;
}

void SamplerVoice::startNow(const VoiceNote &note)
{
    gate_ = 1;
    playing_ = true;
    reverse_ = false;
    looped_ = false;
    fading_ = false;
    baseGain_ = targetGain_ = gain_ = float(note.velocity) * inv127;
    loop_ = note.loop;
    loopStart_ = note.loopStart;
    loopEnd_ = note.loopEnd;
    position_ = note.start;
    if (note.perKey) {
        voiceMode_ = 1;
        targetFrequency_ = frequency_ = noteFrequency_;
        rate_ = 1.0;
    } else {
        voiceMode_ = 0;
        noteFrequency_ = ::noteFrequency(note.note);
        targetFrequency_ = frequency_ = float(noteFrequency_ * bendFactor(note.bend));
        baseFrequency_ = float(note.baseFrequency);
        rate_ = noteFrequency_ / baseFrequency_;
    }
    envelope_.gate(true);
}

void SamplerVoice::finishFade()
{
    envelope_.reset();
    fading_ = false;
    startNow(pending_);
}

void SamplerVoice::release()
{
    envelope_.gate(false);
    gate_ = 0;
}

void SamplerVoice::stop()
{
    envelope_.gate(false);
    envelope_.reset();
    gate_ = 0;
    playing_ = false;
    fading_ = false;
}

void SamplerVoice::change(int type, int controller, int value)
{
    const float v = float(value) / 127.0f;
    const bool gainControl = type == 1 && controller == 0 && controllerMode_ == 1;
    if (voiceMode_ == 0) {
        if (type == 7)
            targetFrequency_ = float(noteFrequency_ * bendFactor(value));
        else if (type == 2)
            targetFrequency_ = noteFrequency_ * (1.0f + 0.125f * v);
        else if (gainControl)
            targetGain_ = (1.0f + v) * baseGain_;
        return;
    }
    switch (type) {
    case 1:
        if (gainControl)
            targetGain_ = (1.0f + v) * baseGain_;
        break;
    case 8:
        reverse_ = value != 0;
        break;
    case 4:
        rate_ = 1.0 + value * speedScale;
        break;
    case 5:
        rate_ = 1.0 - value * speedScale;
        break;
    case 9:
        if (v < 0.5f) {
            reverse_ = true;
            rate_ = (1.0f - 2.0f * v) * 2.5f;
        } else if (v > 0.5f) {
            reverse_ = false;
            rate_ = (2.0f * v - 1.0f) * 2.5f;
        } else {
            rate_ = 0.0;
        }
        break;
    default:
        break;
    }
}

StereoFrame SamplerVoice::render(const StereoFrame *frames, int frameCount) noexcept
{
    // 1. Gain slew, or the fade before a queued note.
    if (!fading_) {
        gain_ = moveToward(gain_, targetGain_, gainStep_);
    } else if (gain_ <= 0.0f) {
        finishFade();
        return {0.0f, 0.0f};
    } else {
        gain_ -= gainStep_;
    }

    // A start outside the sample (or a position that is not a number) ends the voice before
    // it is turned into an index.
    if (!(position_ >= 0.0 && position_ < double(frameCount))) {
        playing_ = false;
        position_ = 0.0;
        rate_ = 0.0;
        return {0.0f, 0.0f};
    }

    // 2. Four-point cubic interpolation around the position.
    const int whole = int(position_);
    const float t = float(position_ - whole);
    const int last = frameCount - 1;
    auto at = [&](int i) -> const StereoFrame & {
        return frames[i < 0 ? 0 : (i > last ? last : i)];
    };
    const StereoFrame &ym1 = at(whole - 1);
    const StereoFrame &y0 = at(whole);
    const StereoFrame &y1 = at(whole + 1);
    const StereoFrame &y2 = at(whole + 2);
    StereoFrame value;
    for (int e = 0; e < 2; ++e) {
        const float c1 = 0.5f * (y1[e] - ym1[e]);
        const float c2 = ym1[e] - 2.5f * y0[e] + 2.0f * y1[e] - 0.5f * y2[e];
        const float c3 = 0.5f * (y2[e] - ym1[e]) + 1.5f * (y0[e] - y1[e]);
        value[e] = ((c3 * t + c2) * t + c1) * t + y0[e];
    }

    // 3. Advance, wrapping at the loop end (the same for every loop setting).
    if (!reverse_) {
        position_ += rate_;
        if (loop_ != 0 && position_ >= loopEnd_) {
            position_ = loopStart_;
            looped_ = true;
        }
    } else {
        position_ -= rate_;
        if (loop_ != 0 && position_ < loopStart_)
            position_ = loopEnd_;
    }

    // 4, 5. Leaving the sample or an idle envelope ends the voice.
    if (position_ >= frameCount || position_ < 0.0) {
        playing_ = false;
        position_ = 0.0;
        rate_ = 0.0;
    }
    if (envelope_.state() == AdsrEnvelope::Idle)
        playing_ = false;

    // 6. Frequency slew.
    frequency_ = moveToward(frequency_, targetFrequency_, frequencyStep_);
    if (voiceMode_ == 0)
        rate_ = frequency_ / baseFrequency_;

    // 7. Envelope and gain.
    const float level = envelope_.process() * gain_ * gain_;
    return {value[0] * level, value[1] * level};
}
