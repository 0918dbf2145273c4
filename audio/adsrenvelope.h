// Exponential attack-decay-sustain-release envelope, one step per frame. Attack, decay and
// release are given in units of 200 frames at 44100 Hz; releases of 512 and above grow
// quadratically.
#pragma once

class AdsrEnvelope
{
public:
    enum State
    {
        Idle = 0,
        Attack = 1,
        Decay = 2,
        Sustain = 3,
        Release = 4
    };

    AdsrEnvelope() { init(2, 20, 0.9f, 20); }

    // Recomputes rates and coefficients; the current state and output are kept. frameScale
    // stretches the times for rates other than 44100 Hz (rate / 44100).
    void init(int attack, int decay, float sustain, int release, double frameScale = 1.0);
    void gate(bool on) { state_ = on ? Attack : Release; }
    // Forces the envelope silent.
    void reset()
    {
        state_ = Idle;
        output_ = 0.0f;
    }
    // Advances one frame and returns the new output.
    float process() noexcept
    {
        switch (state_) {
        case Idle:
        case Sustain:
            break;
        case Attack:
            output_ = attackBase_ + output_ * attackCoef_;
            if (output_ >= 1.0f) {
                output_ = 1.0f;
                state_ = Decay;
            }
            break;
        case Decay:
            output_ = decayBase_ + output_ * decayCoef_;
            if (output_ <= sustainLevel_) {
                output_ = sustainLevel_;
                state_ = Sustain;
            }
            break;
        case Release:
            output_ = releaseBase_ + output_ * releaseCoef_;
            if (output_ <= 0.0f) {
                output_ = 0.0f;
                state_ = Idle;
            }
            break;
        }
        return output_;
    }

    State state() const { return state_; }
    float output() const { return output_; }
    float attackRate() const { return attackRate_; }
    float decayRate() const { return decayRate_; }
    float releaseRate() const { return releaseRate_; }

    static double releaseFrames(int release);

private:
    State state_ = Idle;
    float output_ = 0.0f;
    float attackRate_ = 0.0f;
    float decayRate_ = 0.0f;
    float releaseRate_ = 0.0f;
    float sustainLevel_ = 0.0f;
    float attackCoef_ = 0.0f;
    float decayCoef_ = 0.0f;
    float releaseCoef_ = 0.0f;
    float attackBase_ = 0.0f;
    float decayBase_ = 0.0f;
    float releaseBase_ = 0.0f;
};
