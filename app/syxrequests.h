// Backups of the device's configuration as .syx files: Back Up writes the map, calibration,
// settings, bend and gyro settings as the messages of the device's dialect; Restore checks a
// file, says what it holds, and after a Yes sends it through the usual uploads, so the
// window, the hub and the device end up as after those edits. A map of the map browser can be
// written as .syx too. GUI thread only.
#pragma once

#include "base/korvanerecords.h"

#include <QObject>
#include <QString>

#include <vector>

class KorvaneCore;
class KorvanePatchView;
class QWidget;

class SyxRequests : public QObject
{
    Q_OBJECT
public:
    // Dialogs open over window; the map browser's "Save as .syx" is served here. Neither
    // object is owned; both must outlive this one.
    SyxRequests(KorvaneCore *hub, KorvanePatchView *maps, QWidget *window);

    // The work behind the slots, once a file is chosen. Each reports on the status line.
    bool backUpTo(const QString &path);
    bool restoreFrom(const QString &path); // false when refused, declined or not readable
    // mapFile empty: the current map.
    bool writeMapTo(const QString &mapFile, const QString &path);

signals:
    void statusMessage(QString message);

public slots:
    void backUpToSyx();    // asks where, then backUpTo
    void restoreFromSyx(); // asks which file, then restoreFrom
    void saveMapAsSyx(QString mapFile);

private:
    // A file chooser; an empty answer when cancelled.
    QString askFile(bool save, const QString &title, const QString &proposal) const;
    QString matchingMapName(const std::vector<KorvaneSensorNode> &nodes) const;

    KorvaneCore *hub;
    QWidget *window;
};
