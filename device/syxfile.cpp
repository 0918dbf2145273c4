#include "syxfile.h"

#include <algorithm>
#include <array>

using KorvaneSysex::Message;

namespace {

// Payload lengths of the Palmetto dialect's messages (0: not one of its commands).
int palmettoLength(uint8_t command)
{
    switch (command) {
    case KorvaneSysex::PalMapping:
        return 12;
    case KorvaneSysex::PalVelocityCurve:
    case KorvaneSysex::PalAftertouchCurve:
        return 20;
    case KorvaneSysex::PalAftertouchDelay:
    case KorvaneSysex::PalOnThreshold:
    case KorvaneSysex::PalOffThreshold:
    case KorvaneSysex::PalGlobalControl:
    case KorvaneSysex::PalGlobalCC:
    case KorvaneSysex::PalMidiChannel:
    case KorvaneSysex::PalVelocityScale:
    case KorvaneSysex::PalAftertouchScale:
        return 1;
    default:
        return 0;
    }
}

// Payload lengths of the Remote dialect's configuration messages (0: none of them).
int remoteLength(uint8_t command)
{
    using namespace KorvaneSysex;
    switch (command) {
    case CmdMappingHeader:
    case CmdThresholdHeader:
    case CmdCurveHeader:
    case CmdSettingsHeader:
    case CmdBendHeader:
    case CmdGyroHeader:
        return 1;
    case CmdMappingSlot:
    case CmdCurveRecord:
        return 4;
    case CmdThresholdRecord:
    case CmdSettingsRecord:
    case CmdBendRecord:
    case CmdGyroRecord:
        return 6;
    default:
        return 0;
    }
}

// The record command each Remote header announces, and the header arguments it may carry.
struct RemotePair
{
    uint8_t header;
    uint8_t record;
    uint8_t maxArgument;
};
constexpr std::array<RemotePair, 5> kRemotePairs = {{
    {KorvaneSysex::CmdThresholdHeader, KorvaneSysex::CmdThresholdRecord, 0},
    {KorvaneSysex::CmdCurveHeader, KorvaneSysex::CmdCurveRecord, 1},
    {KorvaneSysex::CmdSettingsHeader, KorvaneSysex::CmdSettingsRecord, 0},
    {KorvaneSysex::CmdBendHeader, KorvaneSysex::CmdBendRecord, 1},
    {KorvaneSysex::CmdGyroHeader, KorvaneSysex::CmdGyroRecord, 0},
}};

QString hex(uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

// Cuts bytes into messages by each command's length in dialect. Nothing is trusted: a
// message must start with F0 7D, name a command of the dialect, and end with F7 where its
// length says.
bool split(const QByteArray &bytes, int dialect, std::vector<Message> &out, QString *error)
{
    const auto at = [&bytes](int i) { return uint8_t(bytes.at(i)); };
    const int size = bytes.size();
    int i = 0;
    while (i < size) {
        const int n = int(out.size()) + 1;
        if (at(i) != KorvaneSysex::kStart) {
            *error = QStringLiteral("byte %1 at offset %2 lies outside any message")
                         .arg(hex(at(i)))
                         .arg(i);
            return false;
        }
        if (i + 2 >= size) {
            *error = QStringLiteral("message %1 is cut short").arg(n);
            return false;
        }
        if (at(i + 1) != KorvaneSysex::kHeader) {
            *error = QStringLiteral("message %1 is not one of ours (header %2, not 7D)")
                         .arg(n)
                         .arg(hex(at(i + 1)));
            return false;
        }
        const uint8_t command = at(i + 2);
        const int length =
            dialect == KorvaneSyxFile::Remote ? remoteLength(command) : palmettoLength(command);
        if (length == 0) {
            *error = QStringLiteral("message %1 has command %2, unknown to the %3 dialect")
                         .arg(n)
                         .arg(hex(command), KorvaneSyxFile::dialectName(dialect));
            return false;
        }
        const int end = i + 3 + length;
        if (end >= size) {
            *error = QStringLiteral("message %1 is cut short").arg(n);
            return false;
        }
        if (at(end) != KorvaneSysex::kEnd) {
            *error = QStringLiteral("message %1 does not end with F7 where its length ends").arg(n);
            return false;
        }
        out.emplace_back(bytes.constBegin() + i, bytes.constBegin() + end + 1);
        i = end + 1;
    }
    return true;
}

// The two bytes (or three) carried as nibble pairs; false when a nibble is above 0x0F.
bool unNibble(const Message &m, std::vector<uint8_t> &out)
{
    out.clear();
    for (size_t i = 3; i + 2 < m.size(); i += 2) {
        if (m[i] > 0x0F || m[i + 1] > 0x0F)
            return false;
        out.push_back(uint8_t(m[i] << 4 | m[i + 1]));
    }
    return true;
}

void ensureNodes(KorvaneSensorsState &map)
{
    for (size_t i = map.nodes.size(); i < size_t(kSensorCount); ++i)
        map.nodes.emplace_back(int(i), NodeDisabled);
}

bool readRemote(const std::vector<Message> &msgs, bool vesko, KorvaneSyxFile::Contents &c,
                QString *error)
{
    using namespace KorvaneSysex;
    std::vector<uint8_t> data;
    for (size_t i = 0; i < msgs.size(); ++i) {
        const QString where = QStringLiteral("message %1").arg(i + 1);
        const uint8_t command = msgs[i][2];
        const uint8_t argument = msgs[i][3];
        if (command == CmdMappingHeader) {
            if (argument != kWireSlots) {
                *error =
                    where +
                    QStringLiteral(" announces %1 map slots, not %2").arg(argument).arg(kWireSlots);
                return false;
            }
            ensureNodes(c.map);
            for (int k = 0; k < kWireSlots; ++k) {
                const size_t s = i + 1 + size_t(k);
                if (s >= msgs.size() || msgs[s][2] != CmdMappingSlot) {
                    *error = where + QStringLiteral(" starts a map that stops after %1 of %2 slots")
                                         .arg(k)
                                         .arg(kWireSlots);
                    return false;
                }
                if (!unNibble(msgs[s], data)) {
                    *error = QStringLiteral("message %1 is damaged (a nibble above 0F)").arg(s + 1);
                    return false;
                }
                const int node = vesko ? (k < 18 ? k : -1) : deviceOrder()[size_t(k)];
                if (node < 0) {
                    if (data[0] != kFillerType || data[1] != 0) {
                        *error = QStringLiteral("message %1 fills slot %2, which no sensor has")
                                     .arg(s + 1)
                                     .arg(k + 1);
                        return false;
                    }
                    continue;
                }
                KorvaneSensorNode &n = c.map.nodes[size_t(node)];
                n.index = node;
                n.type = data[0];
                n.note = n.cc = n.action = data[1];
            }
            // As a map read back from the device: the octave follows node 12's note.
            c.map.octave = c.map.nodes[12].note / 12 - 1;
            c.map.key = 0;
            c.hasMap = true;
            i += kWireSlots;
            continue;
        }
        const auto pair =
            std::find_if(kRemotePairs.begin(), kRemotePairs.end(),
                         [command](const RemotePair &p) { return p.header == command; });
        if (pair == kRemotePairs.end()) {
            *error = where + QStringLiteral(" is a record without its header");
            return false;
        }
        if (argument > pair->maxArgument) {
            *error = where + QStringLiteral(" has the header argument %1").arg(hex(argument));
            return false;
        }
        if (i + 1 >= msgs.size() || msgs[i + 1][2] != pair->record) {
            *error = where + QStringLiteral(" is a header without its record");
            return false;
        }
        if (!unNibble(msgs[++i], data)) {
            *error = QStringLiteral("message %1 is damaged (a nibble above 0F)").arg(i + 1);
            return false;
        }
        KorvaneCalibration &cal = c.calibration;
        switch (command) {
        case CmdThresholdHeader:
            cal.aftertouchDelay = data[0];
            cal.onThreshold = data[1];
            cal.offThreshold = data[2];
            c.hasCalibration = true;
            break;
        case CmdCurveHeader:
            (argument == 0 ? cal.velocityCurveType : cal.aftertouchCurveType) = data[0];
            (argument == 0 ? cal.velocityScale : cal.aftertouchScale) = float(data[1]);
            c.hasCalibration = true;
            break;
        case CmdSettingsHeader:
            cal.unpackControl(ControlPacket{{data[0], data[1], data[2]}});
            c.hasSettings = true;
            break;
        case CmdBendHeader:
            if (argument == 0) {
                c.bend.byte0 = data[0];
                c.bend.halfway = data[1];
                c.bend.bendSpeed = data[2];
            } else {
                c.bend.bendDelay = data[0];
                c.bend.releaseDelay = data[1];
                c.bend.releaseSpeed = data[2];
            }
            c.hasBend = true;
            break;
        default:
            c.gyro.gyroRate = data[0];
            c.gyro.gyroThreshold = data[1];
            c.gyro.gyroMode = data[2];
            c.hasGyro = true;
            break;
        }
    }
    return true;
}

void readPalmetto(const std::vector<Message> &msgs, KorvaneSyxFile::Contents &c)
{
    using namespace KorvaneSysex;
    CalibrationPacket cal = c.calibration.packCalibration();
    ControlPacket ctl = c.calibration.packControl();
    auto &b = cal.bytes;
    for (const Message &m : msgs) {
        const uint8_t v = m[3];
        switch (m[2]) {
        case PalMapping:
            ensureNodes(c.map);
            for (int k = 0; k < 12; ++k)
                c.map.nodes[size_t(deviceOrder()[size_t(k)])].note = m[3 + size_t(k)];
            c.hasMap = true;
            continue;
        case PalAftertouchDelay:
            b[0] = v;
            break;
        case PalOnThreshold:
            b[1] = v;
            break;
        case PalOffThreshold:
            b[2] = v;
            break;
        case PalVelocityCurve:
            std::copy(m.begin() + 3, m.begin() + 23, b.begin() + 3);
            break;
        case PalVelocityScale:
            b[23] = v;
            break;
        case PalAftertouchCurve:
            std::copy(m.begin() + 3, m.begin() + 23, b.begin() + 24);
            break;
        case PalAftertouchScale:
            b[44] = v;
            break;
        case PalGlobalControl:
            ctl.bytes[0] = v;
            break;
        case PalGlobalCC:
            ctl.bytes[1] = v;
            break;
        default: // PalMidiChannel
            ctl.bytes[2] = v;
            break;
        }
        c.hasSettings = true;
    }
    if (c.hasSettings) {
        c.calibration.unpackCalibration(cal);
        c.calibration.unpackControl(ctl);
    }
}

bool readAs(const QByteArray &bytes, int dialect, bool vesko, KorvaneSyxFile::Contents &c,
            std::vector<Message> &msgs, QString *error)
{
    msgs.clear();
    if (!split(bytes, dialect, msgs, error))
        return false;
    if (dialect == KorvaneSyxFile::Remote)
        return readRemote(msgs, vesko, c, error);
    readPalmetto(msgs, c);
    return true;
}

} // namespace

QStringList KorvaneSyxFile::Contents::recordNames() const
{
    QStringList names;
    if (hasMap)
        names << QStringLiteral("map");
    if (hasCalibration)
        names << QStringLiteral("calibration");
    if (hasSettings)
        names << QStringLiteral("settings");
    if (hasBend)
        names << QStringLiteral("bend settings");
    if (hasGyro)
        names << QStringLiteral("gyro settings");
    return names;
}

QString KorvaneSyxFile::dialectName(int dialect)
{
    return dialect == Palmetto ? QStringLiteral("Palmetto") : QStringLiteral("KorvaneRemote");
}

std::vector<Message> KorvaneSyxFile::mapOnly(int dialect, const KorvaneSensorsState &map,
                                             bool vesko)
{
    if (dialect == Palmetto)
        return {KorvaneSysex::mappingPalmetto(map)};
    return KorvaneSysex::mappingRemote(map, vesko);
}

std::vector<Message> KorvaneSyxFile::backup(int dialect, const Contents &r, bool vesko)
{
    std::vector<Message> out = mapOnly(dialect, r.map, vesko);
    const auto append = [&out](const std::vector<Message> &more) {
        out.insert(out.end(), more.begin(), more.end());
    };
    if (dialect == Palmetto) {
        append(KorvaneSysex::settingsPalmetto(r.calibration));
        return out;
    }
    append(KorvaneSysex::calibrationRemote(r.calibration));
    append(KorvaneSysex::settingsRemote(r.calibration));
    append(KorvaneSysex::bendRemote(r.bend));
    append(KorvaneSysex::gyroRemote(r.gyro));
    return out;
}

QByteArray KorvaneSyxFile::join(const std::vector<Message> &messages)
{
    QByteArray out;
    for (const Message &m : messages)
        out.append(reinterpret_cast<const char *>(m.data()), int(m.size()));
    return out;
}

bool KorvaneSyxFile::read(const QByteArray &bytes, int dialect, bool vesko, Contents &records,
                          QString *error, std::vector<Message> *messages)
{
    QString why;
    if (dialect != Palmetto && dialect != Remote)
        why = QStringLiteral("no device dialect is chosen");
    else if (bytes.isEmpty())
        why = QStringLiteral("it holds no messages");
    else if (bytes.size() > kMaxBytes)
        why = QStringLiteral("it is larger than any backup");
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    Contents read = records;
    std::vector<Message> msgs;
    if (!readAs(bytes, dialect, vesko, read, msgs, &why)) {
        // A backup of the other dialect is named as such rather than as damaged.
        Contents other = records;
        QString ignored;
        const int otherDialect = dialect == Remote ? Palmetto : Remote;
        if (readAs(bytes, otherDialect, vesko, other, msgs, &ignored))
            why = QStringLiteral("it is a backup of a %1 device, and the device speaks %2")
                      .arg(dialectName(otherDialect), dialectName(dialect));
        if (error)
            *error = why;
        return false;
    }
    records = read;
    if (messages)
        *messages = std::move(msgs);
    return true;
}
