// Placeholder engine: keeps the instrument in memory and plays nothing. Replaced by the
// real sampler engine.
#include "korvaneaudioengine.h"

#include <QDebug>

struct KorvaneAudioEngine::Private
{
    bool mute = false;
    int mode = 0;
    int controllerMode = 0;
    int nextId = 0;
    int recordKeyCounter = 0;
    KorvaneEnvelope env;
    KorvaneSamplerReverb rev;
    std::vector<SamplerSample> samples;
    KorvaneSensorsState map;
};

KorvaneAudioEngine::KorvaneAudioEngine(QObject *parent) : QObject(parent), d(new Private) {}
KorvaneAudioEngine::~KorvaneAudioEngine() { delete d; }

bool KorvaneAudioEngine::init(int)
{
    emit SendStatusMessage(QStringLiteral("No audio output available"));
    return false;
}
void KorvaneAudioEngine::close() {}
bool KorvaneAudioEngine::isStreamRunning() const { return false; }
void KorvaneAudioEngine::noteOn(int, int, int) {}
void KorvaneAudioEngine::noteOff(int, int) {}
void KorvaneAudioEngine::change(int, int, int, int) {}
void KorvaneAudioEngine::allNotesOff() {}
void KorvaneAudioEngine::setMute(bool on) { d->mute = on; }
bool KorvaneAudioEngine::isMuted() const { return d->mute; }
void KorvaneAudioEngine::setMasterVolume(float) {}
void KorvaneAudioEngine::setInputThreshold(float) {}
float KorvaneAudioEngine::inputLevel() const { return 0.0f; }
void KorvaneAudioEngine::previewPlay(int) {}
void KorvaneAudioEngine::previewStop() {}
void KorvaneAudioEngine::flushMemory()
{
    d->samples.clear();
    d->nextId = 0;
    emit setUnsaved();
    emit SendStatusMessage(QStringLiteral("Sampler memory flushed"));
}
void KorvaneAudioEngine::prepareRecordSampler()
{
    d->mode = 1;
    flushMemory();
}
void KorvaneAudioEngine::flushPrevious()
{
    if (!d->samples.empty())
        d->samples.pop_back();
    emit setUnsaved();
    emit SendStatusMessage(QStringLiteral("Previous sample flushed"));
}
void KorvaneAudioEngine::deleteSample(int index)
{
    if (index >= 0 && index < int(d->samples.size()))
        d->samples.erase(d->samples.begin() + index);
    emit setUnsaved();
}
void KorvaneAudioEngine::setSamplerMode(int mode)
{
    d->mode = mode;
    emit setUnsaved();
}
int KorvaneAudioEngine::samplerMode() const { return d->mode; }
void KorvaneAudioEngine::setControllerMode(int mode) { d->controllerMode = mode; }
int KorvaneAudioEngine::controllerMode() const { return d->controllerMode; }
void KorvaneAudioEngine::setSampleKey(int, int) {}
KorvaneLayerView KorvaneAudioEngine::getLayerView() const
{
    KorvaneLayerView v;
    v.valid = true;
    v.samplerMode = d->mode;
    for (const auto &s : d->samples) {
        v.names << s.name;
        v.sampleIds << s.id;
    }
    return v;
}
void KorvaneAudioEngine::setLayerView(const KorvaneLayerView &) {}
void KorvaneAudioEngine::addSample(const SamplerSample &sample, bool keepName)
{
    SamplerSample s = sample;
    s.id = d->nextId++;
    if (!keepName)
        s.name = QString::number(s.id) + QLatin1Char(' ') + s.name;
    d->samples.push_back(s);
    emit setUnsaved();
}
void KorvaneAudioEngine::reestimate(int) {}
void KorvaneAudioEngine::loadInstrument(const KorvaneInstrument &instrument)
{
    d->mode = instrument.samplerMode;
    d->samples = instrument.samples;
    if (instrument.hasNextSampleId)
        d->nextId = instrument.nextSampleId;
    if (instrument.hasEnvelope)
        d->env = instrument.envelope;
}
KorvaneInstrument KorvaneAudioEngine::currentInstrument() const
{
    KorvaneInstrument ins;
    ins.samplerMode = d->mode;
    ins.samples = d->samples;
    ins.nextSampleId = d->nextId;
    ins.envelope = d->env;
    ins.reverb = d->rev;
    return ins;
}
void KorvaneAudioEngine::startRecording() {}
void KorvaneAudioEngine::stopRecording() {}
void KorvaneAudioEngine::beginActionRecording(int) {}
void KorvaneAudioEngine::endActionRecording() {}
int KorvaneAudioEngine::bumpRecordKeyCounter() { return d->recordKeyCounter++; }
void KorvaneAudioEngine::dropRecordKeyCounter()
{
    if (d->recordKeyCounter > 0)
        --d->recordKeyCounter;
}
void KorvaneAudioEngine::resetRecordKeyCounter() { d->recordKeyCounter = 0; }
void KorvaneAudioEngine::setEnvelope(const KorvaneEnvelope &envelope) { d->env = envelope; }
KorvaneEnvelope KorvaneAudioEngine::envelope() const { return d->env; }
void KorvaneAudioEngine::setAttack(int attack) { d->env.attack = attack; }
void KorvaneAudioEngine::setRelease(int release) { d->env.release = release; }
void KorvaneAudioEngine::setReverb(const KorvaneSamplerReverb &reverb) { d->rev = reverb; }
KorvaneSamplerReverb KorvaneAudioEngine::reverb() const { return d->rev; }
void KorvaneAudioEngine::setReverbAmount(float amount) { d->rev.amount = amount; }
void KorvaneAudioEngine::setNextSampleId(int id) { d->nextId = id; }
int KorvaneAudioEngine::nextSampleId() const { return d->nextId; }
void KorvaneAudioEngine::setSampleVolume(int index, float volume)
{
    if (index >= 0 && index < int(d->samples.size()))
        d->samples[index].volume = volume;
}
int KorvaneAudioEngine::sampleCount() const { return int(d->samples.size()); }
SamplerSample KorvaneAudioEngine::sampleAt(int index) const
{
    if (index >= 0 && index < int(d->samples.size()))
        return d->samples[index];
    return {};
}
QString KorvaneAudioEngine::sampleName(int) const { return QStringLiteral("untitled"); }
void KorvaneAudioEngine::setMap(const KorvaneSensorsState &map) { d->map = map; }
