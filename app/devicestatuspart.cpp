#include "app/devicestatuspart.h"

#include "core/korvanecore.h"
#include "device/korvanemidiengine.h"

DeviceStatusPart::DeviceStatusPart(KorvaneCore *hub, QWidget *parent) : QLabel(parent), hub(hub)
{
    setObjectName(QStringLiteral("deviceStatus"));
    setTextFormat(Qt::PlainText);
    // Smaller than the window's text, as status bars are, so the line fits a narrow window.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    setFont(small);
    writes = hub->GetWriteCount();
    connect(hub, &KorvaneCore::EnableMIDIDisconnect, this, &DeviceStatusPart::showConnected);
    connect(hub, &KorvaneCore::EnableMIDIConnect, this, &DeviceStatusPart::showNotConnected);
    connect(hub, &KorvaneCore::PassDeviceVersionNumber, this, &DeviceStatusPart::showFirmware);
    connect(hub, &KorvaneCore::SendWriteCount, this, &DeviceStatusPart::showWriteCount);
    connect(hub, &KorvaneCore::SendRemoteDevice, this, &DeviceStatusPart::refresh);
    connect(hub, &KorvaneCore::SendRemoteSystem, this, &DeviceStatusPart::refresh);
    refresh();
}

void DeviceStatusPart::showConnected()
{
    if (!connected) {
        connected = true;
        firmware = -1;
        hub->RequestVersionNumber();
    }
    refresh();
}

void DeviceStatusPart::showNotConnected()
{
    connected = false;
    firmware = -1;
    refresh();
}

void DeviceStatusPart::showFirmware(int version)
{
    firmware = version;
    refresh();
}

void DeviceStatusPart::showWriteCount(int count)
{
    writes = count;
    refresh();
}

void DeviceStatusPart::refresh()
{
    const QString count = QStringLiteral("ROM writes: %1").arg(writes);
    QString text;
    QString tip = QStringLiteral(
        "The device: connected or not, the SysEx dialect the program sends it, its firmware "
        "version, and how many times its configuration was stored as its default (ROM "
        "writes)");
    if (connected) {
        const int type = hub->GetRemoteType();
        const QString dialect = type == 0   ? QStringLiteral("Palmetto")
                                : type == 1 ? QStringLiteral("RemoteCore")
                                            : QStringLiteral("no dialect");
        const QString version = firmware < 0 ? QStringLiteral("?") : QString::number(firmware);
        // The system's name for the port ("client:port" on JACK and ALSA); its client part
        // names the device.
        const QString port = hub->midi()->connectedPortName();
        text = QStringLiteral("● Connected: %1 · %2 · firmware %3 · %4")
                   .arg(port.section(QLatin1Char(':'), 0, 0), dialect, version, count);
        tip = QStringLiteral("MIDI port: ") + port + QStringLiteral("\n") + tip;
    } else if (hub->IsDisconnectedByUser()) {
        text = QStringLiteral("○ Disconnected (Reconnect to search) · ") + count;
    } else {
        text = QStringLiteral("○ No device · ") + count;
    }
    if (text != QLabel::text())
        setText(text);
    if (tip != toolTip())
        setToolTip(tip);
}
