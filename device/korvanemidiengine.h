// The link to the device: finds its MIDI ports, sends uploads and requests, and dispatches
// what it sends. Public methods and slots are called on the GUI thread; signals carrying
// received data are emitted on the MIDI input thread and delivered queued. The port objects
// (each one a MIDI client) live on a port thread of the engine's own: the GUI thread never
// creates or destroys one.
#pragma once

#include "base/korvanerecords.h"
#include "base/playevent.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class MidiPortBackend;

class KorvaneMidiEngine : public QObject
{
    Q_OBJECT
public:
    // Receives the device's notes, note-offs and changes on the MIDI input thread, before
    // the signals for them are emitted. Must not block.
    using PlayEventSink = std::function<void(const KorvanePlayEvent &)>;

    // Uses the system's MIDI ports through RtMidi.
    explicit KorvaneMidiEngine(QObject *parent = nullptr);
    // Uses the given port backend (tests use a scripted one).
    explicit KorvaneMidiEngine(std::unique_ptr<MidiPortBackend> backend, QObject *parent = nullptr);
    ~KorvaneMidiEngine() override;

    // Port discovery: the only place ports are opened. Runs on the port thread and waits for
    // it; the status lines are emitted on the caller's thread when it returns.
    void FindDevices();
    // The same search without waiting for it (start-up): the status lines are emitted from the
    // port thread. Port calls made later queue behind it.
    void FindDevicesLater();
    // FindDevices when the main output is still closed once the port calls queued before it
    // have run (a search already under way is not repeated).
    void FindDevicesIfClosed();
    // The once-a-second check, without waiting: on the port thread, drops vanished ports and
    // searches when the main output is closed, emitting PortsVanished, the search's status
    // lines and ConnectionChecked from there. Ignored while a check is still running.
    void CheckConnection();
    // Any thread; takes effect for the next incoming message.
    void setPlayEventSink(PlayEventSink sink);
    // True while the main output is open.
    bool isOutputOpen() const;
    // Notices a device whose ports left the system's port list and releases them.
    // Returns true when ports were dropped.
    bool DropVanishedPorts();
    // Closes the main input and output (shutdown).
    void ReleasePorts();
    // The system port the main output (else the main input) is connected to; empty when none.
    QString connectedPortName() const;

    // Feeds one incoming message to the reply parser and dispatches channel messages. Called
    // on the input threads; calls from several inputs are serialised.
    void ProcessMessage(const std::vector<uint8_t> &message);

    // Blocks until every queued upload has left, at most timeoutMs. For shutdown and tests.
    bool waitForUploads(int timeoutMs);
    // True while uploads are queued or leaving.
    bool isSending() const;
    // An upload with messages still to send: what it is ("mapping", "ROM write", ...) and
    // how many of its messages are left.
    struct PendingUpload
    {
        QString what;
        int left = 0;
        int total = 0;
    };
    QVector<PendingUpload> pendingUploads() const;
    // Stops sending at once (quitting): returns the uploads that did not leave, with the
    // messages of each that did not. A ROM write that left is still reported by RomWritten.
    QVector<PendingUpload> abortUploads();
    // Messages that found no device or were refused, since the start.
    int messagesNotSent() const;
    // Pauses after each Remote-dialect message (30 ms) and after each of the first nine
    // Palmetto settings messages (8 s). Tests shorten the long one.
    void setPauses(std::chrono::milliseconds remote, std::chrono::milliseconds palmettoSettings);

signals:
    void SendStatusMessage(QString message);
    void MidiPlay(int channel, int note, int volume);
    void MidiStop(int channel, int note, int volume);
    void MidiChange(int channel, int note, int type, int value);
    void SendControlValue(float value);
    void ActionNextSound();
    void ActionPrevSound();
    void setDeviceType(int type);
    void ActionStartRec(int note);
    void ActionEndRec();
    void UpdateStateFromSysEX(KorvaneSensorsState state);
    void UpdateCalibrationFromSysEX(KorvaneCalibration calibration);
    void UpdateBendFromSysEX(KorvaneBendSettings bend);
    void SendTemporalOffset(int offset);
    void PassDeviceVersionNumber(int nro);
    void RomWritten();
    void GotSync();
    // The connection check found the device's ports gone and released them (emitted before
    // the check's search).
    void PortsVanished();
    // A connection check finished: whether the main output was open before the search and
    // whether it is open now.
    void ConnectionChecked(bool wasOpen, bool isOpen);

public slots:
    void SendState(KorvaneSensorsState state, int i);
    void SendStateRemote(KorvaneSensorsState state, int i, float versioNumber, bool vesko);
    void SendCalibration(KorvaneCalibration calib);
    void SendCalibrationRemote(KorvaneCalibration calib, float versionNumber);
    void SendSettings(KorvaneCalibration calib);
    void SendSettingsRemote(KorvaneCalibration calib, float versionNumber);
    void SendBendSettingsRemote(KorvaneBendSettings bends, float versionNumber);
    void SendGyroSettingsRemote(KorvaneGyroSettings gsettings, float versionNumber);
    void SendDeviceInfoRequest();
    void SendDeviceVersionRequest();
    // Closes every port of the device; nothing opens them again but FindDevices.
    void DisconnectMIDI();
    void setMultiDevice(bool on);
    void SendWriteCommand();

private:
    struct Private;
    Private *d;
};
