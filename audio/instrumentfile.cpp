#include "instrumentfile.h"

#include <QFile>
#include <QSaveFile>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

const int envelopeMarker = 777;
const int volumesMarker = 888;
const int controllerModeMarker = 818;
// id, loop, loopStart, loopEnd, baseFrequency, key, start, nameLength, frameCount
const qint64 minimumRecordSize = 4 * 4 + 8 + 4 * 2 + 4 + 4;

// Little-endian reader that never reads past the end.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes)
        : data_(reinterpret_cast<const unsigned char *>(bytes.constData())), size_(bytes.size())
    {
    }
    qint64 left() const { return size_ - pos_; }
    bool atEnd() const { return pos_ >= size_; }

    bool int32(qint32 &v) { return raw32(reinterpret_cast<quint32 &>(v)); }
    bool float32(float &v)
    {
        quint32 bits;
        if (!raw32(bits))
            return false;
        std::memcpy(&v, &bits, 4);
        return true;
    }
    bool float64(double &v)
    {
        if (left() < 8)
            return false;
        quint64 bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = (bits << 8) | data_[pos_ + i];
        pos_ += 8;
        std::memcpy(&v, &bits, 8);
        return true;
    }
    const char *take(qint64 count)
    {
        if (count < 0 || left() < count)
            return nullptr;
        const char *p = reinterpret_cast<const char *>(data_ + pos_);
        pos_ += count;
        return p;
    }

private:
    bool raw32(quint32 &v)
    {
        if (left() < 4)
            return false;
        v = quint32(data_[pos_]) | quint32(data_[pos_ + 1]) << 8 | quint32(data_[pos_ + 2]) << 16 |
            quint32(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return true;
    }

    const unsigned char *data_;
    qint64 size_;
    qint64 pos_ = 0;
};

class Writer
{
public:
    void int32(qint32 v) { raw32(quint32(v)); }
    void float32(float v)
    {
        quint32 bits;
        std::memcpy(&bits, &v, 4);
        raw32(bits);
    }
    void float64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, 8);
        for (int i = 0; i < 8; ++i)
            out.append(char((bits >> (8 * i)) & 0xff));
    }
    QByteArray out;

private:
    void raw32(quint32 v)
    {
        for (int i = 0; i < 4; ++i)
            out.append(char((v >> (8 * i)) & 0xff));
    }
};

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

bool finite(float v)
{
    return std::isfinite(v);
}

bool readSample(Reader &r, SamplerSample &s, QString *error)
{
    qint32 id, loop, loopStart, loopEnd, key, start, nameLength, frameCount;
    double baseFrequency;
    if (!r.int32(id) || !r.int32(loop) || !r.int32(loopStart) || !r.int32(loopEnd) ||
        !r.float64(baseFrequency) || !r.int32(key) || !r.int32(start) || !r.int32(nameLength))
        return fail(error, QStringLiteral("the file ends inside a sample record"));
    if (!std::isfinite(baseFrequency))
        return fail(error, QStringLiteral("a sample has no valid base frequency"));
    const char *name = r.take(nameLength);
    if (!name)
        return fail(error, QStringLiteral("a sample name is longer than the file"));
    if (!r.int32(frameCount))
        return fail(error, QStringLiteral("the file ends inside a sample record"));
    if (frameCount < 0 || r.left() / 8 < frameCount)
        return fail(error, QStringLiteral("a sample holds more frames than the file"));
    const char *frames = r.take(qint64(frameCount) * 8);

    s.id = id;
    s.loop = loop;
    s.loopStart = loopStart;
    s.loopEnd = loopEnd;
    s.baseFrequency = baseFrequency;
    s.key = key;
    s.start = start;
    // The name ends at the first zero byte.
    const char *zero = static_cast<const char *>(std::memchr(name, 0, size_t(nameLength)));
    s.name = QString::fromUtf8(name, zero ? int(zero - name) : nameLength);
    s.volume = 1.0f;
    s.frames.resize(size_t(frameCount));
    Reader fr(QByteArray::fromRawData(frames, frameCount * 8));
    for (StereoFrame &f : s.frames) {
        fr.float32(f[0]);
        fr.float32(f[1]);
        if (!finite(f[0]) || !finite(f[1]))
            return fail(error, QStringLiteral("a sample holds invalid audio data"));
    }
    return true;
}

} // namespace

bool parseInstrument(const QByteArray &bytes, KorvaneInstrument &out, QString *error)
{
    const QString damaged = QStringLiteral("Damaged instrument file: %1");
    Reader r(bytes);
    KorvaneInstrument ins;
    qint32 mode, count;
    if (!r.int32(mode) || !r.int32(count))
        return fail(error, damaged.arg(QStringLiteral("too short")));
    ins.samplerMode = mode;
    if (count < 0 || r.left() / minimumRecordSize < count)
        return fail(error, damaged.arg(QStringLiteral("the sample count does not fit the file")));
    ins.samples.resize(size_t(count));
    QString why;
    for (SamplerSample &s : ins.samples) {
        if (!readSample(r, s, &why))
            return fail(error, damaged.arg(why));
    }

    if (r.atEnd()) {
        // A file that ends right after its samples gets a short attack.
        ins.hasEnvelope = true;
        ins.envelope = KorvaneEnvelope{1, 20, 0.9f, 20};
        out = std::move(ins);
        return true;
    }
    const QString truncated = damaged.arg(QStringLiteral("the file ends inside a block"));
    qint32 next;
    if (!r.int32(next))
        return fail(error, truncated);
    ins.hasNextSampleId = true;
    ins.nextSampleId = next;

    if (!r.atEnd()) {
        qint32 marker;
        if (!r.int32(marker))
            return fail(error, truncated);
        if (marker == envelopeMarker) {
            KorvaneEnvelope &e = ins.envelope;
            KorvaneSamplerReverb &v = ins.reverb;
            if (!r.int32(e.attack) || !r.int32(e.decay) || !r.float32(e.sustain) ||
                !r.int32(e.release) || !r.float32(v.room) || !r.float32(v.damp) ||
                !r.float32(v.width) || !r.float32(v.amount))
                return fail(error, truncated);
            if (!finite(e.sustain) || !finite(v.room) || !finite(v.damp) || !finite(v.width) ||
                !finite(v.amount))
                return fail(error, damaged.arg(QStringLiteral("invalid envelope or reverb")));
            ins.hasEnvelope = true;
            ins.hasReverb = true;
        }
        // Any other marker is consumed and its block skipped: the next field follows.
    }
    if (!r.atEnd()) {
        qint32 marker;
        if (!r.int32(marker))
            return fail(error, truncated);
        if (marker == volumesMarker && count > 0) {
            for (SamplerSample &s : ins.samples) {
                if (!r.float32(s.volume))
                    return fail(error, truncated);
                if (!finite(s.volume))
                    return fail(error, damaged.arg(QStringLiteral("invalid sample volume")));
            }
            ins.hasVolumes = true;
        }
        if (!r.atEnd()) {
            qint32 modeMarker;
            if (!r.int32(modeMarker))
                return fail(error, truncated);
            if (modeMarker == controllerModeMarker) {
                if (!r.int32(ins.controllerMode))
                    return fail(error, truncated);
                ins.hasControllerMode = true;
            }
        }
    }
    out = std::move(ins);
    return true;
}

bool readInstrumentFile(const QString &path, KorvaneInstrument &out, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("Cannot open instrument file %1").arg(path));
    // The whole file is read before the sampler is touched.
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(error, QStringLiteral("Cannot read instrument file %1").arg(path));
    return parseInstrument(bytes, out, error);
}

QByteArray serializeInstrument(const KorvaneInstrument &in)
{
    Writer w;
    w.int32(in.samplerMode);
    w.int32(qint32(in.samples.size()));
    for (const SamplerSample &s : in.samples) {
        w.int32(s.id);
        w.int32(s.loop);
        w.int32(s.loopStart);
        w.int32(s.loopEnd);
        w.float64(s.baseFrequency);
        w.int32(s.key);
        w.int32(s.start);
        const QByteArray name = s.name.toUtf8();
        w.int32(name.size());
        w.out.append(name);
        w.int32(qint32(s.frames.size()));
        w.out.reserve(w.out.size() + int(s.frames.size()) * 8);
        for (const StereoFrame &f : s.frames) {
            w.float32(f[0]);
            w.float32(f[1]);
        }
    }
    w.int32(in.nextSampleId);
    w.int32(envelopeMarker);
    w.int32(in.envelope.attack);
    w.int32(in.envelope.decay);
    w.float32(in.envelope.sustain);
    w.int32(in.envelope.release);
    w.float32(in.reverb.room);
    w.float32(in.reverb.damp);
    w.float32(in.reverb.width);
    w.float32(in.reverb.amount);
    if (in.hasVolumes) {
        w.int32(volumesMarker);
        for (const SamplerSample &s : in.samples)
            w.float32(s.volume);
    }
    return w.out;
}

bool writeInstrumentFile(const QString &path, const KorvaneInstrument &in, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write instrument file %1").arg(path));
    const QByteArray bytes = serializeInstrument(in);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return fail(error, QStringLiteral("Saving the instrument to %1 failed").arg(path));
    return true;
}
