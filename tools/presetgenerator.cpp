// Builds the three preset instruments at build time from synthesis, so no recorded audio is
// shipped: a marimba (modal synthesis of a struck bar), an electric piano (two-operator FM)
// and a flute (harmonics with breath noise, looped seamlessly).
//
// Usage: varno-presetgen OUTPUT_DIR
// Writes "Marimba.kvi", "Electric Piano.kvi", "Flute.kvi" and presets.qrc into OUTPUT_DIR.
#include "audio/instrumentfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

const double sampleRate = 44100.0;
const double twoPi = 2.0 * M_PI;

double midiFrequency(int note)
{
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Peak of the mono mix scaled to `peak`; mono samples go out on both elements.
std::vector<StereoFrame> toFrames(std::vector<double> mono, double peak)
{
    double largest = 0.0;
    for (double v : mono)
        largest = std::max(largest, std::fabs(v));
    const double scale = largest > 0.0 ? peak / largest : 1.0;
    std::vector<StereoFrame> frames(mono.size());
    for (size_t i = 0; i < mono.size(); ++i) {
        const float v = float(mono[i] * scale);
        frames[i] = {v, v};
    }
    return frames;
}

void fadeOut(std::vector<double> &x, int frames)
{
    const int n = int(x.size());
    for (int i = std::max(0, n - frames); i < n; ++i) {
        const double t = double(n - 1 - i) / frames;
        x[size_t(i)] *= 0.5 - 0.5 * std::cos(M_PI * t);
    }
}

SamplerSample makeSample(int id, const QString &name, int key, double base,
                         std::vector<StereoFrame> frames)
{
    SamplerSample s;
    s.id = id;
    s.name = name;
    s.key = key;
    s.baseFrequency = base;
    s.frames = std::move(frames);
    s.loopEnd = int(s.frames.size());
    return s;
}

KorvaneInstrument baseInstrument()
{
    KorvaneInstrument ins;
    ins.samplerMode = 0;
    ins.envelope = KorvaneEnvelope{5, 20, 0.9f, 20};
    ins.reverb = KorvaneSamplerReverb{0.3f, 0.7f, 0.5f, -1.0f};
    ins.hasVolumes = false; // presets end after the reverb block
    return ins;
}

// A struck bar: a few inharmonic modes (the bar's tuned 1 : 4 : 10 series), each an
// exponentially decaying sine starting at zero phase; higher modes die faster, and a soft
// mallet rounds off the highest ones. A short filtered noise burst gives the mallet's knock.
std::vector<double> marimbaNote(double f0, double seconds, std::mt19937 &rng)
{
    const int n = int(seconds * sampleRate);
    std::vector<double> x(size_t(n), 0.0);
    const double ratios[] = {1.0, 3.984, 9.37, 16.1};
    const double levels[] = {1.0, 0.32, 0.11, 0.035};
    const double tau1 = seconds / 5.5;
    for (int m = 0; m < 4; ++m) {
        const double f = f0 * ratios[m];
        if (f > 0.45 * sampleRate)
            continue;
        const double mallet = 1.0 / (1.0 + std::pow(f / 3500.0, 2.0));
        const double tau = tau1 / (1.0 + 2.2 * m);
        const double w = twoPi * f / sampleRate;
        for (int i = 0; i < n; ++i)
            x[size_t(i)] +=
                levels[m] * mallet * std::exp(-i / (tau * sampleRate)) * std::sin(w * i);
    }
    // Mallet contact: about 1.5 ms of lowpassed noise with a raised-cosine shape.
    std::normal_distribution<double> noise(0.0, 1.0);
    const int knock = int(0.0015 * sampleRate);
    double lp = 0.0;
    for (int i = 0; i < knock && i < n; ++i) {
        lp += 0.25 * (noise(rng) - lp);
        x[size_t(i)] += 0.08 * lp * (0.5 - 0.5 * std::cos(twoPi * i / knock));
    }
    // A 1 ms rise keeps the first frames free of a click.
    const int rise = int(0.001 * sampleRate);
    for (int i = 0; i < rise && i < n; ++i)
        x[size_t(i)] *= double(i) / rise;
    fadeOut(x, int(0.02 * sampleRate));
    return x;
}

// Two operators: a sine carrier phase-modulated by a sine at the same frequency. The
// modulation index falls from a bright attack to a mellow tail, the classic tine sound. The
// level falls in two stages like a struck tine (a quick drop after the strike, then a long
// ring) and the last second eases the ring down to silence, so a held note never ends with
// a cut, however fast the sample is played.
std::vector<double> electricPianoNote(double f0, double seconds)
{
    const int n = int(seconds * sampleRate);
    std::vector<double> x(static_cast<size_t>(n));
    const double wc = twoPi * f0 / sampleRate;
    const double wm = twoPi * f0 / sampleRate;
    const double fadeFrom = seconds - 1.0;
    for (int i = 0; i < n; ++i) {
        const double t = i / sampleRate;
        const double index = 2.4 * std::exp(-t / 0.22) + 0.35;
        double amp =
            std::min(1.0, t / 0.002) * (0.55 * std::exp(-t / 0.35) + 0.45 * std::exp(-t / 1.5));
        if (t > fadeFrom)
            amp *= 0.5 + 0.5 * std::cos(M_PI * (t - fadeFrom));
        x[size_t(i)] = amp * std::sin(wc * i + index * std::sin(wm * i));
    }
    return x;
}

struct FluteNote
{
    std::vector<double> mono;
    double frequency; // exact: whole cycles per loop
    int loopStart;
    int loopEnd;
};

// Circular one-pole lowpass over a periodic buffer: run three passes and keep the last, so
// the result wraps around without a seam.
std::vector<double> circularLowpass(const std::vector<double> &in, double coef)
{
    std::vector<double> out(in.size());
    double y = 0.0;
    for (int pass = 0; pass < 3; ++pass)
        for (size_t i = 0; i < in.size(); ++i)
            out[i] = y += coef * (in[i] - y);
    return out;
}

// Harmonics with a gentle vibrato and breath noise. Everything after the attack repeats
// exactly every loop length (whole cycles of every harmonic, of the vibrato and of the noise),
// so the loop wraps without a click. The base frequency is the one actually sounding.
FluteNote fluteNote(double nominal, std::mt19937 &rng)
{
    const int loopLength = int(0.4 * sampleRate); // 17640 frames: 2.5 Hz steps
    const int attack = int(0.08 * sampleRate);
    const int tail = 64;
    const int n = attack + loopLength + tail;
    const double cycles = std::round(nominal * loopLength / sampleRate);
    const double f0 = cycles * sampleRate / loopLength;
    const double vibratoRate = 2.0 * sampleRate / loopLength; // 5 Hz, two cycles per loop
    const double vibratoDepth = 0.0035;                       // of the frequency

    const double harmonics[] = {1.0, 0.42, 0.2, 0.1, 0.05, 0.03, 0.015};
    std::vector<double> tone(size_t(loopLength), 0.0);
    for (int k = 1; k <= 7; ++k) {
        if (k * f0 > 9000.0)
            break;
        const double level = harmonics[k - 1] / (1.0 + (k > 1 ? f0 / 1200.0 : 0.0));
        for (int j = 0; j < loopLength; ++j) {
            const double phase =
                twoPi * k * cycles * j / loopLength +
                k * vibratoDepth * f0 / vibratoRate * std::sin(twoPi * 2.0 * j / loopLength);
            tone[size_t(j)] += level * std::sin(phase);
        }
    }
    // Breath: white noise, lowpassed, minus a lower lowpass (a band around 0.4-4 kHz),
    // following the tone's amplitude a little.
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> white(static_cast<size_t>(loopLength));
    for (double &v : white)
        v = noise(rng);
    const std::vector<double> upper = circularLowpass(white, 0.45);
    const std::vector<double> lower = circularLowpass(white, 0.055);
    std::vector<double> breath(static_cast<size_t>(loopLength));
    for (int j = 0; j < loopLength; ++j)
        breath[size_t(j)] =
            (upper[size_t(j)] - lower[size_t(j)]) * (0.6 + 0.4 * std::fabs(tone[size_t(j)]));

    FluteNote note;
    note.frequency = f0;
    note.loopStart = attack;
    note.loopEnd = attack + loopLength;
    note.mono.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        const int j = i % loopLength;
        // The tone swells in over 60 ms; an extra puff of breath ("chiff") dies out before
        // the loop starts.
        const double t = i / sampleRate;
        const double swell = t < 0.06 ? 0.5 - 0.5 * std::cos(M_PI * t / 0.06) : 1.0;
        const double chiff =
            i < attack ? 0.25 * std::exp(-t / 0.015) * std::pow(1.0 - double(i) / attack, 2.0)
                       : 0.0;
        note.mono[size_t(i)] =
            swell * (tone[size_t(j)] + 0.035 * breath[size_t(j)]) + chiff * breath[size_t(j)];
    }
    return note;
}

KorvaneInstrument marimba()
{
    std::mt19937 rng(1);
    KorvaneInstrument ins = baseInstrument();
    const int notes[] = {48, 55, 62, 69, 76, 83};
    const double seconds[] = {0.9, 0.75, 0.6, 0.5, 0.42, 0.35};
    for (int i = 0; i < 6; ++i) {
        const double f = midiFrequency(notes[i]);
        ins.samples.push_back(makeSample(i, QStringLiteral("Marimba %1").arg(notes[i]), notes[i], f,
                                         toFrames(marimbaNote(f, seconds[i], rng), 0.9)));
    }
    ins.nextSampleId = 6;
    return ins;
}

KorvaneInstrument electricPiano()
{
    KorvaneInstrument ins = baseInstrument();
    const double f = midiFrequency(60);
    ins.samples.push_back(makeSample(0, QStringLiteral("Electric Piano 60"), 60, f,
                                     toFrames(electricPianoNote(f, 5.0), 0.9)));
    ins.nextSampleId = 1;
    return ins;
}

KorvaneInstrument flute()
{
    std::mt19937 rng(7);
    KorvaneInstrument ins = baseInstrument();
    ins.envelope.release = 107;
    const int notes[] = {60, 65, 70, 75, 80, 85, 90};
    for (int i = 0; i < 7; ++i) {
        FluteNote note = fluteNote(midiFrequency(notes[i]), rng);
        SamplerSample s = makeSample(i, QStringLiteral("Flute %1").arg(notes[i]), notes[i],
                                     note.frequency, toFrames(note.mono, 0.9));
        s.loop = 1;
        s.loopStart = note.loopStart;
        s.loopEnd = note.loopEnd;
        ins.samples.push_back(std::move(s));
    }
    ins.nextSampleId = 7;
    return ins;
}

bool write(const QDir &dir, const QString &name, const KorvaneInstrument &ins)
{
    QString error;
    if (!writeInstrumentFile(dir.filePath(name), ins, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;
    if (!write(dir, QStringLiteral("Marimba.kvi"), marimba()) ||
        !write(dir, QStringLiteral("Electric Piano.kvi"), electricPiano()) ||
        !write(dir, QStringLiteral("Flute.kvi"), flute()))
        return 1;

    QFile qrc(dir.filePath(QStringLiteral("presets.qrc")));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QTextStream out(&qrc);
    out << "<RCC>\n  <qresource prefix=\"/sounds/presets\">\n";
    for (const char *name : {"Marimba.kvi", "Electric Piano.kvi", "Flute.kvi"})
        out << "    <file>" << name << "</file>\n";
    out << "  </qresource>\n</RCC>\n";
    return 0;
}
