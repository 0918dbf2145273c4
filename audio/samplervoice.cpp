#include "samplervoice.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

void SamplerVoice::setStreamRate(double rate)
{
    step_ = fileRate / rate;
    timeScale_ = rate / fileRate;
}

void SamplerVoice::setEnvelope(int attack, int decay, float sustain, int release)
{
    envelope_.init(attack, decay, sustain, release, timeScale_);
}

void SamplerVoice::startNote(const VoiceNote &note, int oldSampleId)
{
    if (!playing_) {
        startNow(note);
        return;
    }
    if (!fading_) {
        envelope_.gate(false);
        fading_ = true;
        fadingSampleId_ = oldSampleId;
    }
    pending_ = note;
    pendingHeld_ = true;
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
    if (pendingHeld_) {
        startNow(pending_);
    } else {
        gate_ = 0;
        playing_ = false;
    }
}

void SamplerVoice::release()
{
    // The fading sound is released already; the note-off belongs to the queued note.
    if (fading_)
        pendingHeld_ = false;
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
        if (fading_)
            finishFade(); // the old sound is gone: the queued note need not wait
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

    // 3. Advance, wrapping at the loop end (the same for every loop setting). The part of the
    // step beyond the loop's edge carries over: dropping it would skip up to a frame of the
    // sound at every wrap, an audible tick in notes played above the sample's pitch.
    if (!reverse_) {
        position_ += rate_ * step_;
        if (loop_ != 0 && position_ >= loopEnd_) {
            position_ = loopStart_ + (position_ - loopEnd_);
            looped_ = true;
        }
    } else {
        position_ -= rate_ * step_;
        if (loop_ != 0 && position_ < loopStart_)
            position_ = loopEnd_ - (loopStart_ - position_);
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
    // The old sound ended before its fade did: the queued note starts with the next frame.
    if (!playing_ && fading_)
        finishFade();
    return {value[0] * level, value[1] * level};
}

namespace {

// The cubic interpolation of render() for both elements at once, followed by the scaling
// into the mix: mix[0..1] += value * level * volume2. Packed SSE2 arithmetic is IEEE
// arithmetic per element, so the results equal the scalar code's.
inline void interpolateInto(const StereoFrame *frames, int last, double position, float level,
                            float volume2, float *mix) noexcept
{
    const int whole = int(position);
    const float t = float(position - whole);
    const StereoFrame *ym1;
    const StereoFrame *y0;
    const StereoFrame *y1;
    const StereoFrame *y2;
    if (whole >= 1 && whole + 2 <= last) {
        ym1 = frames + whole - 1;
        y0 = ym1 + 1;
        y1 = ym1 + 2;
        y2 = ym1 + 3;
    } else {
        auto at = [&](int i) { return frames + (i < 0 ? 0 : (i > last ? last : i)); };
        ym1 = at(whole - 1);
        y0 = at(whole);
        y1 = at(whole + 1);
        y2 = at(whole + 2);
    }
#if defined(__SSE2__)
    auto load = [](const StereoFrame *f) {
        return _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double *>(f->data())));
    };
    const __m128 a = load(ym1);
    const __m128 b = load(y0);
    const __m128 c = load(y1);
    const __m128 d = load(y2);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 c1 = _mm_mul_ps(half, _mm_sub_ps(c, a));
    const __m128 c2 = _mm_sub_ps(_mm_add_ps(_mm_sub_ps(a, _mm_mul_ps(_mm_set1_ps(2.5f), b)),
                                            _mm_mul_ps(_mm_set1_ps(2.0f), c)),
                                 _mm_mul_ps(half, d));
    const __m128 c3 = _mm_add_ps(_mm_mul_ps(half, _mm_sub_ps(d, a)),
                                 _mm_mul_ps(_mm_set1_ps(1.5f), _mm_sub_ps(b, c)));
    const __m128 tt = _mm_set1_ps(t);
    __m128 v = _mm_add_ps(_mm_mul_ps(c3, tt), c2);
    v = _mm_add_ps(_mm_mul_ps(v, tt), c1);
    v = _mm_add_ps(_mm_mul_ps(v, tt), b);
    v = _mm_mul_ps(_mm_mul_ps(v, _mm_set1_ps(level)), _mm_set1_ps(volume2));
    double *slot = reinterpret_cast<double *>(mix);
    const __m128 sum = _mm_add_ps(_mm_castpd_ps(_mm_load_sd(slot)), v);
    _mm_store_sd(slot, _mm_castps_pd(sum));
#else
    for (int e = 0; e < 2; ++e) {
        const float c1 = 0.5f * ((*y1)[e] - (*ym1)[e]);
        const float c2 = (*ym1)[e] - 2.5f * (*y0)[e] + 2.0f * (*y1)[e] - 0.5f * (*y2)[e];
        const float c3 = 0.5f * ((*y2)[e] - (*ym1)[e]) + 1.5f * ((*y0)[e] - (*y1)[e]);
        const float value = ((c3 * t + c2) * t + c1) * t + (*y0)[e];
        mix[e] += value * level * volume2;
    }
#endif
}

} // namespace

int SamplerVoice::renderBlock(const StereoFrame *frames, int frameCount, float volume2, float *mix,
                              int count) noexcept
{
    // The state lives in locals for the loop: stores into the mix buffer could otherwise
    // alias the members and force a reload of every one of them on every frame.
    float gain = gain_;
    const float targetGain = targetGain_;
    const float gainStep = gainStep_;
    float frequency = frequency_;
    const float targetFrequency = targetFrequency_;
    const float frequencyStep = frequencyStep_;
    const float baseFrequency = baseFrequency_;
    double position = position_;
    double rate = rate_;
    const double step = step_;
    const bool fading = fading_;
    const bool reverse = reverse_;
    const bool looping = loop_ != 0;
    const double loopStart = loopStart_;
    const double loopEnd = loopEnd_;
    const bool pitched = voiceMode_ == 0;
    bool looped = looped_;
    bool playing = playing_;
    AdsrEnvelope envelope = envelope_;
    const double frameLimit = double(frameCount);
    const int last = frameCount - 1;

    int k = 0;
    bool fadeEnded = false;
    while (k < count) {
        // A held note: no fade, gain and frequency at their targets, the envelope in its
        // sustain. Every frame then has the same level and rate, and only the position
        // moves, so the loop below does just that part of the frame.
        if (!fading && gain == targetGain && frequency == targetFrequency &&
            envelope.state() == AdsrEnvelope::Sustain &&
            (!pitched || rate == double(frequency / baseFrequency))) {
            const float level = envelope.output() * gain * gain;
            bool stop = false;
            while (k < count && position >= 0.0 && position < frameLimit) {
                interpolateInto(frames, last, position, level, volume2, mix + 2 * k);
                ++k;
                if (!reverse) {
                    position += rate * step;
                    if (looping && position >= loopEnd) {
                        position = loopStart + (position - loopEnd);
                        looped = true;
                    }
                } else {
                    position -= rate * step;
                    if (looping && position < loopStart)
                        position = loopEnd - (loopStart - position);
                }
                if (position >= frameLimit || position < 0.0) {
                    playing = false;
                    position = 0.0;
                    // The frame's frequency step still sets the rate of a pitched voice.
                    rate = pitched ? double(frequency / baseFrequency) : 0.0;
                    stop = true;
                    break;
                }
            }
            if (stop || k == count)
                break;
        }

        // 1. Gain slew, or the fade before a queued note.
        if (!fading) {
            gain = moveToward(gain, targetGain, gainStep);
        } else if (gain <= 0.0f) {
            fadeEnded = true;
            ++k;
            break;
        } else {
            gain -= gainStep;
        }

        if (!(position >= 0.0 && position < frameLimit)) {
            playing = false;
            position = 0.0;
            rate = 0.0;
            fadeEnded = fading;
            ++k;
            break;
        }
        const double here = position;

        // 3. Advance, wrapping at the loop end.
        if (!reverse) {
            position += rate * step;
            if (looping && position >= loopEnd) {
                position = loopStart + (position - loopEnd);
                looped = true;
            }
        } else {
            position -= rate * step;
            if (looping && position < loopStart)
                position = loopEnd - (loopStart - position);
        }

        // 4, 5. Leaving the sample or an idle envelope ends the voice.
        if (position >= frameLimit || position < 0.0) {
            playing = false;
            position = 0.0;
            rate = 0.0;
        }
        if (envelope.state() == AdsrEnvelope::Idle)
            playing = false;

        // 6. Frequency slew.
        frequency = moveToward(frequency, targetFrequency, frequencyStep);
        if (pitched)
            rate = frequency / baseFrequency;

        // 2 and 7. The frame read at the old position, times envelope and gain, into the mix.
        const float level = envelope.process() * gain * gain;
        interpolateInto(frames, last, here, level, volume2, mix + 2 * k);
        ++k;
        if (!playing) {
            // An old sound that ends during its fade hands over to the queued note.
            fadeEnded = fading;
            break;
        }
    }

    gain_ = gain;
    frequency_ = frequency;
    position_ = position;
    rate_ = rate;
    looped_ = looped;
    playing_ = playing;
    envelope_ = envelope;
    if (fadeEnded)
        finishFade();
    return k;
}
