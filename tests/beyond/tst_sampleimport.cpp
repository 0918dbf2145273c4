// Reading audio files into samples: formats, channels, resampling, refusals, cancel, and the
// worker that imports a list all or nothing.
#include "audio/sampleimport.h"
#include "tests/support/audiofiles.h"
#include "tests/support/testfiles.h"

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
    // Whether the estimated pitch lies within two bins of f.
    bool pitchNear(double f) const { return near(estimateFrequency(audio.frames, 44100.0), f); }
    static bool near(const FrequencyEstimate &e, double f)
    {
        return std::fabs(e.frequency - f) <= 2.0 * 44100.0 / e.transformSize;
    }
    float peak(int element) const
    {
        float m = 0.0f;
        for (size_t i = 1000; i < audio.frames.size(); ++i)
            m = std::max(m, std::fabs(audio.frames[i][size_t(element)]));
        return m;
    }
};

} // namespace

class TestSampleImport : public QObject
{
    Q_OBJECT
private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }
    void formatsChannelsAndRates()
    {
        // 48 kHz stereo WAV: a loud 440 Hz sine on the left, a quiet 660 Hz one on the right.
        const QString duo = tone("Duo.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, {440.0, 660.0},
                                 {0.8, 0.25}, 48000);
        std::vector<double> shares;
        Decoded d(duo, ImportChannels::KeepStereo, [&](double share) {
            shares.push_back(share);
            return true;
        });
        QVERIFY(d.ok());
        QCOMPARE(QList<int>({d.audio.sourceRate, d.audio.sourceChannels}), QList<int>({48000, 2}));
        // One second stays one second at the new rate.
        QVERIFY2(std::abs(int(d.audio.frames.size()) - 44100) <= 4,
                 qPrintable(QString::number(d.audio.frames.size())));
        // The left channel goes to element 1, which the engine plays on the left output.
        QVERIFY(std::fabs(d.peak(1) - 0.8f) < 0.01f);
        QVERIFY(std::fabs(d.peak(0) - 0.25f) < 0.01f);
        // Progress rises to the whole file.
        QVERIFY(!shares.empty() && std::is_sorted(shares.begin(), shares.end()));
        QCOMPARE(shares.back(), 1.0);
        // A real resampler keeps the tone's pitch: the left sine is still 440 Hz.
        for (StereoFrame &f : d.audio.frames)
            f[0] = f[1];
        QVERIFY(d.pitchNear(440.0));
        // Mixed to mono both elements carry the average.
        const Decoded mono(duo, ImportChannels::MixToMono);
        QVERIFY(mono.ok());
        for (size_t i = 0; i < mono.audio.frames.size(); i += 97)
            QCOMPARE(mono.audio.frames[i][0], mono.audio.frames[i][1]);
        QVERIFY(mono.peak(0) < 0.53f && mono.peak(0) > 0.45f);

        // 16-bit AIFF at the sampler's rate: no resampling, the values come back as written.
        std::vector<float> ramp(3000);
        for (size_t i = 0; i < ramp.size(); ++i)
            ramp[i] = float(int(i % 200) - 100) / 128.0f;
        const QString aiff = dir->filePath("Ramp.aiff");
        QVERIFY(audiofiles::write(aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 1, ramp));
        const Decoded r(aiff);
        QVERIFY(r.ok());
        QCOMPARE(int(r.audio.frames.size()), 3000);
        // libsndfile writes floats with 32767 and reads with 32768: two steps of slack.
        for (size_t i = 0; i < ramp.size(); ++i) {
            QVERIFY(std::fabs(r.audio.frames[i][0] - ramp[i]) <= 2.0f / 32768.0f);
            QCOMPARE(r.audio.frames[i][0], r.audio.frames[i][1]);
        }
        // Four channels are mixed down even when stereo is kept.
        const QString quad = dir->filePath("Quad.wav");
        QVERIFY(audiofiles::write(quad, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 4,
                                  std::vector<float>(400, 0.5f)));
        const Decoded four(quad);
        QVERIFY(four.ok());
        QCOMPARE(int(four.audio.frames.size()), 100);
        QVERIFY(four.audio.frames[50] == (StereoFrame{0.5f, 0.5f}));
    }
    // Missing, a header without a single frame, longer than a sample may be (61 s of 8 kHz
    // silence); and a cancel from the progress report: nothing comes back.
    void unreadableAndCancelledFilesGiveNothing()
    {
        const int pcm = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        QVERIFY(audiofiles::write(dir->filePath("empty.wav"), pcm, 44100, 1, {}));
        QVERIFY(audiofiles::write(dir->filePath("long.wav"), pcm, 8000, 1,
                                  std::vector<float>(8000 * 61, 0.0f)));
        for (const char *name : {"gone.wav", "empty.wav", "long.wav"}) {
            const Decoded d(dir->filePath(name));
            QVERIFY2(d.result == DecodeResult::Failed && !d.error.isEmpty(), name);
            QVERIFY(d.audio.frames.empty());
        }
        QVERIFY(Decoded(dir->filePath("long.wav")).error.contains("60 seconds"));
        int calls = 0;
        const Decoded d(tone("Long.wav", pcm, 48000, {440.0}, {0.5}, 48000 * 5),
                        ImportChannels::KeepStereo, [&](double) { return ++calls < 3; });
        QCOMPARE(int(d.result), int(DecodeResult::Cancelled));
        QCOMPARE(calls, 3);
        QVERIFY(d.audio.frames.empty());
    }
    void workerImportsAllOrNothing()
    {
        const QString a =
            tone("Marimba C3.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, {130.81}, {0.7}, 30000);
        const QString b = tone("Bell.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 96000,
                               {523.25, 523.25}, {0.5, 0.5}, 60000);
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
        QCOMPARE(QStringList({samples[0].sourceName, samples[1].sourceName}),
                 QStringList({"Marimba C3.wav", "Bell.flac"}));
        QCOMPARE(int(samples[0].frames.size()), 30000);
        QVERIFY(std::abs(int(samples[1].frames.size()) - 27563) <= 4);
        QVERIFY(Decoded::near(samples[0].estimate, 130.81));
        QVERIFY(Decoded::near(samples[1].estimate, 523.25));
        // Progress names the file and rises through both.
        QVERIFY(progress.size() >= 2);
        QCOMPARE(progress.first().at(1).toInt(), 0);
        QCOMPARE(progress.last(), QVariantList({1000, 1, "Bell.flac"}));

        // One unreadable file in the list: nothing is handed over and the error names it.
        const QString junk = dir->filePath("broken.ogg");
        QVERIFY(testfiles::write(junk, QByteArray(4096, 'x')));
        QVERIFY(import.start({a, junk, b}, 44100.0, ImportChannels::KeepStereo));
        QVERIFY(finished.wait(20000));
        QCOMPARE(int(import.result()), int(DecodeResult::Failed));
        QVERIFY(import.errorText().startsWith("broken.ogg cannot be imported"));
        QVERIFY(import.takeSamples().empty());

        // Several long files, cancelled with the first progress report: nothing handed over.
        QStringList pads;
        for (int i = 0; i < 4; ++i)
            pads << tone(QStringLiteral("Pad %1.wav").arg(i), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                         22050, {220.0, 221.0}, {0.5, 0.5}, 22050 * 20);
        connect(&import, &KorvaneSampleImport::Progress, &import, &KorvaneSampleImport::cancel);
        QVERIFY(import.start(pads, 44100.0, ImportChannels::KeepStereo));
        QVERIFY(finished.wait(60000));
        QCOMPARE(int(import.result()), int(DecodeResult::Cancelled));
        QVERIFY(import.takeSamples().empty());
        // Destroying a running import cancels and waits for it.
        auto running = std::make_unique<KorvaneSampleImport>();
        QVERIFY(running->start(pads, 44100.0, ImportChannels::KeepStereo));
    }

private:
    // Writes a file of sines (one a channel) in the temporary folder.
    QString tone(const QString &name, int format, int rate, const std::vector<double> &freqs,
                 const std::vector<double> &levels, long frames)
    {
        const QString path = dir->filePath(name);
        if (!audiofiles::write(path, format, rate, int(freqs.size()),
                               audiofiles::sines(freqs, levels, rate, frames)))
            QTest::qFail(qPrintable("could not write " + name), __FILE__, __LINE__);
        return path;
    }
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_GUILESS_MAIN(TestSampleImport)
#include "tst_sampleimport.moc"
