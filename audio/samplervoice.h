// One voice of the sampler: plays one sample with cubic interpolation, a gain slew, a
// frequency slew (pitch bend and pressure) and an amplitude envelope. A note started on a
// sounding voice waits until the old one has faded out. Plain C++; render() runs on the audio
// thread and never allocates.
#pragma once

#include "adsrenvelope.h"

#include <array>

using StereoFrame = std::array<float, 2>;

// 440 Hz at note 69, twelve notes per octave.
float noteFrequency(int note);
// Pitch-bend value (0..16383, centre 8192) to a frequency factor of 0.75..1.25, with a small
// dead zone around the centre.
double bendFactor(int bend);

struct VoiceNote
{
    bool perKey = false;
    int note = 60;
    int velocity = 0;
    double baseFrequency = 261.63;
    int loop = 0;
    int loopStart = 0;
    int loopEnd = 0;
    int start = 0;
    int bend = 8192;
};

class SamplerVoice
{
public:
    // Starts the note now when the voice is silent; otherwise releases the sounding note,
    // keeps playing oldSampleId while it fades, and starts the note afterwards. A note that
    // arrives while the voice already fades replaces the queued one; the fading sound keeps
    // its own sample.
    void startNote(const VoiceNote &note, int oldSampleId);
    // Releases the sounding note; during a fade it cancels the queued note instead.
    void release();
    // Ends a pending fade at once and starts the queued note, unless it was released.
    void finishFade();
    // Silences the voice at once.
    void stop();
    void setEnvelope(int attack, int decay, float sustain, int release);
    void setControllerMode(int mode) { controllerMode_ = mode; }
    // The rate the voice renders at; a sample's frames are at fileRate. The step through the
    // frames and the envelope's times follow, so pitch and length stay right. Call
    // setEnvelope() afterwards.
    void setStreamRate(double rate);
    static constexpr double fileRate = 44100.0;

    // A controller (type 1, number in `controller`), pressure (2), speed up/down (4, 5),
    // pitch bend (7), reverse (8) or scratch (9) change.
    void change(int type, int controller, int value);

    // Renders one frame from the given sample and advances.
    StereoFrame render(const StereoFrame *frames, int frameCount) noexcept;

    // Renders up to `count` frames of the same sample, frame by frame exactly as render()
    // does, adding each output frame times `volume2` to mix[2k] and mix[2k + 1]. Returns
    // after the frame in which the voice stopped playing or a fade ended (the queued note
    // then plays another sample, which the caller looks up again); returns the frames
    // consumed.
    int renderBlock(const StereoFrame *frames, int frameCount, float volume2, float *mix,
                    int count) noexcept;

    bool playing() const { return playing_; }
    bool fading() const { return fading_; }
    int fadingSampleId() const { return fadingSampleId_; }
    bool looped() const { return looped_; }
    int gate() const { return gate_; }
    int voiceMode() const { return voiceMode_; }
    bool reverse() const { return reverse_; }
    double position() const { return position_; }
    double rate() const { return rate_; }
    float gain() const { return gain_; }
    float targetGain() const { return targetGain_; }
    float frequency() const { return frequency_; }
    float targetFrequency() const { return targetFrequency_; }
    float noteFrequency() const { return noteFrequency_; }
    const AdsrEnvelope &envelope() const { return envelope_; }

private:
    void startNow(const VoiceNote &note);

    bool looped_ = false;
    int controllerMode_ = 0;
    int loop_ = 0;
    int loopStart_ = 0;
    int loopEnd_ = 0;
    int voiceMode_ = 0;
    bool playing_ = false;
    int gate_ = 0;
    float baseFrequency_ = 261.63f;
    float baseGain_ = 0.75f;
    float targetGain_ = 0.75f;
    float gain_ = 0.75f;
    float gainStep_ = 0.001f;
    float noteFrequency_ = 220.0f;
    float targetFrequency_ = 220.0f;
    float frequency_ = 220.0f;
    float frequencyStep_ = 0.01f;
    double position_ = 0.0;
    double rate_ = 0.0;
    double step_ = 1.0;      // file frames per output frame at rate_ 1
    double timeScale_ = 1.0; // output frames per file frame
    bool reverse_ = false;
    AdsrEnvelope envelope_;
    bool fading_ = false;
    int fadingSampleId_ = 0;
    VoiceNote pending_;
    bool pendingHeld_ = false;
};
