#include "korvanemaplibrary.h"

#include "core/atomicfile.h"
#include "core/korvanemapindex.h"
#include "core/mapfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

namespace {

// Why the device's node x differs from a file's node y: nullptr when they match, an empty
// text when they differ without a log line of their own.
const char *nodeMismatch(const KorvaneSensorNode &x, const KorvaneSensorNode &y)
{
    if (x.type != y.type)
        return " type not matching";
    switch (x.type) {
    case NodeNote:
        return x.note != y.note ? " number not matching" : nullptr;
    case NodeControlChange:
        return x.cc != y.cc ? " cc not matching" : nullptr;
    case NodeAction:
        return x.action != y.action ? " action not matching" : nullptr;
    case NodeGyroControlChange:
        return x.cc != y.cc ? " gyro action not matching" : nullptr;
    case NodeGyroBend:
    case NodeGyroAction:
    case NodeUnlabelled:
        return x.action != y.action ? "" : nullptr;
    default:
        return nullptr;
    }
}

// Compares as KorvaneMapLibrary::compare does. Each line it logs is appended to log (when
// given) followed by '\n' (the text the debug log shows for it); the differing positions go to
// differ when given.
bool compareNodes(const std::vector<KorvaneSensorNode> &a, const std::vector<KorvaneSensorNode> &b,
                  QString *log, QList<int> *differ = nullptr)
{
    if (b.size() < a.size())
        return false; // never read past the file's list
    bool equal = true;
    for (size_t i = 0; i < a.size(); ++i) {
        const char *why = nodeMismatch(a[i], b[i]);
        if (!why)
            continue;
        if (*why && log)
            *log += QLatin1String("sensor  ") + QString::number(i) + QLatin1Char(' ') +
                    QLatin1String(why) + QLatin1Char('\n');
        if (differ)
            differ->append(int(i));
        equal = false;
    }
    return equal;
}

// Writes the collected lines as one log message (the text keeps one line per entry).
void flushLog(QString &log)
{
    if (log.isEmpty())
        return;
    log.chop(1); // the handler ends the message with its own newline
    qDebug().noquote() << log;
    log.clear();
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
    // A folder may hold thousands of maps: each file's lines are collected and written to the
    // log a few hundred files at a time instead of one message (and one write) per line, and
    // not built at all when the debug log is off.
    const bool logging = QLoggingCategory::defaultCategory()->isDebugEnabled();
    QString text;
    QString *log = logging ? &text : nullptr;
    int pending = 0;
    for (const KorvaneMapIndex::Entry &entry : mapIndex->entries()) {
        if (entry.state == KorvaneMapIndex::State::Old) {
            emit versionError();
            emit statusMessage(QStringLiteral("Incompatible file"));
        }
        const std::vector<KorvaneSensorNode> &candidate = entry.nodes;
        QList<int> differ;
        if (!candidate.empty() && compareNodes(device, candidate, log, &differ)) {
            if (log)
                text += QLatin1String("file  ") + folder + entry.fileName +
                        QLatin1String("  matched!\n");
            result.matched = QFileInfo(entry.fileName).baseName();
            result.found = true;
        } else {
            if (log)
                text += QLatin1String("file  ") + folder + entry.fileName +
                        QLatin1String("  not maching\n");
            // A readable file holds all 24 sensors, so the positions compared are all there are.
            if (!candidate.empty() &&
                (result.nearest.isEmpty() || differ.size() < result.nearestDiffer.size())) {
                result.nearest = QFileInfo(entry.fileName).baseName();
                result.nearestDiffer = differ;
            }
        }
        if (++pending == 256) {
            flushLog(text);
            pending = 0;
        }
    }
    flushLog(text);
    return result;
}

bool KorvaneMapLibrary::compare(const std::vector<KorvaneSensorNode> &a,
                                const std::vector<KorvaneSensorNode> &b)
{
    QString log;
    const bool equal = compareNodes(a, b, &log);
    flushLog(log);
    return equal;
}

QList<int> KorvaneMapLibrary::differing(const std::vector<KorvaneSensorNode> &a,
                                        const std::vector<KorvaneSensorNode> &b)
{
    QList<int> differ;
    for (size_t i = 0; i < a.size(); ++i) {
        // A position the file does not have counts as differing.
        if (i >= b.size() || nodeMismatch(a[i], b[i]))
            differ.append(int(i));
    }
    return differ;
}
