#include "korvanerecords.h"

#include <cmath>

KorvaneSensorsState KorvaneSensorsState::fresh()
{
    KorvaneSensorsState s;
    s.nodes.reserve(kSensorCount);
    for (int i = 0; i < kSensorCount; ++i) {
        KorvaneSensorNode n(i, i == 0 ? NodeAction : NodeNote);
        n.cc = 0;
        n.extra = -1;
        n.note = i == 0 ? 48 : 60 + i;
        s.nodes.push_back(n);
    }
    return s;
}

KorvaneCalibration::KorvaneCalibration()
{
    for (int i = 0; i < 20; ++i) {
        velocityCurve[i] = static_cast<uint8_t>(6 * i);
        aftertouchCurve[i] = static_cast<uint8_t>(6 * i);
    }
}

std::array<uint8_t, 20> KorvaneCalibration::curveTable(int type)
{
    // Single-precision constants, results truncated to 16 bits and stored as the low byte.
    std::array<uint8_t, 20> t{};
    for (int i = 0; i < 20; ++i) {
        const float fi = static_cast<float>(i);
        float v = 0.0f;
        switch (type) {
        case CurveLinear:
            v = fi * 6.047619f + 5.0f;
            break;
        case CurveSlow: {
            const float x = fi * 0.05263158f;
            v = x * x * 127.0f;
            break;
        }
        case CurveFast:
            v = i == 0 ? 5.0f : std::sqrt(fi * 0.05263158f) * 127.0f + 5.0f;
            break;
        case CurveSudden: {
            const float lg = i == 0 ? -1.0f : std::log10(fi * 0.5263158f + 0.1f);
            v = (lg + 1.1f) * 63.5f;
            break;
        }
        default:
            return t;
        }
        t[i] = static_cast<uint8_t>(static_cast<int16_t>(v) & 0xFF);
    }
    return t;
}

void KorvaneCalibration::setVelocityCurveType(int type)
{
    velocityCurveType = type;
    if (type >= 0 && type <= 3)
        velocityCurve = curveTable(type);
}

void KorvaneCalibration::setAftertouchCurveType(int type)
{
    aftertouchCurveType = type;
    if (type >= 0 && type <= 3)
        aftertouchCurve = curveTable(type);
}

static uint8_t truncatedByte(float v)
{
    // Truncate toward zero, keep the low 8 bits.
    return static_cast<uint8_t>(static_cast<int32_t>(std::trunc(v)) & 0xFF);
}

CalibrationPacket KorvaneCalibration::packCalibration() const
{
    CalibrationPacket p;
    p.bytes[0] = aftertouchDelay;
    p.bytes[1] = onThreshold;
    p.bytes[2] = offThreshold;
    for (int i = 0; i < 20; ++i)
        p.bytes[3 + i] = velocityCurve[i];
    p.bytes[23] = truncatedByte(velocityScale);
    for (int i = 0; i < 20; ++i)
        p.bytes[24 + i] = aftertouchCurve[i];
    p.bytes[44] = truncatedByte(aftertouchScale);
    return p;
}

void KorvaneCalibration::unpackCalibration(const CalibrationPacket &p)
{
    aftertouchDelay = p.bytes[0];
    onThreshold = p.bytes[1];
    offThreshold = p.bytes[2];
    for (int i = 0; i < 20; ++i)
        velocityCurve[i] = p.bytes[3 + i];
    velocityScale = static_cast<float>(p.bytes[23]);
    for (int i = 0; i < 20; ++i)
        aftertouchCurve[i] = p.bytes[24 + i];
    aftertouchScale = static_cast<float>(p.bytes[44]);
}

ControlPacket KorvaneCalibration::packControl() const
{
    ControlPacket p;
    p.bytes[0] = static_cast<uint8_t>(globalControl & 0xFF);
    p.bytes[1] = globalCC;
    p.bytes[2] = midiChannel;
    return p;
}

void KorvaneCalibration::unpackControl(const ControlPacket &p)
{
    globalControl = p.bytes[0];
    globalCC = p.bytes[1];
    midiChannel = p.bytes[2];
}

void KorvaneCalibration::pairOnThreshold(int newOn)
{
    onThreshold = static_cast<uint8_t>(newOn);
    if (onThreshold <= offThreshold)
        onThreshold = static_cast<uint8_t>(offThreshold + 1);
}

void KorvaneCalibration::pairOffThreshold(int newOff)
{
    offThreshold = static_cast<uint8_t>(newOff);
    if (offThreshold >= onThreshold)
        offThreshold = static_cast<uint8_t>(onThreshold - 1);
}

bool KorvaneCalibration::operator==(const KorvaneCalibration &o) const
{
    return aftertouchDelay == o.aftertouchDelay && onThreshold == o.onThreshold &&
           offThreshold == o.offThreshold && velocityScale == o.velocityScale &&
           aftertouchScale == o.aftertouchScale && globalControl == o.globalControl &&
           globalCC == o.globalCC && velocityCurve == o.velocityCurve &&
           velocityCurveType == o.velocityCurveType && aftertouchCurve == o.aftertouchCurve &&
           aftertouchCurveType == o.aftertouchCurveType && midiChannel == o.midiChannel;
}

void registerKorvaneMetaTypes()
{
    qRegisterMetaType<KorvaneSensorNode>("KorvaneSensorNode");
    qRegisterMetaType<KorvaneSensorsState>("KorvaneSensorsState");
    qRegisterMetaType<KorvaneCalibration>("KorvaneCalibration");
    qRegisterMetaType<KorvaneBendSettings>("KorvaneBendSettings");
    qRegisterMetaType<KorvaneGyroSettings>("KorvaneGyroSettings");
}
