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

// A sine at 0.8 in both channels, named "sine", whose loop (when switched on) is the whole.
inline SamplerSample sineSample(double frequency, int frames, int key = 69)
{
    SamplerSample s;
    for (int i = 0; i < frames; ++i) {
        const float v = 0.8f * float(std::sin(2.0 * M_PI * frequency * i / 44100.0));
        s.frames.push_back({v, v});
    }
    s.baseFrequency = frequency;
    s.key = key;
    s.loopEnd = frames;
    s.name = QStringLiteral("sine");
    return s;
}

// `count` sines at f, 2f, 3f... of `frames` frames, named "layer N", keyed from 60, at volume 0.5.
inline KorvaneInstrument sineInstrument(int count, double f = 440.0, int frames = 44100)
{
    KorvaneInstrument ins;
    for (int i = 0; i < count; ++i) {
        ins.samples.push_back(sineSample(f * (i + 1), frames, 60 + i));
        ins.samples.back().name = QStringLiteral("layer %1").arg(i);
        ins.samples.back().volume = 0.5f;
    }
    return ins;
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
    for (const StereoFrame &f : frames)
        out.push_back(f[size_t(element)]);
    return out;
}

// Frequency of a near-sinusoidal signal from its rising zero crossings (interpolated).
inline double zeroCrossingFrequency(const std::vector<double> &x, double rate = 44100.0)
{
    double first = -1.0;
    double last = -1.0;
    int count = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0 && x[i] >= 0.0) {
            last = double(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            first = first < 0.0 ? last : first;
            ++count;
        }
    }
    return count < 2 ? 0.0 : (count - 1) * rate / (last - first);
}

inline double rms(const std::vector<double> &x, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += x[i] * x[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

// Checks a recording at `rate` Hz from 100 ms after the first value above 0.01, for a third of
// a second: loud enough and at the expected pitch. Empty when it is, else what is wrong.
inline QString judgeNote(const std::vector<double> &heard, double rate, double expected)
{
    size_t start = 0;
    while (start < heard.size() && std::fabs(heard[start]) < 0.01)
        ++start;
    const size_t from = start + size_t(rate / 10), to = from + size_t(rate / 3);
    if (to > heard.size())
        return QStringLiteral("the note was not heard (%1 frames)").arg(heard.size());
    const std::vector<double> part(heard.begin() + long(from), heard.begin() + long(to));
    const double level = rms(part, 0, part.size());
    const double f = zeroCrossingFrequency(part, rate);
    qInfo("heard at %.0f Hz: RMS %.3f, pitch %.2f Hz (expected %.2f)", rate, level, f, expected);
    if (level < 0.05)
        return QStringLiteral("too quiet: RMS %1").arg(level);
    if (std::fabs(f - expected) > 0.5)
        return QStringLiteral("wrong pitch: %1 Hz").arg(f);
    return QString();
}

} // namespace audiotest
