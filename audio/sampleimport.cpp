#include "sampleimport.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const int kBlockFrames = 16384;

struct SndFileCloser
{
    void operator()(SNDFILE *f) const { sf_close(f); }
};
struct SrcDeleter
{
    void operator()(SRC_STATE *s) const { src_delete(s); }
};

// Appends interleaved frames of `channels` values (1 or 2; 2 is left, right) as sampler frames.
void appendFrames(std::vector<StereoFrame> &out, const float *data, long frames, int channels)
{
    for (long i = 0; i < frames; ++i) {
        if (channels == 1)
            out.push_back({data[i], data[i]});
        else
            out.push_back({data[2 * i + 1], data[2 * i]});
    }
}

} // namespace

DecodeResult decodeAudioFile(const QString &path, double targetRate, ImportChannels mode,
                             DecodedAudio &out, QString *error, const ImportProgress &progress)
{
    out = DecodedAudio();
    auto fail = [&](const QString &why) {
        out = DecodedAudio();
        if (error)
            *error = why;
        return DecodeResult::Failed;
    };

    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(
        sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file)
        return fail(QString::fromLocal8Bit(sf_strerror(nullptr)));
    if (info.channels < 1 || info.samplerate <= 0)
        return fail(QStringLiteral("the file has no channels or no sample rate"));
    if (info.frames <= 0)
        return fail(QStringLiteral("the file holds no sound"));
    if (double(info.frames) / info.samplerate > kMaxImportSeconds)
        return fail(QStringLiteral("it is longer than %1 seconds").arg(kMaxImportSeconds));
    // Integer formats arrive scaled to -1..1.
    sf_command(file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);

    const int inChannels = info.channels;
    const int outChannels = (mode == ImportChannels::KeepStereo && inChannels == 2) ? 2 : 1;
    const double ratio = targetRate / info.samplerate;
    const bool resample = std::fabs(ratio - 1.0) > 1e-9;
    if (resample && (ratio < 1.0 / 256 || ratio > 256))
        return fail(
            QStringLiteral("its sample rate of %1 Hz cannot be converted").arg(info.samplerate));

    std::unique_ptr<SRC_STATE, SrcDeleter> converter;
    if (resample) {
        int srcError = 0;
        converter.reset(src_new(SRC_SINC_MEDIUM_QUALITY, outChannels, &srcError));
        if (!converter)
            return fail(QString::fromLatin1(src_strerror(srcError)));
    }

    out.sourceRate = info.samplerate;
    out.sourceChannels = inChannels;
    out.sourceFrames = info.frames;
    out.frames.reserve(size_t(std::ceil(double(info.frames) * ratio)) + 16);

    std::vector<float> raw(size_t(kBlockFrames) * size_t(inChannels));
    std::vector<float> block(size_t(kBlockFrames) * size_t(outChannels));
    const long outCapacity = long(std::ceil(kBlockFrames * ratio)) + 64;
    std::vector<float> converted(size_t(outCapacity) * size_t(outChannels));

    long long done = 0;
    bool ended = false;
    while (!ended) {
        const sf_count_t got = sf_readf_float(file.get(), raw.data(), kBlockFrames);
        if (got < 0)
            return fail(QString::fromLocal8Bit(sf_strerror(file.get())));
        ended = got < kBlockFrames;
        // Down to one or two channels: keep left and right, or average everything.
        for (sf_count_t i = 0; i < got; ++i) {
            const float *frame = raw.data() + i * inChannels;
            if (outChannels == 2) {
                block[size_t(2 * i)] = frame[0];
                block[size_t(2 * i + 1)] = frame[1];
            } else {
                float sum = 0.0f;
                for (int c = 0; c < inChannels; ++c)
                    sum += frame[c];
                block[size_t(i)] = sum / float(inChannels);
            }
        }
        if (!resample) {
            appendFrames(out.frames, block.data(), long(got), outChannels);
        } else {
            SRC_DATA data{};
            data.data_in = block.data();
            data.input_frames = long(got);
            data.src_ratio = ratio;
            data.end_of_input = ended ? 1 : 0;
            // The converter keeps some input back; at the end it is flushed until it gives
            // no more frames.
            for (;;) {
                data.data_out = converted.data();
                data.output_frames = outCapacity;
                const int e = src_process(converter.get(), &data);
                if (e != 0)
                    return fail(QString::fromLatin1(src_strerror(e)));
                appendFrames(out.frames, converted.data(), data.output_frames_gen, outChannels);
                data.data_in += data.input_frames_used * outChannels;
                data.input_frames -= data.input_frames_used;
                if (data.input_frames > 0)
                    continue;
                if (!ended || data.output_frames_gen == 0)
                    break;
            }
        }
        done += got;
        if (done > info.frames * 2)
            return fail(QStringLiteral("the file is longer than its header says"));
        if (progress && !progress(std::min(1.0, double(done) / double(info.frames)))) {
            out = DecodedAudio();
            return DecodeResult::Cancelled;
        }
    }
    if (out.frames.empty())
        return fail(QStringLiteral("the file holds no sound"));
    return DecodeResult::Ok;
}

FrequencyEstimate estimateImportedFrequency(const std::vector<StereoFrame> &frames,
                                            double sampleRate)
{
    // The estimate looks at no more than a recording can hold, like that of a recording.
    const size_t analysed = size_t(std::lround(sampleRate * 12.0));
    if (frames.size() <= analysed)
        return estimateFrequency(frames, sampleRate);
    const std::vector<StereoFrame> head(frames.begin(), frames.begin() + long(analysed));
    return estimateFrequency(head, sampleRate);
}

// ---------------------------------------------------------------- worker

KorvaneSampleImport::KorvaneSampleImport(QObject *parent) : QObject(parent) {}

KorvaneSampleImport::~KorvaneSampleImport()
{
    cancel();
    join();
}

bool KorvaneSampleImport::start(const QStringList &files, double targetRate,
                                ImportChannels channels)
{
    if (running)
        return false;
    join();
    running = true;
    cancelRequested.store(false);
    outcome = DecodeResult::Ok;
    error.clear();
    samples.clear();
    worker = std::thread(&KorvaneSampleImport::run, this, files, targetRate, channels);
    return true;
}

void KorvaneSampleImport::cancel()
{
    cancelRequested.store(true);
}

std::vector<ImportedSample> KorvaneSampleImport::takeSamples()
{
    return std::move(samples);
}

void KorvaneSampleImport::join()
{
    if (worker.joinable())
        worker.join();
}

void KorvaneSampleImport::run(QStringList files, double targetRate, ImportChannels channels)
{
    std::vector<ImportedSample> made;
    DecodeResult r = DecodeResult::Ok;
    QString why;
    const int count = int(files.size());
    for (int i = 0; i < count && r == DecodeResult::Ok; ++i) {
        const QString name = QFileInfo(files.at(i)).fileName();
        int lastPermille = -1;
        auto report = [&](double share) {
            const int permille = int(1000.0 * (i + share) / count);
            if (permille != lastPermille) {
                lastPermille = permille;
                emit Progress(permille, i, name);
            }
            return !cancelRequested.load();
        };
        if (!report(0.0)) {
            r = DecodeResult::Cancelled;
            break;
        }
        DecodedAudio audio;
        QString fileError;
        r = decodeAudioFile(files.at(i), targetRate, channels, audio, &fileError, report);
        if (r == DecodeResult::Failed) {
            while (fileError.endsWith(QLatin1Char('.')))
                fileError.chop(1);
            why = QStringLiteral("%1 cannot be imported: %2").arg(name, fileError);
            break;
        }
        if (r != DecodeResult::Ok)
            break;
        ImportedSample s;
        s.sourceName = name;
        s.frames = std::move(audio.frames);
        s.estimate = estimateImportedFrequency(s.frames, targetRate);
        made.push_back(std::move(s));
        if (cancelRequested.load())
            r = DecodeResult::Cancelled;
    }
    outcome = r;
    error = why;
    if (r == DecodeResult::Ok)
        samples = std::move(made);
    QMetaObject::invokeMethod(this, "workerDone", Qt::QueuedConnection);
}

void KorvaneSampleImport::workerDone()
{
    join();
    running = false;
    emit Finished();
}
