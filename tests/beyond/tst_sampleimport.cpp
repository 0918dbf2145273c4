// Reading audio files into samples: formats, channels, resampling, refusals, cancel, and the
// worker that imports a list all or nothing.
#include "audio/sampleimport.h"
#include "tests/support/audiofiles.h"
#include "tests/support/testfiles.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

// Decodes a file for the sampler at 44100 Hz.
struct Decoded
{
    DecodedAudio audio;
    QString error;
    DecodeResult result;
    Decoded(const QString &path, ImportChannels channels = ImportChannels::KeepStereo,
            const ImportProgress &progress = ImportProgress())
        : result(decodeAudioFile(path, 44100.0, channels, audio, &error, progress))
    {
    }
    bool ok() const { return result == DecodeResult::Ok; }
};

// Whether the estimated pitch lies within two bins of f.
bool pitchNear(const FrequencyEstimate &e, double f)
{
    return std::fabs(e.frequency - f) <= 2.0 * 44100.0 / e.transformSize;
}

float peak(const std::vector<StereoFrame> &frames, int element, size_t from)
{
    float m = 0.0f;
    for (size_t i = from; i < frames.size(); ++i)
        m = std::max(m, std::fabs(frames[i][size_t(element)]));
    return m;
}

} // namespace

class TestSampleImport : public QObject
{
    Q_OBJECT
private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    void stereoFileIsResampledAndKeepsItsSides()
    {
        // 48 kHz stereo WAV: a loud 440 Hz sine on the left, a quiet 660 Hz one on the right.
        const QString path = dir->filePath("Duo.wav");
        QVERIFY(audiofiles::write(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2,
                                  audiofiles::sines({440.0, 660.0}, {0.8, 0.25}, 48000, 48000)));
        std::vector<double> shares;
        const Decoded d(path, ImportChannels::KeepStereo, [&](double share) {
            shares.push_back(share);
            return true;
        });
        QVERIFY(d.ok());
        QCOMPARE(d.audio.sourceRate, 48000);
        QCOMPARE(d.audio.sourceChannels, 2);
        // One second stays one second at the new rate.
        QVERIFY2(std::abs(int(d.audio.frames.size()) - 44100) <= 4,
                 qPrintable(QString::number(d.audio.frames.size())));
        // The left channel goes to element 1, which the engine plays on the left output.
        QVERIFY(std::fabs(peak(d.audio.frames, 1, 1000) - 0.8f) < 0.01f);
        QVERIFY(std::fabs(peak(d.audio.frames, 0, 1000) - 0.25f) < 0.01f);
        // Progress rises to the whole file.
        QVERIFY(!shares.empty());
        QVERIFY(std::is_sorted(shares.begin(), shares.end()));
        QCOMPARE(shares.back(), 1.0);

        // A real resampler keeps the tone's pitch: the left sine is still 440 Hz.
        std::vector<StereoFrame> left;
        for (const StereoFrame &f : d.audio.frames)
            left.push_back({f[1], f[1]});
        QVERIFY(pitchNear(estimateFrequency(left, 44100.0), 440.0));

        // Mixed to mono both elements carry the average.
        const Decoded mono(path, ImportChannels::MixToMono);
        QVERIFY(mono.ok());
        for (size_t i = 0; i < mono.audio.frames.size(); i += 97)
            QCOMPARE(mono.audio.frames[i][0], mono.audio.frames[i][1]);
        QVERIFY(peak(mono.audio.frames, 0, 1000) < 0.53f);
        QVERIFY(peak(mono.audio.frames, 0, 1000) > 0.45f);
    }

    void otherFormatsAndChannelCounts()
    {
        // 16-bit AIFF at the sampler's rate: no resampling, the values come back as written.
        std::vector<float> ramp(3000);
        for (size_t i = 0; i < ramp.size(); ++i)
            ramp[i] = float(int(i % 200) - 100) / 128.0f;
        const QString aiff = dir->filePath("Ramp.aiff");
        QVERIFY(audiofiles::write(aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 1, ramp));
        Decoded d(aiff);
        QVERIFY(d.ok());
        QCOMPARE(int(d.audio.frames.size()), 3000);
        // libsndfile writes floats with 32767 and reads with 32768: two steps of slack.
        for (size_t i = 0; i < ramp.size(); ++i) {
            QVERIFY(std::fabs(d.audio.frames[i][0] - ramp[i]) <= 2.0f / 32768.0f);
            QCOMPARE(d.audio.frames[i][0], d.audio.frames[i][1]);
        }

        // FLAC at 22050 Hz doubles its frame count; Ogg Vorbis at 32 kHz keeps its pitch.
        const QString flac = dir->filePath("Low.flac");
        QVERIFY(audiofiles::write(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 1,
                                  audiofiles::sines({220.0}, {0.5}, 22050, 11025)));
        const Decoded low(flac);
        QVERIFY(low.ok() && std::abs(int(low.audio.frames.size()) - 22050) <= 4);
        const QString ogg = dir->filePath("Tone.ogg");
        QVERIFY(audiofiles::write(ogg, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 32000, 1,
                                  audiofiles::sines({330.0}, {0.5}, 32000, 32000)));
        const Decoded tone(ogg);
        QVERIFY(tone.ok() && pitchNear(estimateFrequency(tone.audio.frames, 44100.0), 330.0));

        // Four channels are mixed down even when stereo is kept.
        const QString quad = dir->filePath("Quad.wav");
        QVERIFY(audiofiles::write(quad, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 4,
                                  std::vector<float>(400, 0.5f)));
        const Decoded four(quad);
        QVERIFY(four.ok());
        QCOMPARE(int(four.audio.frames.size()), 100);
        QCOMPARE(four.audio.frames[50][0], 0.5f);
        QCOMPARE(four.audio.frames[50][1], 0.5f);
    }

    // Not audio, missing, a header without a single frame, longer than a sample may be (61 s
    // of 8 kHz silence); and a cancel from the progress report: nothing comes back.
    void unreadableAndCancelledFilesGiveNothing()
    {
        QVERIFY(testfiles::write(dir->filePath("notes.wav"), "a text file, not a RIFF file"));
        QVERIFY(audiofiles::write(dir->filePath("empty.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                  44100, 1, {}));
        QVERIFY(audiofiles::write(dir->filePath("long.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000,
                                  1, std::vector<float>(8000 * 61, 0.0f)));
        for (const char *name : {"notes.wav", "gone.wav", "empty.wav", "long.wav"}) {
            const Decoded d(dir->filePath(name));
            QVERIFY2(d.result == DecodeResult::Failed && !d.error.isEmpty(), name);
            QVERIFY(d.audio.frames.empty());
        }
        QVERIFY(Decoded(dir->filePath("long.wav")).error.contains("60 seconds"));

        const QString path = dir->filePath("Long.wav");
        QVERIFY(audiofiles::write(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1,
                                  audiofiles::sines({440.0}, {0.5}, 48000, 48000 * 5)));
        int calls = 0;
        const Decoded d(path, ImportChannels::KeepStereo, [&](double) { return ++calls < 3; });
        QCOMPARE(int(d.result), int(DecodeResult::Cancelled));
        QCOMPARE(calls, 3);
        QVERIFY(d.audio.frames.empty());
    }

    void workerImportsAllOrNothing()
    {
        const QString a = dir->filePath("Marimba C3.wav");
        const QString b = dir->filePath("Bell.flac");
        QVERIFY(audiofiles::write(a, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 1,
                                  audiofiles::sines({130.81}, {0.7}, 44100, 30000)));
        QVERIFY(audiofiles::write(b, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 96000, 2,
                                  audiofiles::sines({523.25, 523.25}, {0.5, 0.5}, 96000, 60000)));

        KorvaneSampleImport import;
        QSignalSpy progress(&import, &KorvaneSampleImport::Progress);
        QSignalSpy finished(&import, &KorvaneSampleImport::Finished);
        QVERIFY(import.start({a, b}, 44100.0, ImportChannels::KeepStereo));
        QVERIFY(import.isRunning());
        QVERIFY(!import.start({a}, 44100.0, ImportChannels::KeepStereo)); // one at a time
        QVERIFY(finished.wait(20000));
        QVERIFY(!import.isRunning());
        QCOMPARE(int(import.result()), int(DecodeResult::Ok));
        std::vector<ImportedSample> samples = import.takeSamples();
        QCOMPARE(int(samples.size()), 2);
        QCOMPARE(samples[0].sourceName, QString("Marimba C3.wav"));
        QCOMPARE(samples[1].sourceName, QString("Bell.flac"));
        QCOMPARE(int(samples[0].frames.size()), 30000);
        QVERIFY(std::abs(int(samples[1].frames.size()) - 27563) <= 4);
        QVERIFY(pitchNear(samples[0].estimate, 130.81));
        QVERIFY(pitchNear(samples[1].estimate, 523.25));
        // Progress names the file and rises through both.
        QVERIFY(progress.size() >= 2);
        QCOMPARE(progress.first().at(1).toInt(), 0);
        QCOMPARE(progress.last().at(1).toInt(), 1);
        QCOMPARE(progress.last().at(2).toString(), QString("Bell.flac"));
        QCOMPARE(progress.last().at(0).toInt(), 1000);

        // One unreadable file in the list: nothing is handed over and the error names it.
        const QString junk = dir->filePath("broken.ogg");
        QVERIFY(testfiles::write(junk, QByteArray(4096, 'x')));
        finished.clear();
        QVERIFY(import.start({a, junk, b}, 44100.0, ImportChannels::KeepStereo));
        QVERIFY(finished.wait(20000));
        QCOMPARE(int(import.result()), int(DecodeResult::Failed));
        QVERIFY(import.errorText().startsWith("broken.ogg cannot be imported"));
        QVERIFY(import.takeSamples().empty());
    }

    void cancelledWorkerHandsOverNothing()
    {
        // Several long files; the cancel comes with the first progress report.
        QStringList files;
        for (int i = 0; i < 4; ++i) {
            files << dir->filePath(QStringLiteral("Pad %1.wav").arg(i));
            QVERIFY(audiofiles::write(
                files.last(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2,
                audiofiles::sines({220.0, 221.0}, {0.5, 0.5}, 22050, 22050 * 20)));
        }
        KorvaneSampleImport import;
        QSignalSpy finished(&import, &KorvaneSampleImport::Finished);
        connect(&import, &KorvaneSampleImport::Progress, &import, &KorvaneSampleImport::cancel);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(import.start(files, 44100.0, ImportChannels::KeepStereo));
        QVERIFY(finished.wait(60000));
        QCOMPARE(int(import.result()), int(DecodeResult::Cancelled));
        QVERIFY(import.takeSamples().empty());
        qInfo() << "cancelled after" << timer.elapsed() << "ms";

        // Destroying a running import cancels and waits for it.
        auto running = std::make_unique<KorvaneSampleImport>();
        QVERIFY(running->start(files, 44100.0, ImportChannels::KeepStereo));
        running.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_GUILESS_MAIN(TestSampleImport)
#include "tst_sampleimport.moc"
