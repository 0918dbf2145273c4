#include "korvaneaudioengine.h"

#include "korvaneaudioengine_p.h"

#include <QDebug>

namespace {
const int drainIntervalMs = 20;
const int streamCheckIntervalMs = 1000;
} // namespace

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
    close();
    d->requestedRate = sampleRate;
    qInfo() << "Initializing Core Audio output";
    AudioStreamRequest request;
    request.sampleRate = unsigned(sampleRate);
    AudioStreamInfo info;
    const bool ok = d->backend && d->backend->open(request, d, info);
    return streamOpened(ok, info);
}

void KorvaneAudioEngine::initInBackground(int sampleRate)
{
    close();
    d->requestedRate = sampleRate;
    qInfo() << "Initializing Core Audio output";
    AudioStreamRequest request;
    request.sampleRate = unsigned(sampleRate);
    d->opening = true;
    const unsigned number = ++d->openNumber;
    AudioBackend *backend = d->backend.get();
    AudioStreamClient *client = d;
    d->opener = std::thread([this, backend, client, request, number] {
        auto info = std::make_shared<AudioStreamInfo>();
        const bool ok = backend && backend->open(request, client, *info);
        // Delivered on the engine's thread; dropped with the engine when it is gone.
        QMetaObject::invokeMethod(
            this,
            [this, ok, info, number] {
                if (!d->opening || number != d->openNumber)
                    return;
                d->opener.join();
                d->opening = false;
                streamOpened(ok, *info);
            },
            Qt::QueuedConnection);
    });
}

bool KorvaneAudioEngine::isOpening() const
{
    return d->opening;
}

bool KorvaneAudioEngine::streamOpened(bool ok, const AudioStreamInfo &info)
{
    for (const std::string &line : info.log)
        qInfo().noquote() << QString::fromStdString(line);
    d->followStream(ok ? info.sampleRate : 0);
    qInfo() << "Sampler running at" << int(d->streamRate) << "Hz";
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
    if (d->opener.joinable())
        d->opener.join();
    d->opening = false;
    ++d->openNumber;
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
    request.sampleRate = unsigned(d->requestedRate);
    AudioStreamInfo info;
    if (!d->backend->open(request, d, info))
        return; // tried again at the next check
    d->streamLost = false;
    // A server that came back at another rate.
    if (info.sampleRate != 0 && info.sampleRate != unsigned(d->streamRate)) {
        d->followStream(info.sampleRate);
        qInfo() << "Sampler running at" << int(d->streamRate) << "Hz";
    }
    qInfo().noquote() << "audio stream reopened on" << QString::fromStdString(info.outputDevice)
                      << "through" << QString::fromStdString(info.api);
    emit SendStatusMessage(QStringLiteral("Sound server back: sound on %1")
                               .arg(QString::fromStdString(info.outputDevice)));
}

bool KorvaneAudioEngine::isStreamRunning() const
{
    return !d->opening && d->backend && d->backend->isRunning();
}

// ---------------------------------------------------------------- playing

void KorvaneAudioEngine::noteOn(int channel, int note, int velocity)
{
    d->sampler.noteOn(channel, note, velocity);
    emit SendStatusMessage(d->sampler.lastMessage());
}

bool KorvaneAudioEngine::postPlayEvent(const KorvanePlayEvent &event) noexcept
{
    return d->sampler.postEvent(event);
}

void KorvaneAudioEngine::applyPlayEvents()
{
    if (!isStreamRunning())
        d->sampler.applyPostedEvents();
}

void KorvaneAudioEngine::reportLastNote()
{
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
    // Files without the block play in mode 0, whatever the previous instrument used.
    setControllerMode(instrument.hasControllerMode ? instrument.controllerMode : 0);
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
    const FrequencyEstimate est = estimateFrequency(sample.frames, Private::fileRate);
    emit SendAnalyzeData(AnalyzeDataView{est.magnitudes.data(), int(est.magnitudes.size()),
                                         est.peakIndex, est.maxValue});
    const int ms = int(sample.frames.size() * 1000.0 / Private::fileRate);
    emit SendSamplerMessage(QStringLiteral("New Sample: %1 msecs. Frequency estimate: %2 Hz")
                                .arg(ms)
                                .arg(QString::number(est.frequency, 'g', 6)));
    d->sampler.setSampleBaseFrequency(index, est.frequency);
}

double KorvaneAudioEngine::sampleRate() const
{
    return Private::fileRate;
}
double KorvaneAudioEngine::streamRate() const
{
    return d->streamRate;
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
