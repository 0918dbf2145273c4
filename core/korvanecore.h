// The hub: owns the map, calibration, bend settings and settings flags, and both engines, and
// routes every request between them and the windows. Map files and matching, the settings
// file and write count, instruments, and the uploads are delegated to one class each.
// GUI thread only.
#pragma once

#include "base/korvanerecords.h"
#include "base/samplertypes.h"

#include <QObject>
#include <QString>

#include <memory>

class KorvaneMidiEngine;
class MidiPortBackend;
class KorvaneAudioEngine;
class KorvaneInstrumentStore;
class KorvaneMapLibrary;
class KorvaneSettingsStore;
class KorvaneUploadRouter;
class QTimer;

class KorvaneCore : public QObject
{
    Q_OBJECT
public:
    explicit KorvaneCore(QObject *parent = nullptr);
    // Uses the given MIDI port backend instead of the system's (tests, emulation).
    explicit KorvaneCore(std::unique_ptr<MidiPortBackend> midiBackend, QObject *parent = nullptr);
    ~KorvaneCore() override;

    KorvaneSensorsState GetState(int i = 0) const;
    KorvaneSensorNode GetNode(int i) const; // throws std::out_of_range past the end
    void SetNode(const KorvaneSensorNode &node, int i);
    QString GetMapName() const { return mapName; }
    // The name of the map file the map came from, put back with an earlier map.
    void SetMapName(const QString &name) { mapName = name; }
    int GetRemoteMap() const { return remoteMap; }
    int GetRemoteType() const { return remoteType; }
    int GetWriteCount() const;
    bool GetMute() const { return mute != 0; }
    QString GetDataPath() const { return dataPath; }
    QString GetSoundName() const;
    QString GetSoundPath() const;
    // Whether the instrument has changes its file does not hold (see the instrument store).
    bool IsSoundModified() const;
    // Keeps the instrument with its unsaved changes in the sounds folder under a recovery
    // name; returns the file written, or an empty string when nothing could be.
    QString KeepUnsavedSound();
    float GetMapVersion() const { return mapVersion; }
    float GetInputLevel() const;
    // True after DisconnectMIDI until ReconnectMIDI: the device search is paused.
    bool IsDisconnectedByUser() const;

    void Transpose(int semitones);
    void RemoveGlobalBend();
    void GenerateMapping(bool vesko);
    void StartEngines();
    void ShutDown();

    KorvaneMidiEngine *midi() const { return midiEngine; }
    KorvaneAudioEngine *audio() const { return audioEngine; }

    // Compares the device's node list a with a file's node list b (see map matching).
    static bool CompareMappings(const std::vector<KorvaneSensorNode> &a,
                                const std::vector<KorvaneSensorNode> &b);
    // The positions of a at which b differs by the same rules (missing positions differ).
    static QList<int> DifferingSensors(const std::vector<KorvaneSensorNode> &a,
                                       const std::vector<KorvaneSensorNode> &b);

signals:
    void SendStateUI(KorvaneSensorsState state);
    void sendStatusMessage(QString message);
    void sendSamplerMessage(QString message);
    void UpdateUI();
    void SendAnalyzeData(AnalyzeDataView data);
    void SendRecData(RecordView rec);
    void SendLayerView(KorvaneLayerView view);
    void RecEnded();
    void SendNoteTrigger(int note, bool value, int vol);
    void SendVersionError();
    void LoadCompleted();
    void SysExLoadCompleted();
    void SaveCompleted();
    void SoundLoadComplete();
    void SoundSaveComplete();
    void SendSoundName(QString name);
    void SendEnvelopeParameters(KorvaneEnvelope env);
    void SendReverbParameters(KorvaneSamplerReverb rev);
    void SendRemoteSystem(int system);
    void SendRemoteDevice(int system);
    void sendControlValue(float value);
    void UpdateSettingsUI(KorvaneCalibration calib);
    void UpdateBendUI(KorvaneBendSettings bend);
    void setUnsaved();
    void NextSound();
    void PrevSound();
    void SendTemporalOffset(int offset);
    void SendMute(bool on);
    void PassDeviceVersionNumber(int nro);
    void EnableMIDIDisconnect();
    void EnableMIDIConnect();
    void SendWriteCount(int count);
    void ResetScroll();
    void SendLoadedSoundName(QString name);
    void IOSResendMapping();
    // Sensors in which the device's map differs from the nearest stored map; empty when a
    // stored map matches or a map was loaded.
    void SendDifferingSensors(QList<int> sensors);
    // Sample import from audio files: progress in permille, then the end (ok false when
    // cancelled or refused; nothing was added then).
    void ImportProgress(int permille, QString text);
    void ImportFinished(bool ok, QString message);

public slots:
    void setDeviceFromSysEx(int type);
    void ScaleRequest(int keyNro, int octNro, int scaleNro);
    void SendState();
    void SendStateRemote();
    void UpdateState(KorvaneSensorsState state);
    void PassStatusMessage(QString message);
    void PassSamplerMessage(QString message);
    void ReconnectMIDI();
    void MidiPlay(int channel, int note, int volume);
    void MidiStop(int channel, int note, int volume);
    void MidiChange(int channel, int note, int type, int value);
    void StartRecord();
    void EndRecord();
    void ReadyRecSampler();
    void ActionStartRecord(int note);
    void ActionEndRecord();
    void FlushMemory();
    void FlushPrevious();
    void FlushSelected(int i);
    void ReCalcSelected(int i);
    void ChangeSampleMap(int sampleId, int noteNro);
    void getLayerView();
    void setLayerView(KorvaneLayerView view);
    void setSamplerMode(int mode);
    void PreviewPlay(int sample_id);
    void PreviewStop();
    void Panic();
    void setInputThreshold(float th);
    void setSamplerVolume(float vol);
    void setMute(bool on);
    void TriggerTest();
    void setRemoteType(int type);
    void setRemoteMap(int map);
    bool SaveState(QString filename);
    bool LoadState(QString filename);
    KorvaneSensorsState LoadStateTemp(QString filename);
    void DeleteState(QString filename);
    void LoadStateFromSysEx(KorvaneSensorsState loadState);
    bool SaveSound(QString filename);
    bool LoadSound(QString filename);
    void DeleteSound(QString filename);
    // A change made to the instrument outside the audio engine's own notices.
    void MarkSoundModified();
    bool SaveSettings();
    bool LoadSettings();
    void LoadWriteCount();
    bool SaveWriteCount();
    void IncreaseWriteCount();
    void LoadCalibrationFromSysEx(KorvaneCalibration loadCalib);
    void LoadBendFromSysEx(KorvaneBendSettings loadBend);
    void setCalibration(KorvaneCalibration c);
    void setSettings(KorvaneCalibration c);
    KorvaneCalibration getCalibration();
    KorvaneBendSettings getBendSettings() const { return bendSettings; }
    KorvaneGyroSettings getGyroSettings() const { return gyroSettings; }
    void SendSettings();
    void SendCalibration();
    void SendBendSettings(KorvaneBendSettings b);
    void SendGyroSettings(KorvaneGyroSettings g);
    void CheckMIDI();
    void DisconnectMIDI();
    void setMultiDevice(bool on);
    void SyncToDevice();
    void SendWriteCommand();
    void RequestVersionNumber();
    void GotSettingsFromDevice();
    // Reads the files on a worker thread and adds them all as samples when every one could
    // be read; a file that cannot be read, or a cancel, adds nothing.
    void ImportSampleFiles(QStringList files, bool mixToMono);
    void CancelImport();
    bool IsImporting() const;
    // Writes the current instrument as WAV files and an SFZ file into folder.
    bool ExportSound(QString folder, QString title);

private slots:
    // The device's notes and changes, after the sampler got them from the MIDI input thread:
    // light the hand and report.
    void DevicePlayed(int channel, int note, int volume);
    void DeviceStopped(int channel, int note, int volume);
    void DeviceChanged();

private:
    QString startupSoundPath() const;
    void pushMapToAudio();

    int32_t mute = 0;
    double sampleRate = 44100.0;
    float mapVersion = 0.2f;
    float settingsVersion = 0.5f;
    int32_t previousOctave = 4;
    int32_t remoteType = 1;
    int32_t remoteMap = 0;
    KorvaneSensorsState map;
    KorvaneMidiEngine *midiEngine = nullptr;
    KorvaneAudioEngine *audioEngine = nullptr;
    KorvaneCalibration calibration;
    QString dataPath;
    QString mapName;
    KorvaneBendSettings bendSettings;
    KorvaneGyroSettings gyroSettings;
    QTimer *checkTimer = nullptr;
    KorvaneMapLibrary *maps = nullptr;
    KorvaneSettingsStore *settings = nullptr;
    KorvaneInstrumentStore *instruments = nullptr;
    KorvaneUploadRouter *router = nullptr;
};
