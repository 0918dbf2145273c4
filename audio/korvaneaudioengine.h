// Owns the sound-card stream and the sampler. Every operation is called on the GUI thread;
// the stream callback only renders. Reports back through signals emitted on the GUI thread.
#pragma once

#include "base/korvanerecords.h"
#include "base/playevent.h"
#include "base/samplertypes.h"
#include "recordinganalysis.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class AudioBackend;
class KorvaneSampler;
struct AudioStreamInfo;

class KorvaneAudioEngine : public QObject
{
    Q_OBJECT
public:
    // Plays through RtAudio.
    explicit KorvaneAudioEngine(QObject *parent = nullptr);
    // Plays through the given backend (tests use a scripted one).
    explicit KorvaneAudioEngine(std::unique_ptr<AudioBackend> backend, QObject *parent = nullptr);
    ~KorvaneAudioEngine() override;

    // Opens and starts the duplex stream. Returns false (after a status line) when no
    // audio API could open a stream; every other operation still works without sound.
    bool init(int sampleRate);
    // The same on a worker thread, so the caller goes on while the sound server answers; the
    // outcome (log, status line, sampler rate) follows from the event loop as init() gives it.
    // Until then the stream counts as not running and the sampler plays into nothing.
    void initInBackground(int sampleRate);
    // True while a stream opened by initInBackground has not reported back yet.
    bool isOpening() const;
    // Also waits for an open still under way and drops its outcome.
    void close();
    bool isStreamRunning() const;
    // Once a second after a successful init: a stream that stopped without close() (the sound
    // server went away) is reported and opened again until it runs. Also callable directly.
    void checkStream();

    void noteOn(int channel, int note, int velocity);
    // The device's notes and changes, bypassing the GUI thread. Called on the MIDI input
    // thread (one caller at a time): the event waits in a bounded lock-free queue and the
    // stream callback applies it at the start of its next block. False when the queue is full.
    bool postPlayEvent(const KorvanePlayEvent &event) noexcept;
    // GUI thread: applies queued events when no stream is running to take them.
    void applyPlayEvents();
    // GUI thread: reports the sampler's last voice assignment (the status after a note-on).
    void reportLastNote();
    void noteOff(int channel, int note);
    void change(int channel, int note, int type, int value);
    void allNotesOff();
    void setMute(bool on);
    bool isMuted() const;
    void setMasterVolume(float volume);
    void setInputThreshold(float threshold);
    float inputLevel() const; // mean absolute input of the latest block, 0..1

    void previewPlay(int sampleId);
    void previewStop();

    void flushMemory();
    void prepareRecordSampler(); // mode 1 without setUnsaved, then flushMemory
    void flushPrevious();
    void deleteSample(int index);
    void setSamplerMode(int mode);
    int samplerMode() const;
    void setControllerMode(int mode);
    int controllerMode() const;
    void setSampleKey(int sampleId, int key);
    KorvaneLayerView getLayerView() const;
    void setLayerView(const KorvaneLayerView &view);
    void addSample(const SamplerSample &sample, bool keepName);
    void reestimate(int index);
    // Adds a sample made from an audio file (frames at the engine's rate, pitch estimated):
    // keyed like a recording, named after the file with the id in front.
    void importSample(std::vector<StereoFrame> frames, const QString &sourceName,
                      const FrequencyEstimate &estimate);

    // Replaces the whole instrument at once (stop voices, flush, add, settings).
    void loadInstrument(const KorvaneInstrument &instrument);
    KorvaneInstrument currentInstrument() const;

    void startRecording();
    void stopRecording();
    void beginActionRecording(int note);
    void endActionRecording();
    int bumpRecordKeyCounter();
    void dropRecordKeyCounter();
    void resetRecordKeyCounter();

    void setEnvelope(const KorvaneEnvelope &envelope);
    KorvaneEnvelope envelope() const;
    void setAttack(int attack);
    void setRelease(int release);
    void setReverb(const KorvaneSamplerReverb &reverb);
    KorvaneSamplerReverb reverb() const;
    void setReverbAmount(float amount);
    void setNextSampleId(int id);
    int nextSampleId() const;
    void setSampleVolume(int index, float volume);
    int sampleCount() const;
    SamplerSample sampleAt(int index) const;
    QString sampleName(int triggerIndex) const;

    // Copy of the current map; recording in per-key mode reads its notes.
    void setMap(const KorvaneSensorsState &map);

    // Appends mono input values to the running recording (the stream's input arrives here
    // through a lock-free ring, drained by a timer while recording).
    void appendInput(const double *values, int count);
    // Drains the input ring now instead of waiting for the timer.
    void pumpInput();
    bool isRecording() const;
    int recordedFrames() const;
    int recordKeyCounter() const;
    // The rate of every sample's frames (files, imports, exports): 44100 Hz.
    double sampleRate() const;
    // The rate the stream and the sampler run at: the requested one, or the server's when it
    // refused that.
    double streamRate() const;

    // The sampler, for inspection; change it only through the engine's operations.
    const KorvaneSampler &sampler() const;

signals:
    void SendStatusMessage(QString message);
    void SendSamplerMessage(QString message);
    void SendAnalyzeData(AnalyzeDataView data);
    void SendRecData(RecordView rec);
    void LoadExternalSampleFile(QString path);
    void RecEnded();
    void setUnsaved();
    void IOSReSendMapping();

private:
    bool streamOpened(bool ok, const AudioStreamInfo &info);

    struct Private;
    Private *d;
};
