// Test audio files written through libsndfile itself.
#pragma once

#include <QFile>
#include <QString>

#include <sndfile.h>

#include <cmath>
#include <vector>

namespace audiofiles {

// Interleaved frames: channel c is a sine of freqs[c] Hz at levels[c].
inline std::vector<float> sines(const std::vector<double> &freqs, const std::vector<double> &levels,
                                int rate, long frames)
{
    const size_t channels = freqs.size();
    std::vector<float> data(size_t(frames) * channels);
    for (long i = 0; i < frames; ++i)
        for (size_t c = 0; c < channels; ++c)
            data[size_t(i) * channels + c] =
                float(levels[c] * std::sin(2.0 * M_PI * freqs[c] * double(i) / rate));
    return data;
}

// Writes the frames in the given libsndfile format (for example SF_FORMAT_WAV | SF_FORMAT_PCM_16).
inline bool write(const QString &path, int format, int rate, int channels,
                  const std::vector<float> &data)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    const sf_count_t frames = sf_count_t(data.size() / size_t(channels));
    const bool ok = sf_writef_float(f, data.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

struct Read
{
    SF_INFO info{};
    std::vector<float> data;
    bool ok = false;
};

inline Read read(const QString &path)
{
    Read r;
    SNDFILE *f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &r.info);
    if (!f)
        return r;
    r.data.resize(size_t(r.info.frames) * size_t(r.info.channels));
    r.ok = sf_readf_float(f, r.data.data(), r.info.frames) == r.info.frames;
    sf_close(f);
    return r;
}

} // namespace audiofiles
