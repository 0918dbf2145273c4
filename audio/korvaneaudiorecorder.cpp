// The engine's recorder: input from the stream's ring into a buffer, then cut, converted to
// the sample rate of the files, analysed and added to the sampler as a sample.
#include "korvaneaudioengine_p.h"

#include "recordinganalysis.h"

#include <QDebug>

// ---------------------------------------------------------------- recording

void KorvaneAudioEngine::startRecording()
{
    // Throw away whatever input is still waiting from before.
    d->capturing.store(false, std::memory_order_release);
    pumpInput();
    d->recording = true;
    d->recordedFrames = 0;
    d->recordBuffer.clear();
    d->capturing.store(true, std::memory_order_release);
    d->drainTimer.start();
    emit SendSamplerMessage(QStringLiteral("Recording sample..."));
}

void KorvaneAudioEngine::beginActionRecording(int note)
{
    startRecording();
    d->actionRecordNote = note;
}

void KorvaneAudioEngine::stopRecording()
{
    // Nothing taken since the last processing (a second Stop): no sample to add again.
    if (!d->recording && d->recordBuffer.empty())
        return;
    pumpInput();
    d->stopCapture();
    d->recording = false;
    emit SendSamplerMessage(QStringLiteral("Rec over after %1 msecs. Processing...")
                                .arg(d->milliseconds(int(d->recordBuffer.size()))));
    d->process(-1);
}

void KorvaneAudioEngine::endActionRecording()
{
    pumpInput();
    d->stopCapture();
    d->recording = false;
    emit SendSamplerMessage(QStringLiteral("Action Rec over after %1 msecs. Processing...")
                                .arg(d->milliseconds(int(d->recordBuffer.size()))));
    d->process(d->actionRecordNote);
}

void KorvaneAudioEngine::appendInput(const double *values, int count)
{
    if (!d->recording || count <= 0)
        return;
    const int limit = d->recordLimit();
    const int take = std::min(count, limit - d->recordedFrames);
    d->recordBuffer.insert(d->recordBuffer.end(), values, values + take);
    d->recordedFrames += take;
    if (d->recordedFrames >= limit) {
        d->recording = false;
        d->stopCapture();
        emit RecEnded();
    }
}

void KorvaneAudioEngine::pumpInput()
{
    d->drainScratch.resize(4096);
    for (;;) {
        const size_t n = d->inputRing.pop(d->drainScratch.data(), d->drainScratch.size());
        if (n == 0)
            break;
        appendInput(d->drainScratch.data(), int(n));
    }
}

void KorvaneAudioEngine::Private::process(int note)
{
    // Samples keep 44100 Hz frames whatever rate the stream runs at.
    if (streamRate != fileRate)
        recordBuffer = convertRate(recordBuffer, streamRate, fileRate);
    const int n = int(recordBuffer.size());
    qInfo() << "processing rec buffer, size: " << n;
    const RecordingCut cut = cutRecording(recordBuffer);
    // Processed once: a later stop request finds nothing to add.
    recordBuffer.clear();
    emit q->SendRecData(RecordView{cut.levels.data(), n, cut.start, cut.end, 1.0});

    std::vector<StereoFrame> frames;
    frames.reserve(cut.taken.size());
    for (double v : cut.taken)
        frames.push_back({float(v), float(v)});
    std::vector<StereoFrame> normalised = frames;
    // Nothing above zero cannot be normalised (and would divide by zero).
    if (frames.empty() || !normaliseFrames(normalised)) {
        emit q->SendSamplerMessage(QStringLiteral("Recording was only silence. Skipping.."));
        return;
    }

    const FrequencyEstimate est = estimateFrequency(frames, fileRate);
    emit q->SendAnalyzeData(AnalyzeDataView{est.magnitudes.data(), int(est.magnitudes.size()),
                                            est.peakIndex, est.maxValue});
    const int ms = int(frames.size() * 1000.0 / fileRate);
    emit q->SendSamplerMessage(QStringLiteral("New Sample: %1 msecs. Frequency estimate: %2 Hz")
                                   .arg(ms)
                                   .arg(QString::number(est.frequency, 'g', 6)));

    SamplerSample sample;
    sample.baseFrequency = est.frequency;
    sample.loop = note >= 0 ? 1 : 0;
    sample.loopStart = 0;
    sample.loopEnd = int(std::lround(0.8 * double(frames.size())));
    sample.name = QStringLiteral("Recording");
    sample.start = 0;
    sample.volume = 1.0f;
    sample.key = keyForNewSample(note);
    sample.frames = std::move(normalised);
    if (note >= 0)
        sampler.replaceKeySample(note);
    sampler.addSample(std::move(sample), false);
    emit q->setUnsaved();
}

// The key rule of new samples: per-key mode gives an action recording its note and every
// other new sample the note of the next sensor; pitched mode keys everything to 60.
int KorvaneAudioEngine::Private::keyForNewSample(int note)
{
    if (sampler.getSamplerMode() != 1)
        return 60;
    if (note >= 0)
        return note;
    ++recordKeyCounter;
    const size_t node = size_t(recordKeyCounter % 18);
    return node < map.nodes.size() ? map.nodes[node].note : 60;
}

void KorvaneAudioEngine::importSample(std::vector<StereoFrame> frames, const QString &sourceName,
                                      const FrequencyEstimate &estimate)
{
    if (frames.empty())
        return;
    emit SendAnalyzeData(AnalyzeDataView{estimate.magnitudes.data(),
                                         int(estimate.magnitudes.size()), estimate.peakIndex,
                                         estimate.maxValue});
    emit SendSamplerMessage(QStringLiteral("Imported %1: %2 msecs. Frequency estimate: %3 Hz")
                                .arg(sourceName)
                                .arg(int(frames.size() * 1000.0 / Private::fileRate))
                                .arg(QString::number(estimate.frequency, 'g', 6)));
    SamplerSample sample;
    sample.baseFrequency = estimate.frequency;
    sample.loop = 0;
    sample.loopStart = 0;
    sample.loopEnd = int(std::lround(0.8 * double(frames.size())));
    sample.name = sourceName;
    sample.start = 0;
    sample.volume = 1.0f;
    sample.key = d->keyForNewSample(-1);
    sample.frames = std::move(frames);
    d->sampler.addSample(std::move(sample), false);
    emit setUnsaved();
}

int KorvaneAudioEngine::bumpRecordKeyCounter()
{
    return d->recordKeyCounter++;
}

void KorvaneAudioEngine::dropRecordKeyCounter()
{
    if (d->recordKeyCounter > 0)
        --d->recordKeyCounter;
}

void KorvaneAudioEngine::resetRecordKeyCounter()
{
    d->recordKeyCounter = 0;
}
bool KorvaneAudioEngine::isRecording() const
{
    return d->recording;
}
int KorvaneAudioEngine::recordedFrames() const
{
    return d->recordedFrames;
}
int KorvaneAudioEngine::recordKeyCounter() const
{
    return d->recordKeyCounter;
}
