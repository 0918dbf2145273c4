#include "settingsfile.h"

#include <QDataStream>
#include <QStringList>

#include <cmath>
#include <cstring>

namespace SettingsFile {

QByteArray serialize(const Settings &st, float version)
{
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s.setFloatingPointPrecision(QDataStream::SinglePrecision);
    s << version;
    const CalibrationPacket cal = st.calibration.packCalibration();
    const ControlPacket ctl = st.calibration.packControl();
    s.writeRawData(reinterpret_cast<const char *>(cal.bytes.data()), CalibrationPacket::kSize);
    s.writeRawData(reinterpret_cast<const char *>(ctl.bytes.data()), ControlPacket::kSize);
    s << quint8(st.calibration.aftertouchCurveType & 0xFF)
      << quint8(st.calibration.velocityCurveType & 0xFF);
    s << qint32(st.remoteType) << qint32(st.remoteMap) << qint32(st.mute);
    return bytes;
}

Result parse(const QByteArray &bytes, float minVersion, Settings &settings, float *fileVersion,
             QStringList *clamped)
{
    if (clamped)
        clamped->clear();
    if (bytes.size() < 4)
        return Result::Damaged;
    QDataStream s(bytes);
    s.setByteOrder(QDataStream::LittleEndian);
    s.setFloatingPointPrecision(QDataStream::SinglePrecision);
    float version = 0;
    s >> version;
    if (fileVersion)
        *fileVersion = version;
    if (std::isnan(version))
        return Result::Damaged;
    if (version < minVersion)
        return Result::OldVersion;
    if (bytes.size() < kMinimumSize)
        return Result::Damaged;

    CalibrationPacket cal;
    ControlPacket ctl;
    quint8 afterType = 0, velType = 0;
    qint32 remoteType = 0, remoteMap = 0, mute = 0;
    s.readRawData(reinterpret_cast<char *>(cal.bytes.data()), CalibrationPacket::kSize);
    s.readRawData(reinterpret_cast<char *>(ctl.bytes.data()), ControlPacket::kSize);
    s >> afterType >> velType >> remoteType >> remoteMap;
    const bool hasMute = bytes.size() >= kSize;
    if (hasMute)
        s >> mute;
    if (s.status() != QDataStream::Ok)
        return Result::Damaged;
    // The remote and mute words are the program's own: a value it never writes means a file
    // that is not one of its settings files.
    if (remoteType < 0 || remoteType > 1 || remoteMap < 0 || remoteMap > 2 ||
        (hasMute && (mute < 0 || mute > 1)))
        return Result::Damaged;
    // A channel or curve type outside the window's ranges (the device may report one) is
    // brought into range on its own; the rest of the file is read as it stands.
    QStringList outOfRange;
    const auto clamp = [&outOfRange](auto &value, int low, int high, const char *name) {
        if (value >= low && value <= high)
            return;
        value = value < low ? low : high;
        outOfRange << QLatin1String(name);
    };
    clamp(ctl.bytes[2], 0, 15, "MIDI channel");
    clamp(afterType, CurveLinear, CurveSudden, "aftertouch curve");
    clamp(velType, CurveLinear, CurveSudden, "velocity curve");
    if (clamped)
        *clamped = outOfRange;

    settings.calibration.unpackCalibration(cal);
    settings.calibration.unpackControl(ctl);
    settings.calibration.aftertouchCurveType = afterType;
    settings.calibration.velocityCurveType = velType;
    settings.remoteType = remoteType;
    settings.remoteMap = remoteMap;
    if (hasMute)
        settings.mute = mute;
    return Result::Ok;
}

} // namespace SettingsFile
