#include "mapfile.h"

#include <QDataStream>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace MapFile {

namespace {
QDataStream &littleEndian(QDataStream &s)
{
    s.setByteOrder(QDataStream::LittleEndian);
    s.setFloatingPointPrecision(QDataStream::SinglePrecision);
    return s;
}
} // namespace

QByteArray serialize(const KorvaneSensorsState &map, float version, int remoteType)
{
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    littleEndian(s);
    s << version << qint32(remoteType) << qint32(map.mapId) << qint32(map.key)
      << qint32(map.reserved) << qint32(map.scaleLength) << qint32(map.octave) << qint32(map.scale)
      << qint32(remoteType) << qint32(kSensorCount);
    for (int i = 0; i < kSensorCount; ++i) {
        const KorvaneSensorNode n =
            i < int(map.nodes.size()) ? map.nodes[i] : KorvaneSensorNode(i, NodeDisabled);
        s << qint32(n.type) << qint32(n.action) << qint32(n.cc) << qint32(n.extra)
          << qint32(n.note);
    }
    return bytes;
}

Result parse(const QByteArray &bytes, float minVersion, KorvaneSensorsState &out, QString *why)
{
    auto damaged = [why](const QString &reason) {
        if (why)
            *why = reason;
        return Result::Damaged;
    };
    if (bytes.size() < kHeaderSize)
        return damaged(QStringLiteral("the file ends inside its header"));

    // Little-endian words read straight from the bytes (the maps folder may hold thousands
    // of files, all read when the device reports its map).
    const uchar *p = reinterpret_cast<const uchar *>(bytes.constData());
    auto word = [p](int offset) { return qFromLittleEndian<qint32>(p + offset); };
    const quint32 versionBits = qFromLittleEndian<quint32>(p);
    float version;
    std::memcpy(&version, &versionBits, sizeof version);
    if (std::isnan(version))
        return damaged(QStringLiteral("the version is not a number"));
    if (version < minVersion)
        return Result::OldVersion;
    const qint32 count = word(36);
    if (count != kSensorCount)
        return damaged(
            QStringLiteral("it holds %1 sensors instead of %2").arg(count).arg(kSensorCount));
    if (bytes.size() < kFileSize)
        return damaged(QStringLiteral("the file ends early"));

    KorvaneSensorsState map = out;
    map.mapId = word(8);
    map.key = word(12);
    map.reserved = word(16);
    map.scaleLength = word(20);
    map.octave = word(24);
    map.scale = word(28);
    map.nodes.clear();
    map.nodes.reserve(kSensorCount);
    for (int i = 0; i < kSensorCount; ++i) {
        const int at = kHeaderSize + i * kNodeSize;
        KorvaneSensorNode n(i, word(at));
        n.action = word(at + 4);
        n.cc = word(at + 8);
        n.extra = word(at + 12);
        n.note = word(at + 16);
        map.nodes.push_back(n);
    }
    out = map;
    return Result::Ok;
}

} // namespace MapFile
