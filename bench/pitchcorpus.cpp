// Pitch estimate on real recorded instruments. scripts/pitch-corpus drives it in three steps:
//
//   varno-pitchcorpus midi DIR    one MIDI file per instrument (DIR/<name>.mid), a note every
//                                 three seconds across the instrument's range
//   varno-pitchcorpus cut DIR     from FluidSynth's renders (DIR/<name>.wav): every note as a
//                                 file alone (DIR/import/) and as a recording, room noise and
//                                 then the note (DIR/recording/); DIR/manifest.txt lists them
//   varno-pitchcorpus score DIR   our estimate on every file, through the import path or the
//                                 recording path, beside the YIN estimate that the script left
//                                 in DIR/yin/<file>.txt (aubiopitch output); prints both scores
//
// A note counts as right within a quarter tone of its true pitch; an octave error is a note
// within a quarter tone of one or two octaves off.
#include "audio/audiobackend.h"
#include "audio/korvaneaudioengine.h"
#include "audio/sampleimport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

namespace {

const int kRate = 44100;
const double kNoteSeconds = 3.0; // note-on to the next note-on
const double kHoldSeconds = 2.0; // note-on to note-off
const double kNoiseSeconds = 0.8;

struct Instrument
{
    const char *name;
    int program; // General MIDI, 0-based
    int low, high, step;
};

// Every instrument across its usual range. The organ is the reed organ: the SoundFont's drawbar
// organs sound sixteen-foot stops and its church organ a sub-octave rank on part of its range,
// waveforms that repeat only after two or four of the key's periods, so their pitch is no
// measure of an estimate.
const Instrument kInstruments[] = {
    {"piano", 0, 24, 96, 6},       {"epiano", 4, 36, 84, 4},    {"guitar", 24, 40, 76, 3},
    {"bass", 32, 28, 55, 3},       {"violin", 40, 55, 91, 3},   {"cello", 42, 36, 72, 3},
    {"flute", 73, 60, 96, 3},      {"clarinet", 71, 50, 86, 3}, {"saxophone", 65, 49, 81, 3},
    {"trumpet", 56, 54, 82, 3},    {"organ", 20, 36, 84, 4},    {"marimba", 12, 45, 96, 4},
    {"vibraphone", 11, 53, 89, 3}, {"choir", 52, 48, 79, 3},    {"voice", 53, 48, 79, 3},
};

std::vector<int> notesOf(const Instrument &ins)
{
    std::vector<int> notes;
    for (int n = ins.low; n <= ins.high; n += ins.step)
        notes.push_back(n);
    return notes;
}

// ---------------------------------------------------------------- MIDI files

void put32(std::vector<unsigned char> &b, unsigned v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back((unsigned char)(v >> s));
}

void putVarLen(std::vector<unsigned char> &b, unsigned v)
{
    unsigned char bytes[5];
    int n = 0;
    do {
        bytes[n++] = v & 0x7F;
        v >>= 7;
    } while (v);
    while (n--)
        b.push_back((unsigned char)(bytes[n] | (n ? 0x80 : 0)));
}

// Format 0, 480 ticks a quarter at 120 per minute: 960 ticks a second.
bool writeMidi(const QString &path, const Instrument &ins)
{
    std::vector<unsigned char> track;
    auto event = [&](unsigned delta, std::initializer_list<unsigned char> bytes) {
        putVarLen(track, delta);
        track.insert(track.end(), bytes);
    };
    event(0, {0xC0, (unsigned char)ins.program});
    const unsigned hold = unsigned(kHoldSeconds * 960);
    const unsigned gap = unsigned(kNoteSeconds * 960) - hold;
    bool first = true;
    for (int n : notesOf(ins)) {
        event(first ? 0 : gap, {0x90, (unsigned char)n, 100});
        event(hold, {0x80, (unsigned char)n, 0});
        first = false;
    }
    event(gap, {0xFF, 0x2F, 0x00});
    std::vector<unsigned char> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0};
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    put32(file, unsigned(track.size()));
    file.insert(file.end(), track.begin(), track.end());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char *>(file.data()),
                                                   qint64(file.size())) == qint64(file.size());
}

// ---------------------------------------------------------------- audio files

bool readMono(const QString &path, std::vector<float> &out)
{
    SF_INFO info{};
    SNDFILE *f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return false;
    std::vector<float> raw(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(f, raw.data(), info.frames);
    sf_close(f);
    out.assign(size_t(info.frames), 0.0f);
    for (size_t i = 0; i < out.size(); ++i) {
        for (int c = 0; c < info.channels; ++c)
            out[i] += raw[i * size_t(info.channels) + size_t(c)];
        out[i] /= float(info.channels);
    }
    return true;
}

bool writeMono(const QString &path, const std::vector<float> &x)
{
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    sf_writef_float(f, x.data(), sf_count_t(x.size()));
    sf_close(f);
    return true;
}

// A quiet room: broadband noise, a little darker than white, and mains hum with harmonics,
// about 60 dB below full scale.
std::vector<float> roomNoise(size_t frames, std::mt19937 &rng)
{
    std::normal_distribution<double> white(0.0, 1.0);
    std::vector<float> x(frames);
    double low = 0.0;
    const double phase = std::uniform_real_distribution<double>(0.0, 6.28)(rng);
    for (size_t i = 0; i < frames; ++i) {
        low += 0.2 * (white(rng) - low);
        const double t = double(i) / kRate;
        const double hum = std::sin(2 * M_PI * 50 * t + phase) +
                           0.5 * std::sin(2 * M_PI * 100 * t) +
                           0.3 * std::sin(2 * M_PI * 150 * t + phase);
        x[i] = float(0.001 * low + 0.0004 * hum);
    }
    return x;
}

int cutAll(const QString &dir)
{
    QDir().mkpath(dir + "/import");
    QDir().mkpath(dir + "/recording");
    QFile manifest(dir + "/manifest.txt");
    if (!manifest.open(QIODevice::WriteOnly | QIODevice::Text))
        return 1;
    QTextStream list(&manifest);
    std::mt19937 rng(7);
    for (const Instrument &ins : kInstruments) {
        std::vector<float> render;
        if (!readMono(dir + "/" + ins.name + ".wav", render)) {
            std::fprintf(stderr, "cannot read the render of %s\n", ins.name);
            return 1;
        }
        const size_t length = size_t(kNoteSeconds * kRate);
        size_t at = 0;
        for (int n : notesOf(ins)) {
            std::vector<float> note(length, 0.0f);
            for (size_t i = 0; i < length && at + i < render.size(); ++i)
                note[i] = render[at + i];
            at += length;
            const QString name = QStringLiteral("%1-%2.wav").arg(ins.name).arg(n);
            std::vector<float> rec = roomNoise(size_t(kNoiseSeconds * kRate) + length, rng);
            for (size_t i = 0; i < length; ++i)
                rec[size_t(kNoiseSeconds * kRate) + i] += note[i];
            if (!writeMono(dir + "/import/" + name, note) ||
                !writeMono(dir + "/recording/" + name, rec))
                return 1;
            list << "import " << ins.name << ' ' << n << " import/" << name << '\n';
            list << "recording " << ins.name << ' ' << n << " recording/" << name << '\n';
        }
    }
    return 0;
}

// ---------------------------------------------------------------- estimates

// The engine's recording path: stream input while recording, then the stop request.
double recordedEstimate(KorvaneAudioEngine &engine, OfflineAudioBackend &backend,
                        const std::vector<float> &mono)
{
    std::vector<double> input;
    input.reserve(mono.size() * 2);
    for (float v : mono) {
        input.push_back(v);
        input.push_back(v);
    }
    while (engine.sampleCount() > 0)
        engine.deleteSample(0);
    engine.startRecording();
    backend.run(unsigned(mono.size()), input);
    engine.stopRecording();
    return engine.sampleCount() > 0 ? engine.sampleAt(0).baseFrequency : 0.0;
}

// The import path: decoding, then the estimate an import makes.
double importedEstimate(const QString &path)
{
    DecodedAudio audio;
    QString error;
    if (decodeAudioFile(path, kRate, ImportChannels::KeepStereo, audio, &error) != DecodeResult::Ok)
        return 0.0;
    return estimateImportedFrequency(audio.frames, kRate).frequency;
}

// aubiopitch prints "time frequency" a frame; the note's estimate is the median of the
// frames it called pitched.
double yinEstimate(const QString &path)
{
    QFile f(path);
    std::vector<double> pitched;
    if (f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&f);
        double t = 0.0, hz = 0.0;
        while (!in.atEnd()) {
            in >> t >> hz;
            if (in.status() != QTextStream::Ok)
                break;
            if (hz > 0.0)
                pitched.push_back(hz);
        }
    }
    if (pitched.empty())
        return 0.0;
    std::nth_element(pitched.begin(), pitched.begin() + long(pitched.size() / 2), pitched.end());
    return pitched[pitched.size() / 2];
}

struct Score
{
    int notes = 0, right = 0, octave = 0;
    QStringList misses;
    void add(const QString &what, int note, double hz)
    {
        ++notes;
        const double semis = hz > 0.0 ? 12.0 * std::log2(hz / 440.0) + 69.0 - note : -99.0;
        const double off = std::round(semis / 12.0) * 12.0;
        if (std::fabs(semis) <= 0.5)
            ++right;
        else {
            if (off != 0.0 && std::fabs(off) <= 24.0 && std::fabs(semis - off) <= 0.5)
                ++octave;
            misses << QStringLiteral("%1 (%2 semitones)").arg(what).arg(semis, 0, 'f', 1);
        }
    }
    QString text() const
    {
        return QStringLiteral("%1 of %2 right (%3 %), %4 octave errors")
            .arg(right)
            .arg(notes)
            .arg(100.0 * right / std::max(notes, 1), 0, 'f', 1)
            .arg(octave);
    }
};

int scoreAll(const QString &dir, bool verbose)
{
    QFile manifest(dir + "/manifest.txt");
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text))
        return 1;
    auto *backend = new OfflineAudioBackend(true);
    KorvaneAudioEngine engine{std::unique_ptr<AudioBackend>(backend)};
    if (!engine.init(kRate))
        return 1;
    std::map<QString, Score> ours, yin;
    QTextStream in(&manifest);
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(' ', Qt::SkipEmptyParts);
        if (f.size() != 4)
            continue;
        const QString &kind = f[0];
        const int note = f[2].toInt();
        const QString path = dir + "/" + f[3];
        double hz = 0.0;
        if (kind == QLatin1String("import")) {
            hz = importedEstimate(path);
        } else {
            std::vector<float> mono;
            readMono(path, mono);
            hz = recordedEstimate(engine, *backend, mono);
        }
        const double yinHz = yinEstimate(dir + "/yin/" + f[3] + ".txt");
        const QString what = kind + ' ' + f[1] + ' ' + f[2];
        for (const QString &key : {kind, QStringLiteral("all")}) {
            ours[key].add(what, note, hz);
            yin[key].add(what, note, yinHz);
        }
    }
    for (const QString &key : {QStringLiteral("import"), QStringLiteral("recording")}) {
        std::printf("pitch %-9s | ours %s | YIN (aubio) %s\n", qPrintable(key),
                    qPrintable(ours[key].text()), qPrintable(yin[key].text()));
    }
    std::printf("pitch all       | ours %s | YIN (aubio) %s\n", qPrintable(ours["all"].text()),
                qPrintable(yin["all"].text()));
    std::printf("ours missed: %s\n", qPrintable(ours["all"].misses.join(", ")));
    if (verbose)
        std::printf("YIN missed: %s\n", qPrintable(yin["all"].misses.join(", ")));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s midi|cut|score DIR [-v]\n", argv[0]);
        return 2;
    }
    const QString step = QString::fromLocal8Bit(argv[1]);
    const QString dir = QString::fromLocal8Bit(argv[2]);
    if (step == QLatin1String("midi")) {
        QDir().mkpath(dir);
        for (const Instrument &ins : kInstruments)
            if (!writeMidi(dir + "/" + ins.name + ".mid", ins))
                return 1;
        for (const Instrument &ins : kInstruments)
            std::printf("%s\n", ins.name);
        return 0;
    }
    if (step == QLatin1String("cut"))
        return cutAll(dir);
    if (step == QLatin1String("score"))
        return scoreAll(dir, argc > 3);
    return 2;
}
