#include "mapfile.h"

#include <QDataStream>

#include <cmath>

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

    QDataStream s(bytes);
    littleEndian(s);
    float version = 0;
    qint32 remote1, mapId, key, reserved, scaleLength, octave, scale, remote2, count;
    s >> version;
    if (std::isnan(version))
        return damaged(QStringLiteral("the version is not a number"));
    if (version < minVersion)
        return Result::OldVersion;
    s >> remote1 >> mapId >> key >> reserved >> scaleLength >> octave >> scale >> remote2 >> count;
    if (count != kSensorCount)
        return damaged(
            QStringLiteral("it holds %1 sensors instead of %2").arg(count).arg(kSensorCount));
    if (bytes.size() < kFileSize)
        return damaged(QStringLiteral("the file ends early"));

    KorvaneSensorsState map = out;
    map.mapId = mapId;
    map.key = key;
    map.reserved = reserved;
    map.scaleLength = scaleLength;
    map.octave = octave;
    map.scale = scale;
    map.nodes.clear();
    for (int i = 0; i < kSensorCount; ++i) {
        qint32 type, action, cc, extra, note;
        s >> type >> action >> cc >> extra >> note;
        KorvaneSensorNode n(i, type);
        n.action = action;
        n.cc = cc;
        n.extra = extra;
        n.note = note;
        map.nodes.push_back(n);
    }
    if (s.status() != QDataStream::Ok)
        return damaged(QStringLiteral("the file ends early"));
    out = map;
    return Result::Ok;
}

} // namespace MapFile
