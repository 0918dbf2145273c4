// Voice allocation and the note, controller and preview requests of KorvaneSampler, from the
// GUI thread or from the device through the event queue the callback drains: a note takes the
// first free voice or the one already playing it, else the voice assigned longest ago.
#include "korvanesampler.h"
#include "korvanesamplerbank.h"

#include <cmath>
#include <mutex>

using Guard = std::lock_guard<SpinLock>;

bool KorvaneSampler::chooseTrigger(const Bank &bank, int note, int velocity, VoiceNote &vn,
                                   int &sampleId) const noexcept
{
    if (bank.samples.empty() || bank.triggers.empty())
        return false;
    vn.note = note;
    vn.velocity = velocity;
    const SampleTrigger *chosen = nullptr;
    if (samplerMode_ == 1) {
        for (const SampleTrigger &t : bank.triggers)
            if (t.key == note)
                chosen = &t;
        if (!chosen)
            return false;
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
    sampleId = chosen->sampleId;
    return true;
}

void KorvaneSampler::noteOnLocked(const Bank &bank, int note, int velocity) noexcept
{
    VoiceNote vn;
    int sampleId = 0;
    if (!chooseTrigger(bank, note, velocity, vn, sampleId))
        return;
    int chosen = -1;
    for (int i = 0; i < voiceCount_; ++i) {
        if (voiceNote_[i] == -1 || voiceNote_[i] == note) {
            chosen = i;
            break;
        }
    }
    const bool stolen = chosen < 0;
    if (stolen) {
        // Every voice is taken: steal the one assigned longest ago.
        chosen = 0;
        for (int i = 1; i < voiceCount_; ++i)
            if (voiceAge_[i] < voiceAge_[chosen])
                chosen = i;
    }
    const int oldSample = voiceSample_[chosen];
    voiceNote_[chosen] = note;
    voiceAge_[chosen] = ageCounter_++;
    voiceSample_[chosen] = sampleId;
    voices_[chosen].startNote(vn, oldSample);
    if (!stolen)
        last_ = {note, !vn.perKey, sampleId, chosen};
}

void KorvaneSampler::noteOffLocked(int note) noexcept
{
    for (int i = 0; i < voiceCount_; ++i) {
        if (voiceNote_[i] == note) {
            voices_[i].release();
            voiceNote_[i] = -1;
        }
    }
}

void KorvaneSampler::changeLocked(int note, int type, int value) noexcept
{
    if (type == 7)
        lastBend_ = value;
    for (int i = 0; i < voiceCount_; ++i) {
        if (type == 2 && voiceNote_[i] != note)
            continue;
        voices_[i].change(type, note, value);
    }
}

QString KorvaneSampler::lastMessage() const
{
    Assignment a;
    {
        Guard g(lock_);
        a = last_;
    }
    if (a.note < 0)
        return QString();
    return QStringLiteral("Note %1 %2 sample %3 on voice %4")
        .arg(a.note)
        .arg(a.pitched ? QStringLiteral("to play") : QStringLiteral("triggers"))
        .arg(a.sampleId)
        .arg(a.voice);
}

void KorvaneSampler::noteOn(int /*channel*/, int note, int velocity)
{
    Guard g(lock_);
    noteOnLocked(*live_, note, velocity);
}

void KorvaneSampler::noteOff(int /*channel*/, int note)
{
    if (!isLoaded())
        return;
    Guard g(lock_);
    noteOffLocked(note);
}

void KorvaneSampler::change(int /*channel*/, int note, int type, int value)
{
    if (!isLoaded())
        return;
    Guard g(lock_);
    changeLocked(note, type, value);
}

// ---------------------------------------------------------------- device events

bool KorvaneSampler::postEvent(const KorvanePlayEvent &event) noexcept
{
    if (events_.tryPush(event))
        return true;
    // Full: a flood, or no block rendered for a while. This (MIDI) thread empties the queue into
    // the voices itself, in order, rather than drop an event: a lost note-off hangs its note.
    Guard g(lock_);
    drainEventsLocked(*live_);
    return events_.push(event);
}

void KorvaneSampler::applyDeferredOffsLocked() noexcept
{
    for (int i = 0; i < deferredOffs_; ++i)
        noteOffLocked(deferredOff_[i]);
    deferredOffs_ = 0;
}

void KorvaneSampler::drainEventsLocked(const Bank &bank) noexcept
{
    if (!ready_)
        return;                // an instrument is being swapped: the events wait for the new one
    applyDeferredOffsLocked(); // their notes have sounded for a block
    bool startedNow[128] = {};
    KorvanePlayEvent batch[32];
    for (;;) {
        const std::size_t n = events_.pop(batch, 32);
        for (std::size_t i = 0; i < n; ++i) {
            const KorvanePlayEvent &e = batch[i];
            const bool midiNote = e.note >= 0 && e.note < 128;
            // Note-off and change do nothing while no sample is loaded, as through the
            // GUI thread's operations.
            if (e.kind == KorvanePlayEvent::NoteOn) {
                // A tap's note-off waiting for this note belongs to the earlier note: it
                // goes first.
                for (int k = 0; k < deferredOffs_; ++k) {
                    if (deferredOff_[k] == e.note) {
                        noteOffLocked(e.note);
                        deferredOff_[k] = deferredOff_[--deferredOffs_];
                        break;
                    }
                }
                noteOnLocked(bank, e.note, e.value);
                if (midiNote)
                    startedNow[e.note] = true;
            } else if (bank.samples.empty()) {
                continue;
            } else if (e.kind == KorvanePlayEvent::NoteOff) {
                if (midiNote && startedNow[e.note] && deferredOffs_ < 128) {
                    // A tap shorter than a block still sounds.
                    deferredOff_[deferredOffs_++] = e.note;
                    startedNow[e.note] = false;
                    continue;
                }
                noteOffLocked(e.note);
            } else {
                changeLocked(e.note, e.type, e.value);
            }
        }
        if (n < 32)
            return;
    }
}

void KorvaneSampler::applyPostedEvents()
{
    Guard g(lock_);
    drainEventsLocked(*live_);
    applyDeferredOffsLocked(); // no block is rendered in between without a stream
}

void KorvaneSampler::takePostedEvents() noexcept
{
    if (!lock_.try_lock())
        return;
    drainEventsLocked(*live_);
    lock_.unlock();
}

void KorvaneSampler::allNotesOff()
{
    Guard g(lock_);
    deferredOffs_ = 0;
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
