// The polyphonic sample player behind the test sound: samples with their trigger records,
// ten voices, a reverb and a preview player.
//
// Threads: render() and renderFrame() run on the audio callback; every other method runs on
// the GUI thread. The samples live in an immutable bank that the GUI thread replaces as a
// whole and frees itself after the swap, so the callback never sees frames being freed or
// reallocated. Voice and parameter changes take a short lock; the callback only try-locks it
// and renders one block of silence when the GUI thread holds it. The device's notes and
// changes bypass the GUI thread: postEvent() queues them for the callback, which applies them
// at the start of its next block.
#pragma once

#include "base/playevent.h"
#include "base/samplertypes.h"
#include "samplerreverb.h"
#include "samplervoice.h"
#include "spinlock.h"
#include "spscring.h"

#include <QString>

#include <memory>
#include <vector>

class KorvaneSampler
{
public:
    static constexpr int MaxVoices = 16;
    static constexpr int MaxBlock = 256; // frames mixed at a time on the stack

    explicit KorvaneSampler(double sampleRate = 44100.0, int voiceCount = 10);
    ~KorvaneSampler();
    KorvaneSampler(const KorvaneSampler &) = delete;
    KorvaneSampler &operator=(const KorvaneSampler &) = delete;

    // --- GUI thread ---
    void noteOn(int channel, int note, int velocity);
    void noteOff(int channel, int note);
    void change(int channel, int note, int type, int value);
    void allNotesOff();
    void previewPlay(int sampleId);
    void previewStop();

    void setMasterVolume(float volume);
    float masterVolume() const { return masterVolume_; }
    void setSamplerMode(int mode);
    int getSamplerMode() const { return samplerMode_; }
    void setControllerMode(int mode);
    int controllerMode() const { return controllerMode_; }
    int getNextSampleId() const { return nextSampleId_; }
    void setNextSampleId(int id) { nextSampleId_ = id; }
    void setSampleVolume(int index, float volume);
    void setSampleBaseFrequency(int index, double frequency); // sample and trigger at index

    void setAttack(int attack);
    void setRelease(int release);
    void setEnvelope(const KorvaneEnvelope &envelope);
    KorvaneEnvelope getEnvelope() const { return envelope_; }
    void setReverbAmount(float amount);
    void setReverb(const KorvaneSamplerReverb &reverb);
    KorvaneSamplerReverb getReverb() const { return reverbParameters_; }

    void addSample(SamplerSample sample, bool keepName);
    // Adds several samples with one bank swap (instrument loads).
    void addSamples(std::vector<SamplerSample> samples, bool keepName);
    void flushMemory();
    void flushPrevious();
    void deleteSample(int triggerIndex);
    void replaceKeySample(int key);
    void setSampleKey(int sampleId, int key);

    int sampleCount() const;
    SamplerSample sampleAt(int index) const;
    QString sampleName(int triggerIndex) const;
    std::vector<SampleTrigger> triggers() const;
    KorvaneLayerView getLayerView() const;
    void setLayerView(const KorvaneLayerView &view);

    // While not ready, rendering yields silence (set around instrument loads).
    void setReady(bool ready);
    bool isReady() const { return ready_; }
    bool isLoaded() const;
    // The last voice assignment, as a status line (empty before the first note).
    QString lastMessage() const;

    // Inspection, mainly for tests.
    struct VoiceSlot
    {
        int note = -1;
        int age = -1;
        int sampleId = 0;
        SamplerVoice voice;
    };
    int voiceCount() const { return voiceCount_; }
    VoiceSlot voiceSlot(int index) const;
    int lastBend() const { return lastBend_; }
    bool isPreviewing() const;
    // The rate render() produces; sample frames stay at 44100 Hz. Voices, envelopes and the
    // reverb follow a change (allocates; the callback renders silence meanwhile).
    double sampleRate() const { return sampleRate_; }
    void setSampleRate(double rate);

    // --- one producer thread at a time (the MIDI input thread) ---
    // Queues a device event; false when the queue is full (the event is dropped and counted).
    bool postEvent(const KorvanePlayEvent &event) noexcept;
    std::size_t droppedEvents() const { return events_.dropped(); }

    // --- GUI thread ---
    // Applies queued events now; for when no stream callback takes them.
    void applyPostedEvents();

    // --- audio thread ---
    // Applies queued events first, then renders. While not ready (an instrument being
    // swapped) the events wait for the new one instead of meeting an empty bank.
    void render(StereoFrame *out, int frames) noexcept;
    StereoFrame renderFrame() noexcept;
    // Applies queued events without rendering (a muted stream).
    void takePostedEvents() noexcept;

private:
    struct Sample
    {
        std::shared_ptr<const std::vector<StereoFrame>> frames;
        double baseFrequency = 261.63;
        int loop = 0;
        int loopStart = 0;
        int loopEnd = 0;
        QString name;
        int key = 60;
        int start = 0;
        int id = 0;
        float volume = 1.0f;
    };
    struct Bank;

    std::shared_ptr<Bank> copyBank() const;
    void publish(std::shared_ptr<Bank> next);
    static SampleTrigger triggerFor(const Sample &s);
    static SamplerSample toSample(const Sample &s);
    bool chooseTrigger(const Bank &bank, int note, int velocity, VoiceNote &vn,
                       int &sampleId) const noexcept;
    void noteOnLocked(const Bank &bank, int note, int velocity) noexcept;
    void noteOffLocked(int note) noexcept;
    void changeLocked(int note, int type, int value) noexcept;
    void drainEventsLocked(const Bank &bank) noexcept;
    void applyDeferredOffsLocked() noexcept;
    void applyEnvelopeLocked();
    const Sample *findSample(const Bank &bank, int id) const noexcept;
    void renderLocked(const Bank &bank, StereoFrame *out, int frames) noexcept;
    void addPreview(const Bank &bank, StereoFrame *out, int frames, float m2) noexcept;

    double sampleRate_;
    const int voiceCount_;

    // Written by the GUI thread only; the callback reads the bank through live_ under the lock.
    std::shared_ptr<Bank> bank_;
    const Bank *live_ = nullptr;
    int nextSampleId_ = 0;

    // Device events on their way to the callback; consumers hold lock_.
    SpscRing<KorvanePlayEvent> events_{256};
    // Note-offs that arrived in the same block as their note-on (a tap): applied at the next
    // block, so the note sounds for one block instead of not at all. Under lock_.
    int deferredOff_[128];
    int deferredOffs_ = 0;

    // Shared with the callback; changed only with lock_ held.
    mutable SpinLock lock_;
    bool ready_ = true;
    bool previewing_ = false;
    int previewSampleId_ = 0;
    int previewPosition_ = 0;
    float masterVolume_ = 0.5f;
    int controllerMode_ = 0;
    int samplerMode_ = 0;
    int voiceNote_[MaxVoices];
    int voiceAge_[MaxVoices];
    int voiceSample_[MaxVoices];
    int ageCounter_ = 0;
    int lastBend_ = 8192;
    // The last voice assignment, for lastMessage(); note -1 before the first.
    struct Assignment
    {
        int note = -1;
        bool pitched = true;
        int sampleId = 0;
        int voice = 0;
    } last_;
    KorvaneEnvelope envelope_;
    KorvaneSamplerReverb reverbParameters_;
    SamplerVoice voices_[MaxVoices];
    SamplerReverb reverb_;
};
