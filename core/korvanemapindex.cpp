#include "korvanemapindex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder changed less than this long before it was listed may change again within the same
// tick of the file system's clock without its time moving; it is listed again next time.
constexpr qint64 kRacyNs = 1000000000;
// Sub-folders deeper than this are not listed (the map browser shows as many).
constexpr int kMaxDepth = 8;

void stamp(const struct stat &st, qint64 &size, qint64 &modified)
{
    size = qint64(st.st_size);
    modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool statPath(const QString &path, qint64 &size, qint64 &modified)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    stamp(st, size, modified);
    return true;
}

} // namespace

KorvaneMapIndex::KorvaneMapIndex(const QString &folder, int maxBytes, Parser parse, QObject *parent)
    : QObject(parent),
      folder(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')),
      maxBytes(maxBytes), parse(std::move(parse)), watcher(new QFileSystemWatcher(this))
{
    watcher->addPath(this->folder);
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, [this] { dirty = true; });
}

bool KorvaneMapIndex::foldersChanged() const
{
    if (folderStamps.isEmpty())
        return true;
    for (auto it = folderStamps.constBegin(); it != folderStamps.constEnd(); ++it) {
        qint64 size = 0, stamp = -1;
        if (!statPath(folder + it.key(), size, stamp) || stamp != it.value())
            return true;
    }
    return false;
}

const std::vector<KorvaneMapIndex::Entry> &KorvaneMapIndex::entries()
{
    if (dirty || foldersChanged())
        rescan();
    return entryList;
}

void KorvaneMapIndex::list(const QString &relative, int depth, QStringList &names, qint64 now)
{
    const QString path = folder + relative;
    qint64 size = 0, stamp = -1;
    if (!statPath(path, size, stamp))
        return;
    folderStamps.insert(relative, stamp);
    // A folder changed less than a tick of the file system's clock ago may change again
    // without its time moving: it is listed again next time.
    if (now - stamp < kRacyNs)
        dirty = true;
    if (!watcher->directories().contains(path))
        watcher->addPath(path);
    const QDir dir(path);
    for (const QString &name :
         dir.entryList({QStringLiteral("*.KVS"), QStringLiteral("*.kvs")}, QDir::Files))
        names.append(relative + name);
    // Sub-folders as the map browser shows them: no links, at most kMaxDepth deep.
    if (depth >= kMaxDepth)
        return;
    for (const QString &sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        list(relative + sub + QLatin1Char('/'), depth + 1, names, now);
}

void KorvaneMapIndex::rescan()
{
    folderStamps.clear();
    dirty = false;
    QStringList names;
    list(QString(), 0, names, QDateTime::currentMSecsSinceEpoch() * 1000000);
    if (folderStamps.isEmpty())
        dirty = true; // no folder: look again next time

    QHash<QString, Entry *> known;
    known.reserve(int(entryList.size()));
    for (Entry &e : entryList)
        known.insert(e.fileName, &e);
    std::vector<Entry> fresh(size_t(names.size()));
    std::vector<size_t> toRead;
    for (size_t i = 0; i < fresh.size(); ++i) {
        Entry &e = fresh[i];
        e.fileName = names[int(i)];
        const auto old = known.find(e.fileName);
        if (old != known.end() && statPath(folder + e.fileName, e.size, e.modified) &&
            old.value()->size == e.size && old.value()->modified == e.modified) {
            e = std::move(*old.value());
            continue;
        }
        toRead.push_back(i);
    }
    // Opening and reading thousands of small files is mostly the kernel's work: a large
    // folder is read by as many threads as there are cores, each taking every n-th file.
    const size_t threads =
        toRead.size() < 256
            ? 1
            : std::min<size_t>(4, std::max(1u, std::thread::hardware_concurrency()));
    auto readShare = [&](size_t first) {
        for (size_t k = first; k < toRead.size(); k += threads) {
            Entry &e = fresh[toRead[k]];
            load(folder + e.fileName, e);
        }
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t)
        helpers.emplace_back(readShare, t);
    readShare(0);
    for (std::thread &h : helpers)
        h.join();
    reads += int(toRead.size());
    entryList = std::move(fresh);
}

void KorvaneMapIndex::load(const QString &path, Entry &e) const
{
    e.state = State::Unreadable;
    e.nodes.clear();
    // One open, stat and read per file: a large folder is read in one pass.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) == 0)
        stamp(st, e.size, e.modified);
    QByteArray bytes(maxBytes, Qt::Uninitialized);
    qint64 got = 0;
    while (got < maxBytes) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(maxBytes - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0)
                got = -1;
            break;
        }
        got += n;
    }
    ::close(fd);
    if (got < 0)
        return;
    bytes.truncate(int(got));
    e.state = parse(bytes, e.nodes);
    if (e.state != State::Readable)
        e.nodes.clear();
}
