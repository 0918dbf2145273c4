// Voice allocation and the note, controller and preview requests of KorvaneSampler (GUI
// thread): a note takes the first free voice or the one already playing it, else the voice
// assigned longest ago.
#include "korvanesampler.h"
#include "korvanesamplerbank.h"

#include <cmath>
#include <mutex>

using Guard = std::lock_guard<SpinLock>;

void KorvaneSampler::assignVoice(int note, const VoiceNote &voiceNote, int sampleId, bool pitched)
{
    int chosen = -1;
    bool stolen = false;
    {
        Guard g(lock_);
        for (int i = 0; i < voiceCount_; ++i) {
            if (voiceNote_[i] == -1 || voiceNote_[i] == note) {
                chosen = i;
                break;
            }
        }
        if (chosen < 0) {
            // Every voice is taken: steal the one assigned longest ago.
            stolen = true;
            chosen = 0;
            for (int i = 1; i < voiceCount_; ++i)
                if (voiceAge_[i] < voiceAge_[chosen])
                    chosen = i;
        }
        const int oldSample = voiceSample_[chosen];
        voiceNote_[chosen] = note;
        voiceAge_[chosen] = ageCounter_++;
        voiceSample_[chosen] = sampleId;
        voices_[chosen].startNote(voiceNote, oldSample);
    }
    if (stolen)
        return;
    lastMessage_ = QStringLiteral("Note %1 %2 sample %3 on voice %4")
                       .arg(note)
                       .arg(pitched ? QStringLiteral("to play") : QStringLiteral("triggers"))
                       .arg(sampleId)
                       .arg(chosen);
}

void KorvaneSampler::noteOn(int /*channel*/, int note, int velocity)
{
    const Bank &bank = *bank_;
    if (bank.samples.empty() || bank.triggers.empty())
        return;
    VoiceNote vn;
    vn.note = note;
    vn.velocity = velocity;
    const SampleTrigger *chosen = nullptr;
    if (samplerMode_ == 1) {
        for (const SampleTrigger &t : bank.triggers)
            if (t.key == note)
                chosen = &t;
        if (!chosen)
            return;
        vn.perKey = true;
    } else {
        // The nearest base frequency wins; the first one on ties.
        const double f = noteFrequency(note);
        double best = 0.0;
        for (const SampleTrigger &t : bank.triggers) {
            const double distance = std::fabs(f - t.baseFrequency);
            if (!chosen || distance < best) {
                chosen = &t;
                best = distance;
            }
        }
        vn.bend = lastBend_;
    }
    vn.baseFrequency = chosen->baseFrequency;
    vn.loop = chosen->loop;
    vn.loopStart = chosen->loopStart;
    vn.loopEnd = chosen->loopEnd;
    vn.start = chosen->start;
    assignVoice(note, vn, chosen->sampleId, !vn.perKey);
}

void KorvaneSampler::noteOff(int /*channel*/, int note)
{
    if (!isLoaded())
        return;
    Guard g(lock_);
    for (int i = 0; i < voiceCount_; ++i) {
        if (voiceNote_[i] == note) {
            voices_[i].release();
            voiceNote_[i] = -1;
        }
    }
}

void KorvaneSampler::change(int /*channel*/, int note, int type, int value)
{
    if (!isLoaded())
        return;
    Guard g(lock_);
    if (type == 7)
        lastBend_ = value;
    for (int i = 0; i < voiceCount_; ++i) {
        if (type == 2 && voiceNote_[i] != note)
            continue;
        voices_[i].change(type, note, value);
    }
}

void KorvaneSampler::allNotesOff()
{
    Guard g(lock_);
    for (int i = 0; i < voiceCount_; ++i) {
        voiceNote_[i] = -1;
        voices_[i].stop();
    }
}

void KorvaneSampler::previewPlay(int sampleId)
{
    Guard g(lock_);
    previewPosition_ = 0;
    previewSampleId_ = sampleId;
    previewing_ = true;
}

void KorvaneSampler::previewStop()
{
    Guard g(lock_);
    previewing_ = false;
}
