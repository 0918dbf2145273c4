// An in-memory copy of the maps folder and its sub-folders: each map file's name (its path
// below the folder), size, modification time and nodes. The folders are listed again only
// when a file-system watcher or a folder's own modification time says one changed, and then only
// the files whose size or time changed are read again, so matching the device's map compares in
// memory. GUI thread only (a large folder is read by helper threads within one call).
#pragma once

#include "base/korvanerecords.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QFileSystemWatcher;

class KorvaneMapIndex : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Readable,
        Old, // older than the version read
        Unreadable
    };
    struct Entry
    {
        QString fileName; // below the folder, "Live/Song.kvs" in a sub-folder
        qint64 size = -1;
        qint64 modified = 0; // nanoseconds since the epoch
        State state = State::Unreadable;
        std::vector<KorvaneSensorNode> nodes; // empty unless readable
    };
    // parse reads the nodes from a file's first bytes and says what it found.
    using Parser =
        std::function<State(const QByteArray &bytes, std::vector<KorvaneSensorNode> &nodes)>;

    // At most maxBytes of each file are read.
    KorvaneMapIndex(const QString &folder, int maxBytes, Parser parse, QObject *parent = nullptr);

    // The map files (*.kvs, *.KVS) of the folder, then of each sub-folder, in name order,
    // brought up to date first.
    const std::vector<Entry> &entries();
    // The next entries() lists the folder again (the program changed a file in it).
    void invalidate() { dirty = true; }
    // Files read so far (parsed, not taken from memory).
    int filesRead() const { return reads; }

private:
    void rescan();
    // Reads one file (several at once on helper threads: touches only entry).
    void load(const QString &path, Entry &entry) const;
    // Lists folder + relative (and its sub-folders) into names, noting each folder's time.
    void list(const QString &relative, int depth, QStringList &names, qint64 now);
    bool foldersChanged() const;

    QString folder;
    int maxBytes;
    Parser parse;
    QFileSystemWatcher *watcher;
    std::vector<Entry> entryList;
    bool dirty = true;
    QHash<QString, qint64> folderStamps; // each folder listed, by its path below folder
    int reads = 0;
};
