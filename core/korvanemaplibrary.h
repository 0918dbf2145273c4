// The maps folder: map files saved, loaded and deleted, and the device's map matched against
// every stored map (the last match, or else the nearest map). GUI thread only.
#pragma once

#include "base/korvanerecords.h"

#include <QList>
#include <QObject>
#include <QString>

#include <vector>

class KorvaneMapIndex;

class KorvaneMapLibrary : public QObject
{
    Q_OBJECT
public:
    // dataPath holds the maps folder (created when missing); version is the map file version
    // written and the oldest one read.
    KorvaneMapLibrary(const QString &dataPath, float version, QObject *parent = nullptr);

    QString mapsFolder() const { return folder; }
    // The map the program saves at start-up.
    QString defaultsPath() const { return folder + QStringLiteral("Defaults.kvs"); }

    // Writes map atomically; a failed write is reported and the old file stays.
    bool save(const QString &filename, const KorvaneSensorsState &map, int remoteType);
    // Reads filename onto map (fields the file does not store keep map's values). A missing,
    // older or damaged file is reported and leaves map unchanged.
    bool load(const QString &filename, KorvaneSensorsState &map);
    // The map in filename for comparing only; an empty node list when it cannot be read (an
    // older file is reported as load reports it).
    KorvaneSensorsState loadTemp(const QString &filename);
    // Removes filename (relative names are taken from the data folder).
    void remove(const QString &filename);

    struct Match
    {
        bool found = false;       // a stored map equals the device's
        QString matched;          // the last such map, by base name
        QString nearest;          // else the readable map with the fewest differing sensors
        QList<int> nearestDiffer; // and those sensors
    };
    // Compares the device's nodes with every map file in the folder. The folder's maps are
    // kept in memory and read again only when they change.
    Match match(const std::vector<KorvaneSensorNode> &device);

    // Compares the device's node list a with a file's node list b; differing sensors are
    // written to the debug log.
    static bool compare(const std::vector<KorvaneSensorNode> &a,
                        const std::vector<KorvaneSensorNode> &b);
    // The positions of a at which b differs by the same rules (missing positions differ).
    static QList<int> differing(const std::vector<KorvaneSensorNode> &a,
                                const std::vector<KorvaneSensorNode> &b);

    // The folder's maps in memory (for tests and measurements).
    KorvaneMapIndex *index() const { return mapIndex; }

signals:
    void statusMessage(QString message);
    // An older map file was refused.
    void versionError();

private:
    QString dataPath;
    QString folder;
    float version;
    KorvaneMapIndex *mapIndex = nullptr;
};
