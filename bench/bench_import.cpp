// Speed of importing an audio file: ten seconds of 48 kHz stereo read through libsndfile and
// resampled to 44100 Hz (stereo kept and mixed to mono), and the same file at 44100 Hz, read
// only. Tells how long an import of a minute-long file keeps the user waiting.
#include "audio/sampleimport.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <vector>

namespace {

QString makeFile(int rate)
{
    const QString path = QDir::tempPath() + QStringLiteral("/varno-bench-import-%1.wav").arg(rate);
    const long frames = long(rate) * 10;
    std::vector<float> data(size_t(frames) * 2);
    for (long i = 0; i < frames; ++i) {
        data[size_t(2 * i)] = 0.5f * float(std::sin(2.0 * M_PI * 440.0 * double(i) / rate));
        data[size_t(2 * i + 1)] = 0.5f * float(std::sin(2.0 * M_PI * 660.0 * double(i) / rate));
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
    return path;
}

void decode(benchmark::State &state, int rate, ImportChannels channels)
{
    const QString path = makeFile(rate);
    for (auto _ : state) {
        DecodedAudio audio;
        QString error;
        decodeAudioFile(path, 44100.0, channels, audio, &error);
        benchmark::DoNotOptimize(audio.frames.data());
    }
    QFile::remove(path);
}

void BM_Import10s48kStereo(benchmark::State &state)
{
    decode(state, 48000, ImportChannels::KeepStereo);
}
void BM_Import10s48kToMono(benchmark::State &state)
{
    decode(state, 48000, ImportChannels::MixToMono);
}
void BM_Import10s44kReadOnly(benchmark::State &state)
{
    decode(state, 44100, ImportChannels::KeepStereo);
}

} // namespace

BENCHMARK(BM_Import10s48kStereo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Import10s48kToMono)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Import10s44kReadOnly)->Unit(benchmark::kMillisecond);
