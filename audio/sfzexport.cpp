#include "sfzexport.h"

#include "adsrenvelope.h"
#include "samplervoice.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTextStream>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace SfzExport {

namespace {

QString number(double v, int decimals = 6)
{
    QString text = QString::number(v, 'f', decimals);
    if (text.contains(QLatin1Char('.')))
        text.remove(QRegularExpression(QStringLiteral("\\.?0+$")));
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

// The sample a pitched note plays: the nearest base frequency, the first one on ties.
int nearestSample(const std::vector<SamplerSample> &samples, int note)
{
    const double f = noteFrequency(note);
    int chosen = -1;
    double best = 0.0;
    for (int i = 0; i < int(samples.size()); ++i) {
        const double distance = std::fabs(f - samples[size_t(i)].baseFrequency);
        if (chosen < 0 || distance < best) {
            chosen = i;
            best = distance;
        }
    }
    return chosen;
}

// The opcodes every region of a sample carries: file, start, loop and level.
void writeSampleOpcodes(QTextStream &out, const SamplerSample &s, const QString &wav)
{
    const int frames = int(s.frames.size());
    out << "sample=" << wav << '\n';
    if (s.start > 0)
        out << "offset=" << std::min(s.start, std::max(frames - 1, 0)) << '\n';
    // The sampler wraps when the position reaches loopEnd, so the last looped frame is
    // loopEnd - 1. Every loop setting plays forward here.
    const int loopLast = std::min(s.loopEnd, frames) - 1;
    if (s.loop != 0 && loopLast > s.loopStart && s.loopStart >= 0) {
        out << "loop_mode=loop_continuous\n";
        out << "loop_start=" << s.loopStart << '\n';
        out << "loop_end=" << loopLast << '\n';
    } else {
        out << "loop_mode=no_loop\n";
    }
    // The sampler multiplies by the volume squared.
    const double gain = double(s.volume) * double(s.volume);
    out << "volume=" << number(gain > 0.0 ? std::max(20.0 * std::log10(gain), -144.0) : -144.0)
        << '\n';
}

} // namespace

QString safeStem(const QString &name)
{
    QString stem = name.trimmed();
    static const QRegularExpression audioExtension(
        QStringLiteral("\\.(wav|wave|aif|aiff|aifc|flac|ogg|oga|opus|mp3)$"),
        QRegularExpression::CaseInsensitiveOption);
    stem.remove(audioExtension);
    QString safe;
    for (const QChar c : stem) {
        const bool bad = c.unicode() < 32 || c == QLatin1Char('/') || c == QLatin1Char('\\') ||
                         c == QLatin1Char(':') || c == QLatin1Char('*') || c == QLatin1Char('?') ||
                         c == QLatin1Char('"') || c == QLatin1Char('<') || c == QLatin1Char('>') ||
                         c == QLatin1Char('|') || c == QLatin1Char('=');
        safe.append(bad ? QLatin1Char('_') : c);
    }
    while (safe.startsWith(QLatin1Char('.')))
        safe[0] = QLatin1Char('_');
    safe = safe.trimmed();
    return safe.isEmpty() ? QStringLiteral("sample") : safe;
}

QStringList wavFileNames(const KorvaneInstrument &instrument)
{
    QStringList names;
    QSet<QString> taken;
    for (const SamplerSample &s : instrument.samples) {
        const QString stem = safeStem(s.name);
        QString candidate = stem + QStringLiteral(".wav");
        for (int n = 2; taken.contains(candidate.toLower()); ++n)
            candidate = QStringLiteral("%1 %2.wav").arg(stem).arg(n);
        taken.insert(candidate.toLower());
        names << candidate;
    }
    return names;
}

void keycenterFor(double frequency, int *note, int *cents)
{
    if (!(frequency > 0.0) || !std::isfinite(frequency)) {
        *note = 60;
        *cents = 0;
        return;
    }
    const double semitones = 69.0 + 12.0 * std::log2(frequency / 440.0);
    const int n = std::clamp(int(std::lround(semitones)), 0, 127);
    *note = n;
    *cents = std::clamp(int(std::lround((semitones - n) * 100.0)), -100, 100);
}

QString sfzText(const KorvaneInstrument &ins, const QStringList &wavNames, const QString &title,
                double sampleRate)
{
    QString text;
    QTextStream out(&text);
    const bool pitched = ins.samplerMode != 1;
    out << "// " << title << ", exported by VARNO Control\n";
    out << "// " << ins.samples.size() << " samples, "
        << (pitched ? "pitched (nearest base frequency)" : "one sample per key") << '\n';
    if (ins.reverb.amount > -0.9f)
        out << "// The sampler's reverb (amount " << number(double(ins.reverb.amount))
            << ") is not part of this file.\n";
    out << '\n';

    // The amplitude envelope, in seconds: attack and decay run 200 frames per unit, the
    // release follows the envelope's own rule.
    const KorvaneEnvelope &e = ins.envelope;
    out << "<global>\n";
    out << "ampeg_attack=" << number(200.0 * std::max(e.attack, 0) / sampleRate) << '\n';
    out << "ampeg_decay=" << number(200.0 * std::max(e.decay, 0) / sampleRate) << '\n';
    out << "ampeg_sustain=" << number(100.0 * std::clamp(double(e.sustain), 0.0, 1.0), 3) << '\n';
    out << "ampeg_release=" << number(AdsrEnvelope::releaseFrames(e.release) / sampleRate) << '\n';
    if (pitched) {
        // Pitch bend spans 0.75 to 1.25 times the note.
        out << "bend_up=" << int(std::lround(1200.0 * std::log2(1.25))) << '\n';
        out << "bend_down=" << int(std::lround(1200.0 * std::log2(0.75))) << '\n';
    } else {
        out << "bend_up=0\nbend_down=0\n";
    }

    const int count = int(std::min<size_t>(ins.samples.size(), size_t(wavNames.size())));
    std::vector<SamplerSample> samples(ins.samples.begin(), ins.samples.begin() + count);
    if (pitched) {
        // Every note plays the sample nearest to it, transposed: one region per run of
        // notes that picks the same sample.
        int note = 0;
        while (note < 128 && count > 0) {
            const int s = nearestSample(samples, note);
            int last = note;
            while (last + 1 < 128 && nearestSample(samples, last + 1) == s)
                ++last;
            int center = 60;
            int cents = 0;
            keycenterFor(samples[size_t(s)].baseFrequency, &center, &cents);
            out << "\n<region>\n";
            writeSampleOpcodes(out, samples[size_t(s)], wavNames.at(s));
            out << "lokey=" << note << "\nhikey=" << last << '\n';
            out << "pitch_keycenter=" << center << '\n';
            if (cents != 0)
                out << "tune=" << -cents << '\n';
            note = last + 1;
        }
    } else {
        // A key plays the last sample keyed to it, at its recorded speed.
        for (int key = 0; key < 128; ++key) {
            int s = -1;
            for (int i = 0; i < count; ++i)
                if (samples[size_t(i)].key == key)
                    s = i;
            if (s < 0)
                continue;
            out << "\n<region>\n";
            writeSampleOpcodes(out, samples[size_t(s)], wavNames.at(s));
            out << "key=" << key << "\npitch_keytrack=0\n";
        }
    }
    out.flush();
    return text;
}

bool writeWav(const QString &path, const std::vector<StereoFrame> &frames, double sampleRate,
              QString *error)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".part";
    SF_INFO info{};
    info.samplerate = int(std::lround(sampleRate));
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open(temporary.constData(), SFM_WRITE, &info);
    if (!file) {
        if (error)
            *error = QString::fromLocal8Bit(sf_strerror(nullptr));
        return false;
    }
    std::vector<float> block;
    const size_t blockFrames = 8192;
    bool ok = true;
    for (size_t first = 0; first < frames.size() && ok; first += blockFrames) {
        const size_t n = std::min(blockFrames, frames.size() - first);
        block.resize(2 * n);
        for (size_t i = 0; i < n; ++i) {
            // Element 1 is what the sampler sends to the left output.
            block[2 * i] = frames[first + i][1];
            block[2 * i + 1] = frames[first + i][0];
        }
        ok = sf_writef_float(file, block.data(), sf_count_t(n)) == sf_count_t(n);
    }
    if (!ok && error)
        *error = QString::fromLocal8Bit(sf_strerror(file));
    const int closed = sf_close(file);
    if (ok && closed != 0) {
        ok = false;
        if (error)
            *error = QString::fromLocal8Bit(sf_error_number(closed));
    }
    if (ok && std::rename(temporary.constData(), target.constData()) != 0) {
        ok = false;
        if (error)
            *error = QStringLiteral("could not rename the finished file");
    }
    if (!ok)
        std::remove(temporary.constData());
    return ok;
}

bool exportInstrument(const KorvaneInstrument &instrument, const QString &folder,
                      const QString &title, double sampleRate, QString *error)
{
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("folder %1 could not be created").arg(folder);
        return false;
    }
    const QStringList wavs = wavFileNames(instrument);
    for (size_t i = 0; i < instrument.samples.size(); ++i) {
        QString why;
        const QString path = folder + QLatin1Char('/') + wavs.at(int(i));
        if (!writeWav(path, instrument.samples[i].frames, sampleRate, &why)) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(wavs.at(int(i)), why);
            return false;
        }
    }
    QSaveFile sfz(folder + QLatin1Char('/') + safeStem(title) + QStringLiteral(".sfz"));
    const QByteArray bytes = sfzText(instrument, wavs, title, sampleRate).toUtf8();
    if (!sfz.open(QIODevice::WriteOnly) || sfz.write(bytes) != bytes.size() || !sfz.commit()) {
        if (error)
            *error = sfz.errorString();
        return false;
    }
    return true;
}

} // namespace SfzExport
