// Audio files turned into samples: decoding through libsndfile (WAV, AIFF, FLAC, OGG and the
// other formats it knows), resampling through libsamplerate, and a worker thread that imports
// a list of files with progress and cancel. Plain C++ apart from QtCore.
#pragma once

#include "base/samplertypes.h"
#include "recordinganalysis.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

enum class ImportChannels
{
    KeepStereo, // stereo files stay stereo; other channel counts are mixed to mono
    MixToMono,  // every file is mixed to mono
};

// Imports longer than this are refused: a sample is a note, not a song.
constexpr double kMaxImportSeconds = 60.0;

struct DecodedAudio
{
    // Frames at the target rate. Element 1 holds the left channel and element 0 the right,
    // because the audio engine sends element 1 to output channel 0.
    std::vector<StereoFrame> frames;
    int sourceRate = 0;
    int sourceChannels = 0;
    long long sourceFrames = 0;
};

// Called now and then with the share of the file done (0..1); returning false cancels.
using ImportProgress = std::function<bool(double)>;

enum class DecodeResult
{
    Ok,
    Failed,    // *error says why; out is empty
    Cancelled, // out is empty
};

// Reads the whole file, mixes or keeps its channels and resamples it to targetRate.
DecodeResult decodeAudioFile(const QString &path, double targetRate, ImportChannels channels,
                             DecodedAudio &out, QString *error,
                             const ImportProgress &progress = ImportProgress());

// The estimate of an imported sample: the first 12 seconds (as much as a recording holds).
FrequencyEstimate estimateImportedFrequency(const std::vector<StereoFrame> &frames,
                                            double sampleRate);

// One file made ready for the sampler: its frames and their pitch estimate.
struct ImportedSample
{
    QString sourceName; // the file's name without its folder
    std::vector<StereoFrame> frames;
    FrequencyEstimate estimate;
};

// Imports a list of files on a worker thread. Nothing is handed over unless every file was
// read: a file that cannot be read, or a cancel, ends the whole import with no samples.
// Construct, start and read the results on the GUI thread; the signals arrive there queued.
class KorvaneSampleImport : public QObject
{
    Q_OBJECT
public:
    explicit KorvaneSampleImport(QObject *parent = nullptr);
    ~KorvaneSampleImport() override; // cancels and waits for the worker

    // Returns false when an import is already running.
    bool start(const QStringList &files, double targetRate, ImportChannels channels);
    void cancel();
    bool isRunning() const { return running; }

    // After Finished: the outcome, and the samples when it is Ok (taken out once).
    DecodeResult result() const { return outcome; }
    QString errorText() const { return error; }
    std::vector<ImportedSample> takeSamples();

signals:
    // permille of the whole import; fileIndex is 0-based.
    void Progress(int permille, int fileIndex, QString fileName);
    void Finished();

private slots:
    void workerDone();

private:
    void run(QStringList files, double targetRate, ImportChannels channels);
    void join();

    std::thread worker;
    std::atomic<bool> cancelRequested{false};
    bool running = false;
    // Written by the worker before it reports Finished; read on the GUI thread after.
    DecodeResult outcome = DecodeResult::Ok;
    QString error;
    std::vector<ImportedSample> samples;
};
