// Instrument file reader: any bytes are either refused, or give an instrument that writes back
// to bytes read as the same instrument, and that the sampler loads and plays without reading
// outside its frames (hostile loop points, start frames, keys and envelopes included).
#include "audio/instrumentfile.h"
#include "audio/korvanesampler.h"

#include <QtGlobal>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

bool sameSamples(const KorvaneInstrument &a, const KorvaneInstrument &b)
{
    if (a.samples.size() != b.samples.size())
        return false;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        const SamplerSample &x = a.samples[i];
        const SamplerSample &y = b.samples[i];
        if (x.id != y.id || x.loop != y.loop || x.loopStart != y.loopStart ||
            x.loopEnd != y.loopEnd || x.key != y.key || x.start != y.start || x.name != y.name ||
            x.frames != y.frames || x.volume != y.volume ||
            std::memcmp(&x.baseFrequency, &y.baseFrequency, sizeof(double)) != 0)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    KorvaneInstrument ins;
    QString error;
    if (!parseInstrument(bytes, ins, &error)) {
        if (error.isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    // Every frame counted was in the file.
    size_t frames = 0;
    for (const SamplerSample &s : ins.samples)
        frames += s.frames.size();
    if (frames * 8 > size)
        std::abort();

    // Written back with the volumes block, it reads as the same samples.
    KorvaneInstrument written = ins;
    written.hasVolumes = true;
    KorvaneInstrument again;
    if (!parseInstrument(serializeInstrument(written), again, &error) || !sameSamples(ins, again))
        std::abort();

    // The sampler takes it and plays every key it may map, in both modes.
    static KorvaneSampler sampler(44100.0, 4);
    sampler.setReady(false);
    sampler.allNotesOff();
    sampler.flushMemory();
    sampler.setSamplerMode(ins.samplerMode);
    sampler.addSamples(ins.samples, true);
    if (ins.hasEnvelope)
        sampler.setEnvelope(ins.envelope);
    if (ins.hasReverb)
        sampler.setReverb(ins.reverb);
    sampler.setReady(true);
    StereoFrame out[64];
    for (int round = 0; round < 2; ++round) {
        for (const SamplerSample &s : ins.samples)
            sampler.noteOn(0, s.key & 0x7F, 100);
        sampler.noteOn(0, 60, 127);
        sampler.change(0, 0, 7, 16383);
        sampler.change(0, 127, 8, 1);
        for (int b = 0; b < 4; ++b) {
            sampler.render(out, 64);
            for (const StereoFrame &f : out)
                if (!std::isfinite(f[0]) || !std::isfinite(f[1]))
                    std::abort();
        }
        if (!ins.samples.empty())
            sampler.previewPlay(ins.samples[0].id);
        sampler.render(out, 64);
        sampler.setSamplerMode(1 - (ins.samplerMode != 0));
    }
    return 0;
}
