// Plays every note of the device's range (C1 to C8) on an instrument file as the sampler does,
// writes the notes one after another into a WAV file for listening, and prints per note the
// sample used, the level, how long the note sounds and how it ends.
//
// Usage: varno-presetcheck INSTRUMENT.kvi OUTPUT.wav [HOLD_SECONDS]
#include "audio/instrumentfile.h"
#include "audio/korvanesampler.h"

#include <sndfile.h>

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

double db(double v)
{
    return 20.0 * std::log10(std::max(v, 1e-9));
}

double rmsOf(const std::vector<float> &x, size_t from, size_t to)
{
    to = std::min(to, x.size());
    if (from >= to)
        return 0.0;
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(to - from));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s INSTRUMENT.kvi OUTPUT.wav [HOLD_SECONDS]\n", argv[0]);
        return 2;
    }
    KorvaneInstrument ins;
    QString error;
    if (!readInstrumentFile(QString::fromLocal8Bit(argv[1]), ins, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double hold = argc > 3 ? std::atof(argv[3]) : 4.5;
    const int rate = 44100;
    const int held = int(hold * rate);
    const int after = rate; // one second after the note-off
    KorvaneSampler sampler;
    sampler.setSamplerMode(ins.samplerMode);
    sampler.addSamples(ins.samples, true);
    sampler.setEnvelope(ins.envelope);
    sampler.setReverb(ins.reverb);
    sampler.setMasterVolume(1.0f);

    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *wav = sf_open(argv[2], SFM_WRITE, &info);
    if (!wav) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("note sample  peak_dB  rms50_dB  sounds_s  end_dB  step_dB\n");
    double previous = 0.0;
    for (int note = 24; note <= 108; ++note) {
        sampler.allNotesOff();
        sampler.noteOn(0, note, 100);
        const int sampleId = sampler.voiceSlot(0).sampleId;
        std::vector<float> x;
        x.reserve(size_t(held + after));
        int stopped = -1;
        StereoFrame block[256];
        for (int done = 0; done < held + after; done += 256) {
            if (done >= held && sampler.voiceSlot(0).note == note)
                sampler.noteOff(0, note);
            sampler.render(block, 256);
            for (const StereoFrame &f : block)
                x.push_back(0.5f * (f[0] + f[1]));
            if (stopped < 0 && !sampler.voiceSlot(0).voice.playing())
                stopped = done + 256;
        }
        double peak = 0.0;
        for (float v : x)
            peak = std::max(peak, double(std::fabs(v)));
        const double start = rmsOf(x, 0, size_t(0.05 * rate));
        // How long the note stays within 60 dB of its start, and its level in the 20 ms
        // before the voice stopped (a cut when it is still loud then).
        size_t sounding = 0;
        for (size_t i = 0; i + 441 <= x.size(); i += 441)
            if (rmsOf(x, i, i + 441) > start * 1e-3)
                sounding = i + 441;
        const double end = stopped > 0 ? rmsOf(x, size_t(std::max(0, stopped - 1300)),
                                               size_t(std::max(0, stopped - 400)))
                                       : 0.0;
        std::printf("%4d %6d %8.1f %10.1f %9.2f %7.1f %8.1f\n", note, sampleId, db(peak), db(start),
                    double(sounding) / rate, stopped > 0 ? db(end / start) : -999.0,
                    note > 24 ? db(start) - db(previous) : 0.0);
        previous = start;
        sf_writef_float(wav, x.data(), sf_count_t(x.size()));
    }
    sf_close(wav);
    return 0;
}
