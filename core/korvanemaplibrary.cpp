#include "korvanemaplibrary.h"

#include "core/atomicfile.h"
#include "core/debuglog.h"
#include "core/korvanemapindex.h"
#include "core/mapfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QVarLengthArray>

#include <limits>

namespace {

// Why a device's node differs from a file's: each reason with a log line of its own.
enum Mismatch
{
    Same = -1,
    Silent, // differs, without a log line
    Type,
    Number,
    Cc,
    Action,
    GyroAction,
    Reasons
};
const char *const reasonText[Reasons] = {"",
                                         " type not matching",
                                         " number not matching",
                                         " cc not matching",
                                         " action not matching",
                                         " gyro action not matching"};

Mismatch nodeMismatch(const KorvaneSensorNode &x, const KorvaneSensorNode &y)
{
    if (x.type != y.type)
        return Type;
    switch (x.type) {
    case NodeNote:
        return x.note != y.note ? Number : Same;
    case NodeControlChange:
        return x.cc != y.cc ? Cc : Same;
    case NodeAction:
        return x.action != y.action ? Action : Same;
    case NodeGyroControlChange:
        return x.cc != y.cc ? GyroAction : Same;
    case NodeGyroBend:
    case NodeGyroAction:
    case NodeUnlabelled:
        return x.action != y.action ? Silent : Same;
    default:
        return Same;
    }
}

// The log line of sensor i differing for reason, '\n' included; the lines of the first sensors
// are made once, as a match of a large folder logs hundreds of thousands of them.
QByteArray mismatchLine(size_t i, Mismatch reason)
{
    return "sensor  " + QByteArray::number(qulonglong(i)) + ' ' + reasonText[reason] + '\n';
}
void appendMismatchLine(QByteArray &log, size_t i, Mismatch reason)
{
    constexpr size_t kCached = 32;
    static const std::vector<QByteArray> lines = [] {
        std::vector<QByteArray> all;
        for (size_t n = 0; n < kCached; ++n)
            for (int r = 0; r < Reasons; ++r)
                all.push_back(mismatchLine(n, Mismatch(r)));
        return all;
    }();
    if (i < kCached)
        log.append(lines[i * Reasons + reason]); // no copy: appended from the table
    else
        log.append(mismatchLine(i, reason));
}

template <typename Positions>
bool compareNodes(const std::vector<KorvaneSensorNode> &a, const std::vector<KorvaneSensorNode> &b,
                  QByteArray *log, Positions *differ)
{
    if (b.size() < a.size())
        return false; // never read past the file's list
    bool equal = true;
    for (size_t i = 0; i < a.size(); ++i) {
        const Mismatch why = nodeMismatch(a[i], b[i]);
        if (why == Same)
            continue;
        if (why != Silent && log)
            appendMismatchLine(*log, i, why);
        if (differ)
            differ->append(int(i));
        equal = false;
    }
    return equal;
}

KorvaneMapIndex::State parseNodes(const QByteArray &bytes, float version, KorvaneSensorsState &out)
{
    switch (MapFile::parse(bytes, version, out)) {
    case MapFile::Result::Ok:
        return KorvaneMapIndex::State::Readable;
    case MapFile::Result::OldVersion:
        return KorvaneMapIndex::State::Old;
    default:
        return KorvaneMapIndex::State::Unreadable;
    }
}

// Reads the first 520 bytes of a map file for comparing.
KorvaneMapIndex::State readNodes(const QString &path, float version, KorvaneSensorsState &out)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return KorvaneMapIndex::State::Unreadable;
    const QByteArray bytes = f.read(MapFile::kFileSize);
    if (f.error() != QFileDevice::NoError)
        return KorvaneMapIndex::State::Unreadable;
    return parseNodes(bytes, version, out);
}

} // namespace

KorvaneMapLibrary::KorvaneMapLibrary(const QString &dataPath, float version, QObject *parent)
    : QObject(parent), dataPath(dataPath), folder(dataPath + QStringLiteral("/maps/")),
      version(version)
{
    QDir().mkpath(folder);
    mapIndex = new KorvaneMapIndex(
        folder, MapFile::kFileSize,
        [version](const QByteArray &bytes, std::vector<KorvaneSensorNode> &nodes) {
            KorvaneSensorsState parsed;
            const KorvaneMapIndex::State state = parseNodes(bytes, version, parsed);
            nodes = std::move(parsed.nodes);
            return state;
        },
        this);
}

bool KorvaneMapLibrary::save(const QString &filename, const KorvaneSensorsState &map,
                             int remoteType)
{
    QString error;
    const QByteArray bytes = MapFile::serialize(map, version, remoteType);
    if (!AtomicFile::write(filename, bytes, &error)) {
        qWarning().noquote() << "map save failed:" << filename << error;
        emit statusMessage(QStringLiteral("Map was not saved: %1 (%2)")
                               .arg(QFileInfo(filename).fileName(), error));
        return false;
    }
    mapIndex->invalidate();
    return true;
}

bool KorvaneMapLibrary::load(const QString &filename, KorvaneSensorsState &map)
{
    qDebug().noquote() << "loading state.. " << filename;
    QString error;
    QFile f(filename);
    if (!f.open(QIODevice::ReadOnly)) {
        emit statusMessage(QStringLiteral("Could not open map %1: %2")
                               .arg(QFileInfo(filename).fileName(), f.errorString()));
        return false;
    }
    const QByteArray bytes = f.readAll();
    f.close();

    KorvaneSensorsState loaded = map;
    const MapFile::Result r = MapFile::parse(bytes, version, loaded, &error);
    if (r == MapFile::Result::OldVersion) {
        emit versionError();
        emit statusMessage(QStringLiteral("Incompatible file"));
        return false;
    }
    if (r == MapFile::Result::Damaged) {
        emit statusMessage(QStringLiteral("Map %1 is damaged (%2); the current map is kept.")
                               .arg(QFileInfo(filename).fileName(), error));
        return false;
    }
    map = loaded;
    return true;
}

KorvaneSensorsState KorvaneMapLibrary::loadTemp(const QString &filename)
{
    KorvaneSensorsState parsed;
    const KorvaneMapIndex::State state = readNodes(filename, version, parsed);
    if (state == KorvaneMapIndex::State::Old) {
        emit versionError();
        emit statusMessage(QStringLiteral("Incompatible file"));
    }
    // An empty node list never matches a device map.
    return state == KorvaneMapIndex::State::Readable ? parsed : KorvaneSensorsState();
}

void KorvaneMapLibrary::remove(const QString &filename)
{
    mapIndex->invalidate();
    if (QDir(dataPath).remove(filename)) {
        qDebug() << "removed successfull";
    } else {
        qDebug().noquote() << "failed to remove " << filename;
    }
}

KorvaneMapLibrary::Match KorvaneMapLibrary::match(const std::vector<KorvaneSensorNode> &device)
{
    Match result;
    // A folder may hold thousands of maps, each with a line per differing sensor: the lines
    // are collected as bytes and written to the log a few hundred files at a time, and not
    // built at all when the debug log is off.
    const bool logging = QLoggingCategory::defaultCategory()->isDebugEnabled();
    QByteArray text;
    QByteArray *log = logging ? &text : nullptr;
    if (log)
        text.reserve(1 << 18); // a few hundred files' lines, kept between writes
    const QByteArray prefix = "file  " + folder.toUtf8();
    int pending = 0;
    int nearestCount = std::numeric_limits<int>::max();
    QVarLengthArray<int, 32> differ;
    for (const KorvaneMapIndex::Entry &entry : mapIndex->entries()) {
        if (entry.state == KorvaneMapIndex::State::Old) {
            emit versionError();
            emit statusMessage(QStringLiteral("Incompatible file"));
        }
        const std::vector<KorvaneSensorNode> &candidate = entry.nodes;
        differ.clear();
        const bool equal = !candidate.empty() && compareNodes(device, candidate, log, &differ);
        if (log)
            text.append(prefix)
                .append(entry.fileName.toUtf8())
                .append(equal ? "  matched!\n" : "  not maching\n");
        if (equal) {
            result.matched = QFileInfo(entry.fileName).baseName();
            result.found = true;
        } else if (!candidate.empty() && differ.size() < nearestCount) {
            // A readable file holds all 24 sensors, so the positions compared are all there
            // are; the first of equally near maps stays.
            nearestCount = differ.size();
            result.nearest = QFileInfo(entry.fileName).baseName();
            result.nearestDiffer = QList<int>(differ.begin(), differ.end());
        }
        if (log && ++pending == 256) {
            DebugLog::writeLines(text);
            text.resize(0);
            pending = 0;
        }
    }
    DebugLog::writeLines(text);
    return result;
}

bool KorvaneMapLibrary::compare(const std::vector<KorvaneSensorNode> &a,
                                const std::vector<KorvaneSensorNode> &b)
{
    QByteArray log;
    const bool equal = compareNodes(a, b, &log, static_cast<QList<int> *>(nullptr));
    DebugLog::writeLines(log);
    return equal;
}

QList<int> KorvaneMapLibrary::differing(const std::vector<KorvaneSensorNode> &a,
                                        const std::vector<KorvaneSensorNode> &b)
{
    QList<int> differ;
    for (size_t i = 0; i < a.size(); ++i) {
        // A position the file does not have counts as differing.
        if (i >= b.size() || nodeMismatch(a[i], b[i]) != Same)
            differ.append(int(i));
    }
    return differ;
}
