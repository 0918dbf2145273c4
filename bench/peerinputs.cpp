// Writes the inputs the peer renderers need to play the benchmark's sound: the same 2-second
// 440 Hz sample as a SoundFont (sine.sf2) for FluidSynth, a stereo WAV (sine.wav) with a
// SynthDef (varnovoice.scsyndef) and an NRT score for scsynth, and MIDI files that hold
// `voices` notes for `seconds` seconds. Each comes with an empty twin of the same length, so
// the peers' fixed costs (start-up, file writing) cancel out of the per-voice figure.
//
// Usage: varno-peerinputs DIR VOICES SECONDS
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const int kRate = 44100;
const int kFrames = 2 * kRate; // 880 whole periods of 440 Hz: the loop is seamless
const double kFrequency = 440.0;

void le16(Bytes &b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void le32(Bytes &b, uint32_t v)
{
    le16(b, v & 0xffff);
    le16(b, v >> 16);
}
void be16(Bytes &b, uint32_t v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void be32(Bytes &b, uint32_t v)
{
    be16(b, v >> 16);
    be16(b, v & 0xffff);
}
void beFloat(Bytes &b, float f)
{
    uint32_t v;
    std::memcpy(&v, &f, 4);
    be32(b, v);
}
void append(Bytes &b, const Bytes &more)
{
    b.insert(b.end(), more.begin(), more.end());
}
void text(Bytes &b, const std::string &s)
{
    b.insert(b.end(), s.begin(), s.end());
}
void fixedName(Bytes &b, const std::string &s, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        b.push_back(i < s.size() ? uint8_t(s[i]) : 0);
}

bool writeFile(const std::string &path, const Bytes &b)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
    return bool(f);
}

float sineAt(int i)
{
    return 0.8f * float(std::sin(2.0 * M_PI * kFrequency * double(i) / kRate));
}

// ---------------------------------------------------------------- RIFF

Bytes chunk(const std::string &id, const Bytes &data)
{
    Bytes b;
    text(b, id);
    le32(b, uint32_t(data.size()));
    append(b, data);
    if (data.size() % 2)
        b.push_back(0);
    return b;
}

Bytes list(const std::string &type, const std::vector<Bytes> &chunks)
{
    Bytes body;
    text(body, type);
    for (const Bytes &c : chunks)
        append(body, c);
    return chunk("LIST", body);
}

// A SoundFont 2.01 file with one preset, one instrument and one looped mono sample rooted
// at note 69.
Bytes soundFont()
{
    Bytes ifil;
    le16(ifil, 2);
    le16(ifil, 1);
    Bytes isng;
    text(isng, "EMU8000");
    isng.push_back(0);
    Bytes inam;
    text(inam, "varno bench");
    inam.push_back(0);
    const Bytes info =
        list("INFO", {chunk("ifil", ifil), chunk("isng", isng), chunk("INAM", inam)});

    Bytes smpl;
    for (int i = 0; i < kFrames; ++i)
        le16(smpl, uint16_t(int16_t(std::lround(sineAt(i) * 32767.0f))));
    for (int i = 0; i < 46; ++i) // the format's zero tail after every sample
        le16(smpl, 0);
    const Bytes sdta = list("sdta", {chunk("smpl", smpl)});

    Bytes phdr;
    fixedName(phdr, "sine", 20);
    le16(phdr, 0); // preset
    le16(phdr, 0); // bank
    le16(phdr, 0); // first bag
    le32(phdr, 0);
    le32(phdr, 0);
    le32(phdr, 0);
    fixedName(phdr, "EOP", 20);
    le16(phdr, 0);
    le16(phdr, 0);
    le16(phdr, 1);
    le32(phdr, 0);
    le32(phdr, 0);
    le32(phdr, 0);
    Bytes pbag;
    le16(pbag, 0);
    le16(pbag, 0);
    le16(pbag, 1);
    le16(pbag, 0);
    const Bytes pmod(10, 0);
    Bytes pgen;
    le16(pgen, 41); // instrument
    le16(pgen, 0);
    le32(pgen, 0);
    Bytes inst;
    fixedName(inst, "sine", 20);
    le16(inst, 0);
    fixedName(inst, "EOI", 20);
    le16(inst, 1);
    Bytes ibag;
    le16(ibag, 0);
    le16(ibag, 0);
    le16(ibag, 3);
    le16(ibag, 0);
    const Bytes imod(10, 0);
    Bytes igen;
    le16(igen, 54); // sampleModes: loop continuously
    le16(igen, 1);
    le16(igen, 58); // overridingRootKey
    le16(igen, 69);
    le16(igen, 53); // sampleID, last in the zone
    le16(igen, 0);
    le32(igen, 0);
    Bytes shdr;
    fixedName(shdr, "sine", 20);
    le32(shdr, 0);
    le32(shdr, kFrames);
    le32(shdr, 0);
    le32(shdr, kFrames);
    le32(shdr, kRate);
    shdr.push_back(69);
    shdr.push_back(0);
    le16(shdr, 0);
    le16(shdr, 1); // mono
    fixedName(shdr, "EOS", 20);
    for (int i = 0; i < 5; ++i)
        le32(shdr, 0);
    shdr.push_back(0);
    shdr.push_back(0);
    le16(shdr, 0);
    le16(shdr, 0);
    const Bytes pdta =
        list("pdta", {chunk("phdr", phdr), chunk("pbag", pbag), chunk("pmod", pmod),
                      chunk("pgen", pgen), chunk("inst", inst), chunk("ibag", ibag),
                      chunk("imod", imod), chunk("igen", igen), chunk("shdr", shdr)});
    Bytes body;
    text(body, "sfbk");
    append(body, info);
    append(body, sdta);
    append(body, pdta);
    return chunk("RIFF", body);
}

// A stereo 32-bit float WAV of the same sine in both channels.
Bytes stereoWav()
{
    Bytes fmt;
    le16(fmt, 3); // IEEE float
    le16(fmt, 2);
    le32(fmt, kRate);
    le32(fmt, kRate * 8);
    le16(fmt, 8);
    le16(fmt, 32);
    Bytes data;
    for (int i = 0; i < kFrames; ++i) {
        uint32_t v;
        const float f = sineAt(i);
        std::memcpy(&v, &f, 4);
        le32(data, v);
        le32(data, v);
    }
    Bytes body;
    text(body, "WAVE");
    append(body, chunk("fmt ", fmt));
    append(body, chunk("data", data));
    return chunk("RIFF", body);
}

// ---------------------------------------------------------------- MIDI

void vlq(Bytes &b, uint32_t v)
{
    uint8_t tmp[5];
    int n = 0;
    tmp[n++] = uint8_t(v & 0x7f);
    while (v >>= 7)
        tmp[n++] = uint8_t((v & 0x7f) | 0x80);
    while (n)
        b.push_back(tmp[--n]);
}

// Format 0, 480 ticks per quarter at 120 bpm: 960 ticks per second.
Bytes midiFile(int voices, double seconds)
{
    Bytes track;
    vlq(track, 0);
    append(track, {0xff, 0x51, 0x03, 0x07, 0xa1, 0x20});
    for (int v = 0; v < voices; ++v) {
        vlq(track, 0);
        append(track, {0x90, uint8_t(60 + v), 127});
    }
    uint32_t delta = uint32_t(std::lround(seconds * 960.0));
    for (int v = 0; v < voices; ++v) {
        vlq(track, delta);
        append(track, {0x80, uint8_t(60 + v), 0});
        delta = 0;
    }
    vlq(track, delta);
    append(track, {0xff, 0x2f, 0x00});
    Bytes b;
    text(b, "MThd");
    be32(b, 6);
    be16(b, 0);
    be16(b, 1);
    be16(b, 480);
    text(b, "MTrk");
    be32(b, uint32_t(track.size()));
    append(b, track);
    return b;
}

// ---------------------------------------------------------------- scsynth

void pstring(Bytes &b, const std::string &s)
{
    b.push_back(uint8_t(s.size()));
    text(b, s);
}

// SynthDef (format 2) "varnovoice": PlayBuf.ar(2, bufnum, BufRateScale.kr(bufnum) * rate,
// loop: 1) (PlayBuf interpolates cubically) times EnvGen.ar(Env.adsr(0.01, 0.3, 0.9, 0.1),
// gate) times amp, to Out.ar(0): the same per-voice work as the sampler's voice.
Bytes synthDef()
{
    std::vector<float> constants;
    auto constant = [&](float v) {
        for (size_t i = 0; i < constants.size(); ++i)
            if (constants[i] == v)
                return int(i);
        constants.push_back(v);
        return int(constants.size() - 1);
    };
    struct Input
    {
        int ugen;
        int index;
    };
    struct UGen
    {
        std::string name;
        int rate;
        std::vector<Input> inputs;
        int outputs;
        int special;
    };
    auto k = [&](float v) { return Input{-1, constant(v)}; };
    std::vector<UGen> ugens;
    // Controls: 0 rate, 1 amp, 2 gate, 3 bufnum.
    ugens.push_back({"Control", 1, {}, 4, 0});
    ugens.push_back({"BufRateScale", 1, {{0, 3}}, 1, 0});
    ugens.push_back({"BinaryOpUGen", 1, {{1, 0}, {0, 0}}, 1, 2}); // 2: scale * rate
    ugens.push_back(
        {"PlayBuf", 2, {{0, 3}, {2, 0}, k(1.0f), k(0.0f), k(1.0f), k(0.0f)}, 2, 0}); // 3
    std::vector<Input> env = {{0, 2}, k(1.0f), k(0.0f), k(1.0f), k(0.0f)};
    const float shape[] = {0.0f, 3.0f, 2.0f, -99.0f, 1.0f, 0.01f, 5.0f, -4.0f,
                           0.9f, 0.3f, 5.0f, -4.0f,  0.0f, 0.1f,  5.0f, -4.0f};
    for (float v : shape)
        env.push_back(k(v));
    ugens.push_back({"EnvGen", 2, env, 1, 0});                    // 4
    ugens.push_back({"BinaryOpUGen", 2, {{4, 0}, {0, 1}}, 1, 2}); // 5: env * amp
    ugens.push_back({"BinaryOpUGen", 2, {{3, 0}, {5, 0}}, 1, 2}); // 6
    ugens.push_back({"BinaryOpUGen", 2, {{3, 1}, {5, 0}}, 1, 2}); // 7
    ugens.push_back({"Out", 2, {k(0.0f), {6, 0}, {7, 0}}, 0, 0}); // 8

    Bytes b;
    text(b, "SCgf");
    be32(b, 2);
    be16(b, 1);
    pstring(b, "varnovoice");
    be32(b, uint32_t(constants.size()));
    for (float c : constants)
        beFloat(b, c);
    const float initial[] = {1.0f, 0.1f, 1.0f, 0.0f};
    const char *names[] = {"rate", "amp", "gate", "bufnum"};
    be32(b, 4);
    for (float v : initial)
        beFloat(b, v);
    be32(b, 4);
    for (int i = 0; i < 4; ++i) {
        pstring(b, names[i]);
        be32(b, uint32_t(i));
    }
    be32(b, uint32_t(ugens.size()));
    for (const UGen &u : ugens) {
        pstring(b, u.name);
        b.push_back(uint8_t(u.rate));
        be32(b, uint32_t(u.inputs.size()));
        be32(b, uint32_t(u.outputs));
        be16(b, uint32_t(u.special));
        for (const Input &in : u.inputs) {
            be32(b, uint32_t(in.ugen));
            be32(b, uint32_t(in.index));
        }
        for (int o = 0; o < u.outputs; ++o)
            b.push_back(uint8_t(u.rate));
    }
    be16(b, 0); // variants
    return b;
}

void oscString(Bytes &b, const std::string &s)
{
    text(b, s);
    b.push_back(0);
    while (b.size() % 4)
        b.push_back(0);
}

struct OscArg
{
    char type;
    int i = 0;
    float f = 0.0f;
    std::string s;
};

Bytes oscMessage(const std::string &address, const std::vector<OscArg> &args)
{
    Bytes b;
    oscString(b, address);
    std::string tags = ",";
    for (const OscArg &a : args)
        tags += a.type;
    oscString(b, tags);
    for (const OscArg &a : args) {
        if (a.type == 'i')
            be32(b, uint32_t(a.i));
        else if (a.type == 'f')
            beFloat(b, a.f);
        else
            oscString(b, a.s);
    }
    return b;
}

OscArg oi(int v)
{
    OscArg a;
    a.type = 'i';
    a.i = v;
    return a;
}
OscArg of(float v)
{
    OscArg a;
    a.type = 'f';
    a.f = v;
    return a;
}
OscArg os(const std::string &v)
{
    OscArg a;
    a.type = 's';
    a.s = v;
    return a;
}

// One score entry: a bundle at `time` seconds, preceded by its size as NRT mode reads it.
void bundle(Bytes &score, double time, const std::vector<Bytes> &messages)
{
    Bytes b;
    oscString(b, "#bundle");
    const uint64_t tag = uint64_t(time * 4294967296.0);
    be32(b, uint32_t(tag >> 32));
    be32(b, uint32_t(tag));
    for (const Bytes &m : messages) {
        be32(b, uint32_t(m.size()));
        append(b, m);
    }
    be32(score, uint32_t(b.size()));
    append(score, b);
}

Bytes score(const std::string &dir, int voices, double seconds)
{
    Bytes s;
    bundle(s, 0.0,
           {oscMessage("/d_load", {os(dir + "/varnovoice.scsyndef")}),
            oscMessage("/b_allocRead", {oi(0), os(dir + "/sine.wav")})});
    std::vector<Bytes> notes;
    for (int v = 0; v < voices; ++v) {
        const float rate = float(std::pow(2.0, (60 + v - 69) / 12.0));
        notes.push_back(oscMessage("/s_new", {os("varnovoice"), oi(1000 + v), oi(0), oi(0),
                                              os("rate"), of(rate), os("amp"), of(0.05f)}));
    }
    // The voices start one control block in, after the buffer has been read.
    const double start = 64.0 / kRate;
    if (!notes.empty())
        bundle(s, start, notes);
    bundle(s, start + seconds, {oscMessage("/c_set", {oi(0), of(0.0f)})});
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DIR VOICES SECONDS\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const int voices = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    bool ok = writeFile(dir + "/sine.sf2", soundFont());
    ok = ok && writeFile(dir + "/sine.wav", stereoWav());
    ok = ok && writeFile(dir + "/notes.mid", midiFile(voices, seconds));
    ok = ok && writeFile(dir + "/empty.mid", midiFile(0, seconds));
    ok = ok && writeFile(dir + "/varnovoice.scsyndef", synthDef());
    ok = ok && writeFile(dir + "/score.osc", score(dir, voices, seconds));
    ok = ok && writeFile(dir + "/empty-score.osc", score(dir, 0, seconds));
    if (!ok) {
        std::fprintf(stderr, "could not write the peer inputs into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
