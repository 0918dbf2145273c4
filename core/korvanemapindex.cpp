#include "korvanemapindex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QHash>

#include <sys/stat.h>

namespace {

// A folder changed less than this long before it was listed may change again within the same
// tick of the file system's clock without its time moving; it is listed again next time.
constexpr qint64 kRacyNs = 1000000000;

bool statPath(const QString &path, qint64 &size, qint64 &modified)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    size = qint64(st.st_size);
    modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

} // namespace

KorvaneMapIndex::KorvaneMapIndex(const QString &folder, Reader read, QObject *parent)
    : QObject(parent), folder(folder), read(std::move(read)), watcher(new QFileSystemWatcher(this))
{
    watcher->addPath(folder);
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, [this] { dirty = true; });
}

const std::vector<KorvaneMapIndex::Entry> &KorvaneMapIndex::entries()
{
    qint64 size = 0, stamp = -1;
    if (!statPath(folder, size, stamp))
        stamp = -1;
    if (dirty || stamp != folderStamp)
        rescan();
    return list;
}

void KorvaneMapIndex::rescan()
{
    qint64 folderSize = 0;
    if (!statPath(folder, folderSize, folderStamp))
        folderStamp = -1;
    // A folder made again after it was deleted needs watching again.
    if (folderStamp != -1 && watcher->directories().isEmpty())
        watcher->addPath(folder);
    dirty =
        folderStamp == -1 || QDateTime::currentMSecsSinceEpoch() * 1000000 - folderStamp < kRacyNs;

    QHash<QString, Entry *> known;
    known.reserve(int(list.size()));
    for (Entry &e : list)
        known.insert(e.fileName, &e);
    const QStringList names =
        QDir(folder).entryList({QStringLiteral("*.KVS"), QStringLiteral("*.kvs")}, QDir::Files);
    std::vector<Entry> fresh;
    fresh.reserve(size_t(names.size()));
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (const QString &name : names) {
        Entry e;
        e.fileName = name;
        const QString path = prefix + name;
        if (!statPath(path, e.size, e.modified))
            e.size = -1;
        const auto old = known.find(name);
        if (old != known.end() && e.size != -1 && old.value()->size == e.size &&
            old.value()->modified == e.modified) {
            fresh.push_back(std::move(*old.value()));
            continue;
        }
        e.state = read(path, e.nodes);
        ++reads;
        if (e.state != State::Readable)
            e.nodes.clear();
        fresh.push_back(std::move(e));
    }
    list = std::move(fresh);
}
