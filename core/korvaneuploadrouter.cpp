#include "korvaneuploadrouter.h"

#include "device/korvanemidiengine.h"

#include <QDebug>

KorvaneUploadRouter::KorvaneUploadRouter(KorvaneMidiEngine *midi, float version, QObject *parent)
    : QObject(parent), midi(midi), version(version)
{
    connect(midi, &KorvaneMidiEngine::setDeviceType, this, [this] { infoAnswered = true; });
    connect(
        midi, &KorvaneMidiEngine::PortsVanished, this,
        [this] { emit statusMessage(QStringLiteral("Device disconnected")); },
        Qt::QueuedConnection);
    connect(midi, &KorvaneMidiEngine::ConnectionChecked, this,
            &KorvaneUploadRouter::connectionChecked, Qt::QueuedConnection);
}

void KorvaneUploadRouter::ensureOutput()
{
    if (!held && !midi->isOutputOpen())
        midi->FindDevicesIfClosed();
}

void KorvaneUploadRouter::sendMap(const KorvaneSensorsState &map, int remoteType, bool vesko)
{
    qDebug() << "sending mapping via sysex";
    ensureOutput();
    if (remoteType == 0)
        midi->SendState(map, 0);
    else if (remoteType == 1)
        midi->SendStateRemote(map, 0, version, vesko);
}

void KorvaneUploadRouter::sendSettings(const KorvaneCalibration &calibration, int remoteType)
{
    qDebug() << "sending settings via sysex";
    ensureOutput();
    if (remoteType == 0)
        midi->SendSettings(calibration);
    else if (remoteType == 1)
        midi->SendSettingsRemote(calibration, version);
}

void KorvaneUploadRouter::sendCalibration(const KorvaneCalibration &calibration, int remoteType)
{
    qDebug() << "sending calibration via sysex";
    ensureOutput();
    // The older dialect has no calibration message: its settings upload carries it.
    if (remoteType == 0)
        midi->SendSettings(calibration);
    else if (remoteType == 1)
        midi->SendCalibrationRemote(calibration, version);
}

void KorvaneUploadRouter::sendBend(const KorvaneBendSettings &bend)
{
    qDebug() << "sending bend settings via sysex";
    ensureOutput();
    midi->SendBendSettingsRemote(bend, version);
}

void KorvaneUploadRouter::sendGyro(const KorvaneGyroSettings &gyro)
{
    qDebug() << "sending gyro settings via sysex";
    ensureOutput();
    midi->SendGyroSettingsRemote(gyro, version);
}

void KorvaneUploadRouter::settingsReceived(const KorvaneCalibration &calibration, int remoteType,
                                           bool vesko)
{
    if (!vesko)
        return;
    sendCalibration(calibration, remoteType);
    emit statusMessage(QStringLiteral("Calibration echoed back to device"));
}

void KorvaneUploadRouter::checkConnection()
{
    if (held) {
        emit connectable();
        return;
    }
    midi->CheckConnection(); // on the engine's port thread; the answer comes queued
}

void KorvaneUploadRouter::connectionChecked(bool wasOpen, bool isOpen)
{
    if (!isOpen) {
        emit connectable();
        return;
    }
    emit connected();
    if (!wasOpen) {
        infoAnswered = false;
        infoRequests = 0;
    }
    // A request sent the moment the ports connect can be lost (PipeWire's JACK interface makes
    // a new link live a little after it is made): ask again while the device has not answered,
    // a few times, and never behind an upload still leaving.
    if (!infoAnswered && infoRequests < kInfoRequests && (!wasOpen || !midi->isSending())) {
        ++infoRequests;
        requestDeviceInfo();
    }
}

void KorvaneUploadRouter::disconnectDevice()
{
    held = true;
    midi->DisconnectMIDI();
    emit connectable();
}

void KorvaneUploadRouter::reconnect()
{
    held = false;
    const bool wasOpen = midi->isOutputOpen();
    midi->FindDevices();
    if (!midi->isOutputOpen()) {
        emit connectable();
        return;
    }
    emit connected();
    if (!wasOpen) {
        // A device found again is asked for its configuration, as on the search's tick.
        infoAnswered = false;
        infoRequests = 1;
        requestDeviceInfo();
    }
}

void KorvaneUploadRouter::requestDeviceInfo()
{
    midi->SendDeviceInfoRequest();
}
