// Stereo reverb at the end of the sampler's mix: eight lowpass-feedback combs and four
// all-passes per channel (the Freeverb structure and tuning). Plain C++, no allocation after
// construction; process() is called on the audio thread.
#pragma once

#include <array>
#include <vector>

class SamplerReverb
{
public:
    // Delay lengths are tuned for 44100 Hz and scale with the rate, so the room sounds the
    // same at any rate.
    explicit SamplerReverb(double sampleRate = 44100.0);
    // Resizes and empties the delay lines for another rate (allocates: not on the audio thread).
    void setSampleRate(double sampleRate);

    // room, damp and width in 0..1, amount from -1 (dry only) to 1 (wet only); mode >= 0.5
    // freezes the tail.
    void set(float room, float damp, float width, float amount, float mode);

    // One stereo frame in, one out.
    void process(float inL, float inR, float &outL, float &outR) noexcept;
    // The same for `count` frames in place; the results equal process() frame by frame.
    void processBlock(std::array<float, 2> *frames, int count) noexcept;

    // Empties every delay line.
    void clear();

    float roomSize() const { return roomsize_; }
    float damping() const { return damp_; }
    float wet() const { return wet_; }
    float dry() const { return dry_; }
    float wet1() const { return wet1_; }
    float wet2() const { return wet2_; }
    float gain() const { return gain_; }
    float combFeedback() const { return combs_[0][0].feedback; }
    float combDamping() const { return combs_[0][0].damp; }
    int combLength(int channel, int index) const
    {
        return int(combs_[channel][index].buffer.size());
    }

private:
    struct Comb
    {
        std::vector<float> buffer;
        int index = 0;
        float feedback = 0.0f;
        float damp = 0.0f;
        float filterstore = 0.0f;
    };
    struct Allpass
    {
        std::vector<float> buffer;
        int index = 0;
    };
    static constexpr int CombCount = 8;
    static constexpr int AllpassCount = 4;
    static constexpr int MaxRun = 256; // frames per run of processBlock, on the stack

    void update();
    static float combStep(Comb &c, float input) noexcept;
    static float allpassStep(Allpass &a, float input) noexcept;
    void processRun(std::array<float, 2> *frames, int count) noexcept;

    std::array<std::array<Comb, CombCount>, 2> combs_;
    std::array<std::array<Allpass, AllpassCount>, 2> allpasses_;
    float roomsize_ = 0.0f;
    float damp_ = 0.0f;
    float wet_ = 0.0f;
    float dry_ = 0.0f;
    float width_ = 0.0f;
    float mode_ = 0.0f;
    float gain_ = 0.0f;
    float wet1_ = 0.0f;
    float wet2_ = 0.0f;
};
