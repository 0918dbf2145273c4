#include "adsrenvelope.h"

#include <algorithm>
#include <cmath>

namespace {

const double targetRatioA = 0.05;
const double targetRatioDR = 0.0001;

double coef(double rate, double ratio)
{
    // A rate of 0 jumps straight to the target.
    if (rate <= 0.0)
        return 0.0;
    return std::exp(-std::log((1.0 + ratio) / ratio) / rate);
}

} // namespace

double AdsrEnvelope::releaseFrames(int release)
{
    const double r = std::max(release, 0);
    return r < 512 ? 500.0 * r : r * (r + 244.0);
}

void AdsrEnvelope::init(int attack, int decay, float sustain, int release, double frameScale)
{
    // Negative times would make the stages diverge instead of converging.
    attackRate_ = float(200.0 * std::max(attack, 0) * frameScale);
    decayRate_ = float(200.0 * std::max(decay, 0) * frameScale);
    releaseRate_ = float(releaseFrames(release) * frameScale);
    // The decay stage falls towards the sustain level, which must lie between silence and
    // the attack's peak (a larger one would grow without end).
    sustain = std::isfinite(sustain) ? std::clamp(sustain, 0.0f, 1.0f) : 0.0f;
    sustainLevel_ = sustain;

    const double ac = coef(attackRate_, targetRatioA);
    attackCoef_ = float(ac);
    attackBase_ = float((1.0 + targetRatioA) * (1.0 - ac));
    const double dc = coef(decayRate_, targetRatioDR);
    decayCoef_ = float(dc);
    decayBase_ = float((sustain - targetRatioDR) * (1.0 - dc));
    const double rc = coef(releaseRate_, targetRatioDR);
    releaseCoef_ = float(rc);
    releaseBase_ = float(-targetRatioDR * (1.0 - rc));
}
