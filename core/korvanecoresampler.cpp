// The hub's sampler side: device notes played on the sampler, recording, the sample list,
// previews, instruments, and sample import and export. Each request is handed to the audio
// engine or the instrument store; the hub only adds what the window is told.
#include "core/korvanecore.h"

#include "audio/korvaneaudioengine.h"
#include "core/korvaneinstrumentstore.h"

#include <QDateTime>
#include <QRandomGenerator>

QString KorvaneCore::GetSoundName() const
{
    return instruments->soundName();
}

QString KorvaneCore::GetSoundPath() const
{
    return instruments->soundPath();
}

bool KorvaneCore::IsSoundModified() const
{
    return instruments->isModified();
}

QString KorvaneCore::KeepUnsavedSound()
{
    return instruments->keepRecoveryCopy(dataPath + QStringLiteral("/sounds"),
                                         QDateTime::currentDateTime());
}

void KorvaneCore::MarkSoundModified()
{
    instruments->markModified();
}

float KorvaneCore::GetInputLevel() const
{
    const float level = audioEngine->inputLevel();
    return level < 0.0f ? 0.0f : (level > 1.0f ? 1.0f : level);
}

void KorvaneCore::MidiPlay(int channel, int note, int volume)
{
    audioEngine->noteOn(channel, note, volume);
    emit SendNoteTrigger(note, true, volume);
}

void KorvaneCore::MidiStop(int channel, int note, int volume)
{
    audioEngine->noteOff(channel, note);
    emit SendNoteTrigger(note, false, volume);
}

void KorvaneCore::MidiChange(int channel, int note, int type, int value)
{
    audioEngine->change(channel, note, type, value);
}

void KorvaneCore::DevicePlayed(int, int note, int volume)
{
    audioEngine->applyPlayEvents();
    audioEngine->reportLastNote();
    emit SendNoteTrigger(note, true, volume);
}

void KorvaneCore::DeviceStopped(int, int note, int volume)
{
    audioEngine->applyPlayEvents();
    emit SendNoteTrigger(note, false, volume);
}

void KorvaneCore::DeviceChanged()
{
    audioEngine->applyPlayEvents();
}

void KorvaneCore::StartRecord()
{
    audioEngine->startRecording();
}

void KorvaneCore::EndRecord()
{
    audioEngine->stopRecording();
    emit SendLayerView(audioEngine->getLayerView());
    emit RecEnded();
}

void KorvaneCore::ReadyRecSampler()
{
    audioEngine->prepareRecordSampler();
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::ActionStartRecord(int note)
{
    audioEngine->beginActionRecording(note);
}

void KorvaneCore::ActionEndRecord()
{
    audioEngine->endActionRecording();
    emit SendLayerView(audioEngine->getLayerView());
    emit RecEnded();
}

void KorvaneCore::FlushMemory()
{
    audioEngine->flushMemory();
    audioEngine->resetRecordKeyCounter();
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::FlushPrevious()
{
    audioEngine->flushPrevious();
    audioEngine->dropRecordKeyCounter();
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::FlushSelected(int i)
{
    audioEngine->deleteSample(i);
    audioEngine->dropRecordKeyCounter();
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::ReCalcSelected(int i)
{
    if (i < 0 || i >= audioEngine->sampleCount())
        return;
    audioEngine->reestimate(i); // a new base frequency
    instruments->markModified();
}

void KorvaneCore::ChangeSampleMap(int sampleId, int noteNro)
{
    audioEngine->setSampleKey(sampleId, noteNro);
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::getLayerView()
{
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::setLayerView(KorvaneLayerView view)
{
    audioEngine->setLayerView(view);
}

void KorvaneCore::setSamplerMode(int mode)
{
    audioEngine->setSamplerMode(mode);
}

void KorvaneCore::PreviewPlay(int sample_id)
{
    audioEngine->previewPlay(sample_id);
}

void KorvaneCore::PreviewStop()
{
    audioEngine->previewStop();
}

void KorvaneCore::Panic()
{
    audioEngine->allNotesOff();
}

void KorvaneCore::setInputThreshold(float th)
{
    audioEngine->setInputThreshold(th * th);
}

void KorvaneCore::setSamplerVolume(float vol)
{
    audioEngine->setMasterVolume(vol);
}

void KorvaneCore::TriggerTest()
{
    audioEngine->noteOn(0, 48 + int(QRandomGenerator::global()->bounded(10)), 127);
}

bool KorvaneCore::SaveSound(QString filename)
{
    return instruments->save(filename);
}

bool KorvaneCore::LoadSound(QString filename)
{
    return instruments->load(filename);
}

void KorvaneCore::DeleteSound(QString filename)
{
    instruments->remove(filename);
}

void KorvaneCore::ImportSampleFiles(QStringList files, bool mixToMono)
{
    instruments->importFiles(files, mixToMono);
}

void KorvaneCore::CancelImport()
{
    instruments->cancelImport();
}

bool KorvaneCore::IsImporting() const
{
    return instruments->isImporting();
}

bool KorvaneCore::ExportSound(QString folder, QString title)
{
    return instruments->exportTo(folder, title);
}
