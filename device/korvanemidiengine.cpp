// Placeholder engine: finds no device and sends nothing. Replaced by the real device link.
#include "korvanemidiengine.h"

struct KorvaneMidiEngine::Private
{
};

KorvaneMidiEngine::KorvaneMidiEngine(QObject *parent) : QObject(parent), d(new Private)
{
    registerKorvaneMetaTypes();
}
KorvaneMidiEngine::~KorvaneMidiEngine() { delete d; }

void KorvaneMidiEngine::FindDevices()
{
    emit SendStatusMessage(QStringLiteral("Removing old port connections"));
    emit SendStatusMessage(QStringLiteral("Searching for Devices..."));
    emit SendStatusMessage(QStringLiteral("No devices found"));
    emit SendStatusMessage(QStringLiteral("No devices found"));
}
bool KorvaneMidiEngine::isOutputOpen() const { return false; }
bool KorvaneMidiEngine::DropVanishedPorts() { return false; }
void KorvaneMidiEngine::ReleasePorts() {}
void KorvaneMidiEngine::SendState(KorvaneSensorsState, int) {}
void KorvaneMidiEngine::SendStateRemote(KorvaneSensorsState, int, float, bool) {}
void KorvaneMidiEngine::SendCalibration(KorvaneCalibration) {}
void KorvaneMidiEngine::SendCalibrationRemote(KorvaneCalibration, float) {}
void KorvaneMidiEngine::SendSettings(KorvaneCalibration) {}
void KorvaneMidiEngine::SendSettingsRemote(KorvaneCalibration, float) {}
void KorvaneMidiEngine::SendBendSettingsRemote(KorvaneBendSettings, float) {}
void KorvaneMidiEngine::SendGyroSettingsRemote(KorvaneGyroSettings, float) {}
void KorvaneMidiEngine::SendDeviceInfoRequest() {}
void KorvaneMidiEngine::SendDeviceVersionRequest() {}
void KorvaneMidiEngine::DisconnectMIDI() {}
void KorvaneMidiEngine::setMultiDevice(bool) {}
void KorvaneMidiEngine::SendWriteCommand() { emit RomWritten(); }
