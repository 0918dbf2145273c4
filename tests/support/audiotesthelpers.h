// Signals and measurements shared by the sampler tests.
#pragma once

#include "audio/audiobackend.h"
#include "audio/korvaneaudioengine.h"
#include "audio/korvanesampler.h"

#include <cmath>
#include <vector>

namespace audiotest {

// The audio engine on an offline stream that the test drives.
struct Rig
{
    explicit Rig(bool withInput = true, bool failToOpen = false)
        : backend(new OfflineAudioBackend(withInput, failToOpen)),
          engine(std::unique_ptr<AudioBackend>(backend))
    {
    }
    OfflineAudioBackend *backend;
    KorvaneAudioEngine engine;
};

inline std::vector<StereoFrame> sine(double frequency, int frames, float level = 0.8f)
{
    std::vector<StereoFrame> out(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const float v = level * float(std::sin(2.0 * M_PI * frequency * i / 44100.0));
        out[size_t(i)] = {v, v};
    }
    return out;
}

inline SamplerSample sineSample(double frequency, int frames, int key = 69)
{
    SamplerSample s;
    s.frames = sine(frequency, frames);
    s.baseFrequency = frequency;
    s.key = key;
    s.loopEnd = frames;
    s.name = QStringLiteral("sine");
    return s;
}

inline std::vector<StereoFrame> render(KorvaneSampler &sampler, int frames)
{
    std::vector<StereoFrame> out(static_cast<size_t>(frames));
    for (int done = 0; done < frames; done += 512)
        sampler.render(out.data() + done, std::min(512, frames - done));
    return out;
}

inline std::vector<double> channel(const std::vector<StereoFrame> &frames, int element)
{
    std::vector<double> out;
    out.reserve(frames.size());
    for (const StereoFrame &f : frames)
        out.push_back(f[size_t(element)]);
    return out;
}

// The sounding part of a recording at `rate` Hz: from 100 ms after the first value above 0.01,
// a third of a second; empty when the recording holds less.
inline std::vector<double> soundingPart(const std::vector<double> &heard, double rate)
{
    size_t start = 0;
    while (start < heard.size() && std::fabs(heard[start]) < 0.01)
        ++start;
    const size_t from = start + size_t(rate / 10);
    const size_t to = from + size_t(rate / 3);
    if (to > heard.size())
        return {};
    return std::vector<double>(heard.begin() + long(from), heard.begin() + long(to));
}

// Frequency of a near-sinusoidal signal from its rising zero crossings (interpolated).
inline double zeroCrossingFrequency(const std::vector<double> &x, double rate = 44100.0)
{
    double first = -1.0;
    double last = -1.0;
    int count = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0 && x[i] >= 0.0) {
            const double t = double(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            if (first < 0.0)
                first = t;
            last = t;
            ++count;
        }
    }
    if (count < 2)
        return 0.0;
    return (count - 1) * rate / (last - first);
}

// Frequency of the strongest partial between lo and hi Hz: a Hann-windowed DFT scanned in
// steps of a twentieth of a semitone.
inline double strongestPartial(const std::vector<double> &x, double lo, double hi,
                               double rate = 44100.0)
{
    const size_t n = x.size();
    std::vector<double> w(n);
    for (size_t i = 0; i < n; ++i)
        w[i] = x[i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / double(n - 1)));
    double best = 0.0;
    double bestF = lo;
    for (double f = lo; f <= hi; f *= std::pow(2.0, 1.0 / 240.0)) {
        double re = 0.0;
        double im = 0.0;
        const double step = 2.0 * M_PI * f / rate;
        for (size_t i = 0; i < n; ++i) {
            re += w[i] * std::cos(step * double(i));
            im += w[i] * std::sin(step * double(i));
        }
        const double m = re * re + im * im;
        if (m > best) {
            best = m;
            bestF = f;
        }
    }
    return bestF;
}

inline double rms(const std::vector<double> &x, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += x[i] * x[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

// Checks the sounding part of a recording at `rate` Hz: loud enough and at the expected pitch.
// Empty when it is, else what is wrong.
inline QString judgeNote(const std::vector<double> &heard, double rate, double expected)
{
    const std::vector<double> part = soundingPart(heard, rate);
    if (part.empty())
        return QStringLiteral("the note was not heard (%1 frames)").arg(heard.size());
    const double level = rms(part, 0, part.size());
    const double f = zeroCrossingFrequency(part, rate);
    qInfo("heard at %.0f Hz: RMS %.3f, pitch %.2f Hz (expected %.2f)", rate, level, f, expected);
    if (level < 0.05)
        return QStringLiteral("too quiet: RMS %1").arg(level);
    if (std::fabs(f - expected) > 0.5)
        return QStringLiteral("wrong pitch: %1 Hz").arg(f);
    return QString();
}

inline double cents(double f, double reference)
{
    return 1200.0 * std::log2(f / reference);
}

} // namespace audiotest
