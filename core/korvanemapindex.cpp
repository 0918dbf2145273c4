#include "korvanemapindex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QHash>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder changed less than this long before it was listed may change again within the same
// tick of the file system's clock without its time moving; it is listed again next time.
constexpr qint64 kRacyNs = 1000000000;

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
    : QObject(parent), folder(folder), maxBytes(maxBytes), parse(std::move(parse)),
      watcher(new QFileSystemWatcher(this))
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
        const auto old = known.find(name);
        if (old != known.end() && statPath(path, e.size, e.modified) &&
            old.value()->size == e.size && old.value()->modified == e.modified) {
            fresh.push_back(std::move(*old.value()));
            continue;
        }
        load(path, e);
        fresh.push_back(std::move(e));
    }
    list = std::move(fresh);
}

void KorvaneMapIndex::load(const QString &path, Entry &e)
{
    ++reads;
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
