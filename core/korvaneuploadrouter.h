// Which records go to the device in which dialect, and the connection check that finds the
// device again and asks it for its configuration. The remote type picks the dialect: 0 the
// older one, 1 the current one, any other sends nothing of the map, settings or calibration.
// GUI thread only.
#pragma once

#include "base/korvanerecords.h"

#include <QObject>
#include <QString>

class KorvaneMidiEngine;

class KorvaneUploadRouter : public QObject
{
    Q_OBJECT
public:
    // midi sends the uploads and must outlive the router; version is the map version the
    // current dialect carries.
    KorvaneUploadRouter(KorvaneMidiEngine *midi, float version, QObject *parent = nullptr);

    // vesko: the device uses the vesko slot order.
    void sendMap(const KorvaneSensorsState &map, int remoteType, bool vesko);
    void sendSettings(const KorvaneCalibration &calibration, int remoteType);
    void sendCalibration(const KorvaneCalibration &calibration, int remoteType);
    // Bend and gyro settings exist only in the current dialect.
    void sendBend(const KorvaneBendSettings &bend);
    void sendGyro(const KorvaneGyroSettings &gyro);
    // The device reported its settings: a vesko device gets the calibration echoed back.
    void settingsReceived(const KorvaneCalibration &calibration, int remoteType, bool vesko);

    // Drops vanished ports, looks for the device when it is not open, says which of connect
    // and disconnect the user may do, and asks a newly found device for its configuration.
    // The ports are checked on the MIDI engine's port thread: the signals follow once it has
    // answered.
    void checkConnection();
    void requestDeviceInfo();
    // The user's Disconnect: the ports are closed and stay closed (no search, no upload opens
    // them) until reconnect(), which searches at once.
    void disconnectDevice();
    void reconnect();
    bool isHeld() const { return held; }

signals:
    void statusMessage(QString message);
    // No device is open: the user may connect.
    void connectable();
    // A device is open: the user may disconnect.
    void connected();

private:
    void ensureOutput();
    void connectionChecked(bool wasOpen, bool isOpen);

    KorvaneMidiEngine *midi;
    float version;
    // Asks for the device's configuration at most this many times after it is found.
    static constexpr int kInfoRequests = 3;
    int infoRequests = 0;
    bool infoAnswered = false;
    bool held = false;
};
