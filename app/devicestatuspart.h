// The permanent part of the status bar: whether the device is connected, its port name, the
// SysEx dialect the program speaks to it, its firmware version and the ROM write count. Follows
// the hub's once-a-second connection check, so plugging and unplugging show within a second.
// GUI thread only.
#pragma once

#include <QLabel>

class KorvaneCore;

class DeviceStatusPart : public QLabel
{
    Q_OBJECT
public:
    // hub must outlive the part. Asks a newly connected device for its firmware version.
    explicit DeviceStatusPart(KorvaneCore *hub, QWidget *parent = nullptr);

    bool isConnected() const { return connected; }

public slots:
    void showConnected();
    void showNotConnected();
    void showFirmware(int version);
    void showWriteCount(int count);
    void refresh();

private:
    KorvaneCore *hub;
    bool connected = false;
    int firmware = -1; // unknown
    int writes = 0;
};
