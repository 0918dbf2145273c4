#include "korvaneaudioengine.h"

#include "audiobackend.h"
#include "korvanesampler.h"
#include "recordinganalysis.h"
#include "spscring.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {
const int renderChunk = 128;
const int inputRingFrames = 1 << 18; // about six seconds of input between drains
const int drainIntervalMs = 20;
const int streamCheckIntervalMs = 1000;
} // namespace

struct KorvaneAudioEngine::Private : public AudioStreamClient
{
    explicit Private(KorvaneAudioEngine *q, std::unique_ptr<AudioBackend> b)
        : q(q), sampler(44100.0), inputRing(inputRingFrames), backend(std::move(b))
    {
    }

    // Stream thread: record input, measure its level, render the sampler.
    void processAudio(double *out, const double *in, unsigned frames) noexcept override
    {
        if (in) {
            double sum = 0.0;
            const bool capture = capturing.load(std::memory_order_acquire);
            for (unsigned i = 0; i < frames; ++i) {
                const double mono = (in[2 * i] + in[2 * i + 1]) * 0.5;
                sum += std::fabs(mono);
                if (capture)
                    inputRing.push(mono);
            }
            level.store(float(frames ? sum / frames : 0.0), std::memory_order_relaxed);
        }
        if (mute.load(std::memory_order_relaxed)) {
            std::fill(out, out + size_t(frames) * 2, 0.0);
            return;
        }
        StereoFrame chunk[renderChunk];
        for (unsigned done = 0; done < frames;) {
            const int n = int(std::min<unsigned>(renderChunk, frames - done));
            sampler.render(chunk, n);
            for (int i = 0; i < n; ++i) {
                // The frame's elements go out crossed: element 1 on channel 0.
                out[2 * (done + i)] = chunk[i][1];
                out[2 * (done + i) + 1] = chunk[i][0];
            }
            done += unsigned(n);
        }
    }

    void process(int note);
    int keyForNewSample(int note);
    int recordLimit() const { return int(std::lround(sampleRate * 12.0)); }
    void stopCapture()
    {
        capturing.store(false, std::memory_order_release);
        drainTimer.stop();
    }
    QString milliseconds(int frames) const
    {
        return QString::number(std::lround(frames * 1000.0 / sampleRate));
    }

    KorvaneAudioEngine *q;
    KorvaneSampler sampler;
    SpscRing<double> inputRing;
    std::atomic<bool> mute{false};
    std::atomic<bool> capturing{false};
    std::atomic<float> level{0.0f};

    // GUI thread only.
    double sampleRate = 44100.0;
    float inputThreshold = 0.0f;
    bool recording = false;
    int recordedFrames = 0;
    std::vector<double> recordBuffer;
    int actionRecordNote = -1;
    int recordKeyCounter = 0;
    KorvaneSensorsState map;
    QTimer drainTimer;
    std::vector<double> drainScratch;
    // The stream should run (init succeeded, no close since); lost: it stopped by itself.
    bool streamWanted = false;
    bool streamLost = false;
    QTimer streamCheck;

    // Last, so it is destroyed (and its stream closed) before everything the callback uses.
    std::unique_ptr<AudioBackend> backend;
};

KorvaneAudioEngine::KorvaneAudioEngine(QObject *parent)
    : KorvaneAudioEngine(createRtAudioBackend(), parent)
{
}

KorvaneAudioEngine::KorvaneAudioEngine(std::unique_ptr<AudioBackend> backend, QObject *parent)
    : QObject(parent), d(new Private(this, std::move(backend)))
{
    registerSamplerMetaTypes();
    d->drainTimer.setInterval(drainIntervalMs);
    connect(&d->drainTimer, &QTimer::timeout, this, &KorvaneAudioEngine::pumpInput);
    d->streamCheck.setInterval(streamCheckIntervalMs);
    connect(&d->streamCheck, &QTimer::timeout, this, &KorvaneAudioEngine::checkStream);
}

KorvaneAudioEngine::~KorvaneAudioEngine()
{
    close();
    delete d;
}

// ---------------------------------------------------------------- stream

bool KorvaneAudioEngine::init(int sampleRate)
{
    d->sampleRate = sampleRate;
    qInfo() << "Sampler running at" << sampleRate << "Hz";
    qInfo() << "Initializing Core Audio output";
    AudioStreamRequest request;
    request.sampleRate = unsigned(sampleRate);
    AudioStreamInfo info;
    const bool ok = d->backend && d->backend->open(request, d, info);
    for (const std::string &line : info.log)
        qInfo().noquote() << QString::fromStdString(line);
    if (!ok) {
        qWarning().noquote() << "no audio stream:" << QString::fromStdString(info.error);
        emit SendStatusMessage(
            QStringLiteral("No sound device could be opened (%1): the test sound is off")
                .arg(QString::fromStdString(info.error)));
        return false;
    }
    qInfo().noquote() << "connecting input to"
                      << (info.inputDevice.empty() ? QStringLiteral("(none)")
                                                   : QString::fromStdString(info.inputDevice));
    qInfo().noquote() << "connecting output to" << QString::fromStdString(info.outputDevice)
                      << "through" << QString::fromStdString(info.api);
    if (info.inputDevice.empty())
        emit SendStatusMessage(
            QStringLiteral("Sound output on %1; no input device, recording is not available")
                .arg(QString::fromStdString(info.outputDevice)));
    d->streamWanted = true;
    d->streamLost = false;
    d->streamCheck.start();
    return true;
}

void KorvaneAudioEngine::close()
{
    d->streamWanted = false;
    d->streamCheck.stop();
    if (d->backend)
        d->backend->close();
}

void KorvaneAudioEngine::checkStream()
{
    if (!d->streamWanted || !d->backend)
        return;
    if (!d->streamLost) {
        if (d->backend->isRunning())
            return;
        // The server closed the stream under us (its own thread has finished closing it once
        // the stream no longer reports running). Release our side and start over.
        d->streamLost = true;
        d->backend->close();
        qWarning() << "audio stream lost";
        emit SendStatusMessage(
            QStringLiteral("Sound server lost: the test sound is off until it comes back"));
    }
    AudioStreamRequest request;
    request.sampleRate = unsigned(d->sampleRate);
    AudioStreamInfo info;
    if (!d->backend->open(request, d, info))
        return; // tried again at the next check
    d->streamLost = false;
    qInfo().noquote() << "audio stream reopened on" << QString::fromStdString(info.outputDevice)
                      << "through" << QString::fromStdString(info.api);
    emit SendStatusMessage(QStringLiteral("Sound server back: sound on %1")
                               .arg(QString::fromStdString(info.outputDevice)));
}

bool KorvaneAudioEngine::isStreamRunning() const
{
    return d->backend && d->backend->isRunning();
}

// ---------------------------------------------------------------- playing

void KorvaneAudioEngine::noteOn(int channel, int note, int velocity)
{
    d->sampler.noteOn(channel, note, velocity);
    emit SendStatusMessage(d->sampler.lastMessage());
}

void KorvaneAudioEngine::noteOff(int channel, int note)
{
    d->sampler.noteOff(channel, note);
}

void KorvaneAudioEngine::change(int channel, int note, int type, int value)
{
    d->sampler.change(channel, note, type, value);
}

void KorvaneAudioEngine::allNotesOff()
{
    d->sampler.allNotesOff();
}

void KorvaneAudioEngine::setMute(bool on)
{
    d->mute.store(on);
}
bool KorvaneAudioEngine::isMuted() const
{
    return d->mute.load();
}
void KorvaneAudioEngine::setMasterVolume(float volume)
{
    d->sampler.setMasterVolume(volume);
}
void KorvaneAudioEngine::setInputThreshold(float threshold)
{
    d->inputThreshold = threshold;
}

float KorvaneAudioEngine::inputLevel() const
{
    return std::clamp(d->level.load(std::memory_order_relaxed), 0.0f, 1.0f);
}

void KorvaneAudioEngine::previewPlay(int sampleId)
{
    d->sampler.previewPlay(sampleId);
}
void KorvaneAudioEngine::previewStop()
{
    d->sampler.previewStop();
}

// ---------------------------------------------------------------- instrument

void KorvaneAudioEngine::flushMemory()
{
    d->sampler.allNotesOff();
    d->sampler.flushMemory();
    emit setUnsaved();
    emit SendStatusMessage(QStringLiteral("Sampler memory flushed"));
}

void KorvaneAudioEngine::prepareRecordSampler()
{
    d->sampler.setSamplerMode(1);
    flushMemory();
}

void KorvaneAudioEngine::flushPrevious()
{
    d->sampler.flushPrevious();
    emit setUnsaved();
    emit SendStatusMessage(QStringLiteral("Previous sample flushed"));
}

void KorvaneAudioEngine::deleteSample(int index)
{
    d->sampler.deleteSample(index);
    emit setUnsaved();
}

void KorvaneAudioEngine::setSamplerMode(int mode)
{
    d->sampler.setSamplerMode(mode);
    emit setUnsaved();
}

int KorvaneAudioEngine::samplerMode() const
{
    return d->sampler.getSamplerMode();
}

void KorvaneAudioEngine::setControllerMode(int mode)
{
    d->sampler.setControllerMode(mode);
    emit setUnsaved();
}

int KorvaneAudioEngine::controllerMode() const
{
    return d->sampler.controllerMode();
}

void KorvaneAudioEngine::setSampleKey(int sampleId, int key)
{
    d->sampler.setSampleKey(sampleId, key);
    emit setUnsaved();
}

KorvaneLayerView KorvaneAudioEngine::getLayerView() const
{
    return d->sampler.getLayerView();
}

void KorvaneAudioEngine::setLayerView(const KorvaneLayerView &view)
{
    d->sampler.setLayerView(view);
    emit setUnsaved();
}

void KorvaneAudioEngine::addSample(const SamplerSample &sample, bool keepName)
{
    d->sampler.addSample(sample, keepName);
    emit setUnsaved();
}

void KorvaneAudioEngine::loadInstrument(const KorvaneInstrument &instrument)
{
    KorvaneSampler &s = d->sampler;
    s.allNotesOff();
    s.setReady(false);
    setSamplerMode(instrument.samplerMode);
    flushMemory();
    for (const SamplerSample &sample : instrument.samples)
        qInfo() << "name size: " << sample.name.toUtf8().size();
    // Loaded samples are numbered afresh from 0 and keep their stored names.
    s.addSamples(instrument.samples, true);
    emit setUnsaved();
    if (instrument.hasNextSampleId) {
        // Never below the ids just given out, so later samples get ids of their own.
        s.setNextSampleId(std::max(instrument.nextSampleId, s.getNextSampleId()));
    }
    if (instrument.hasEnvelope)
        s.setEnvelope(instrument.envelope);
    if (instrument.hasReverb)
        s.setReverb(instrument.reverb);
    if (instrument.hasVolumes)
        for (int i = 0; i < int(instrument.samples.size()); ++i)
            s.setSampleVolume(i, instrument.samples[size_t(i)].volume);
    if (instrument.hasControllerMode)
        setControllerMode(instrument.controllerMode);
    s.setReady(true);
}

KorvaneInstrument KorvaneAudioEngine::currentInstrument() const
{
    const KorvaneSampler &s = d->sampler;
    KorvaneInstrument ins;
    ins.samplerMode = s.getSamplerMode();
    for (int i = 0; i < s.sampleCount(); ++i)
        ins.samples.push_back(s.sampleAt(i));
    ins.hasNextSampleId = true;
    ins.nextSampleId = s.getNextSampleId();
    ins.hasEnvelope = true;
    ins.envelope = s.getEnvelope();
    ins.hasReverb = true;
    ins.reverb = s.getReverb();
    ins.hasVolumes = true;
    ins.controllerMode = s.controllerMode();
    return ins;
}

void KorvaneAudioEngine::reestimate(int index)
{
    if (index < 0 || index >= d->sampler.sampleCount())
        return;
    const SamplerSample sample = d->sampler.sampleAt(index);
    const FrequencyEstimate est = estimateFrequency(sample.frames, d->sampleRate);
    emit SendAnalyzeData(AnalyzeDataView{est.magnitudes.data(), int(est.magnitudes.size()),
                                         est.peakIndex, est.maxValue});
    const int ms = int(sample.frames.size() * 1000.0 / d->sampleRate);
    emit SendSamplerMessage(QStringLiteral("New Sample: %1 msecs. Frequency estimate: %2 Hz")
                                .arg(ms)
                                .arg(QString::number(est.frequency, 'g', 6)));
    d->sampler.setSampleBaseFrequency(index, est.frequency);
}

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

    const FrequencyEstimate est = estimateFrequency(frames, sampleRate);
    emit q->SendAnalyzeData(AnalyzeDataView{est.magnitudes.data(), int(est.magnitudes.size()),
                                            est.peakIndex, est.maxValue});
    const int ms = int(frames.size() * 1000.0 / sampleRate);
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
                                .arg(int(frames.size() * 1000.0 / d->sampleRate))
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
double KorvaneAudioEngine::sampleRate() const
{
    return d->sampleRate;
}
const KorvaneSampler &KorvaneAudioEngine::sampler() const
{
    return d->sampler;
}

// ---------------------------------------------------------------- forwarded settings

void KorvaneAudioEngine::setEnvelope(const KorvaneEnvelope &envelope)
{
    d->sampler.setEnvelope(envelope);
}
KorvaneEnvelope KorvaneAudioEngine::envelope() const
{
    return d->sampler.getEnvelope();
}
void KorvaneAudioEngine::setAttack(int attack)
{
    d->sampler.setAttack(attack);
}
void KorvaneAudioEngine::setRelease(int release)
{
    d->sampler.setRelease(release);
}
void KorvaneAudioEngine::setReverb(const KorvaneSamplerReverb &reverb)
{
    d->sampler.setReverb(reverb);
}
KorvaneSamplerReverb KorvaneAudioEngine::reverb() const
{
    return d->sampler.getReverb();
}
void KorvaneAudioEngine::setReverbAmount(float amount)
{
    d->sampler.setReverbAmount(amount);
}
void KorvaneAudioEngine::setNextSampleId(int id)
{
    d->sampler.setNextSampleId(id);
}
int KorvaneAudioEngine::nextSampleId() const
{
    return d->sampler.getNextSampleId();
}
void KorvaneAudioEngine::setSampleVolume(int index, float volume)
{
    d->sampler.setSampleVolume(index, volume);
}
int KorvaneAudioEngine::sampleCount() const
{
    return d->sampler.sampleCount();
}
SamplerSample KorvaneAudioEngine::sampleAt(int index) const
{
    return d->sampler.sampleAt(index);
}
QString KorvaneAudioEngine::sampleName(int triggerIndex) const
{
    return d->sampler.sampleName(triggerIndex);
}
void KorvaneAudioEngine::setMap(const KorvaneSensorsState &map)
{
    d->map = map;
}
