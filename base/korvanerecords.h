// Device configuration records: plain values passed between the device link, the hub,
// the views and the files. Copying a record copies every field.
#pragma once

#include <QMetaType>

#include <array>
#include <cstdint>
#include <vector>

// Sensor type codes.
enum KorvaneNodeType
{
    NodeNote = 0,
    NodeControlChange = 1,
    NodeAction = 2,
    NodeGyroControlChange = 3,
    NodeGyroBend = 4,
    NodeGyroAction = 5,
    NodeDisabled = 6,
    NodeUnlabelled = 7,
};

// Action codes the hub itself refers to.
enum KorvaneActionCode
{
    ActionTransposeUp = 0,
    ActionTransposeDown = 1,
    ActionOctaveUpTemporal = 2,
    ActionOctaveDownTemporal = 3,
    ActionOctaveUp = 4,
    ActionOctaveDown = 5,
    ActionBendUp = 6,
    ActionBendDown = 7,
};

// One sensor's assignment.
struct KorvaneSensorNode
{
    KorvaneSensorNode() = default;
    KorvaneSensorNode(int index, int type) : index(index), type(type) {}

    int32_t index = 0;
    int32_t type = 0;
    int32_t action = 0; // action code, bend kind or gyro-action match value
    int32_t cc = 1;     // controller number or gyro action kind
    int32_t note = 48;
    int32_t extra = -1; // carried unchanged, stored in map files

    bool operator==(const KorvaneSensorNode &o) const
    {
        return index == o.index && type == o.type && action == o.action && cc == o.cc &&
               note == o.note && extra == o.extra;
    }
    bool operator!=(const KorvaneSensorNode &o) const { return !(*this == o); }
};

constexpr int kSensorCount = 24;

// A whole map: 24 nodes plus key, octave and scale.
struct KorvaneSensorsState
{
    std::vector<KorvaneSensorNode> nodes;
    int32_t reserved = 0;
    int32_t word1 = 0; // carried, not interpreted
    int32_t word2 = 1; // carried, not interpreted
    std::array<uint8_t, 20> block{};
    int32_t mapId = 0;
    int32_t octave = 4;
    int32_t key = 0;
    int32_t scale = 0;
    std::array<uint8_t, 12> scaleSteps{};
    int32_t scaleLength = 7;
    std::array<int32_t, 4> tail{};

    // The map a fresh hub starts from, before note generation.
    static KorvaneSensorsState fresh();
};

// Curve types of the velocity and aftertouch tables.
enum KorvaneCurveType
{
    CurveLinear = 0,
    CurveSlow = 1,
    CurveFast = 2,
    CurveSudden = 3
};

struct CalibrationPacket
{
    static constexpr int kSize = 45;
    std::array<uint8_t, kSize> bytes{};
};

struct ControlPacket
{
    static constexpr int kSize = 3;
    std::array<uint8_t, kSize> bytes{};
};

// Sensitivity and global MIDI settings of the device.
struct KorvaneCalibration
{
    KorvaneCalibration();

    uint8_t aftertouchDelay = 55;
    uint8_t onThreshold = 16;
    uint8_t offThreshold = 8;
    float unusedFloat = 0.05f; // not read by this program
    float velocityScale = 1.0f;
    float aftertouchScale = 1.0f;
    int32_t globalControl = 4;
    uint8_t globalCC = 1;
    std::array<uint8_t, 20> velocityCurve{};
    int32_t velocityCurveType = CurveFast;
    std::array<uint8_t, 20> aftertouchCurve{};
    int32_t aftertouchCurveType = CurveFast;
    uint8_t midiChannel = 0;

    // Store the type; types 0..3 also recompute their table.
    void setVelocityCurveType(int type);
    void setAftertouchCurveType(int type);
    static std::array<uint8_t, 20> curveTable(int type);

    CalibrationPacket packCalibration() const;
    void unpackCalibration(const CalibrationPacket &p);
    ControlPacket packControl() const;
    void unpackControl(const ControlPacket &p);

    // Keep on > off after a threshold slider moved.
    void pairOnThreshold(int newOn);
    void pairOffThreshold(int newOff);

    bool operator==(const KorvaneCalibration &o) const;
    bool operator!=(const KorvaneCalibration &o) const { return !(*this == o); }
};

struct KorvaneBendSettings
{
    uint8_t byte0 = 2; // kept and sent unchanged
    uint8_t halfway = 1;
    uint8_t bendSpeed = 15;
    uint8_t bendDelay = 0;
    uint8_t releaseDelay = 20;
    uint8_t releaseSpeed = 1;

    bool operator==(const KorvaneBendSettings &o) const
    {
        return byte0 == o.byte0 && halfway == o.halfway && bendSpeed == o.bendSpeed &&
               bendDelay == o.bendDelay && releaseDelay == o.releaseDelay &&
               releaseSpeed == o.releaseSpeed;
    }
};

struct KorvaneGyroSettings
{
    uint8_t gyroRate = 1;
    uint8_t gyroThreshold = 33;
    uint8_t gyroMode = 0;
};

Q_DECLARE_METATYPE(KorvaneSensorNode)
Q_DECLARE_METATYPE(KorvaneSensorsState)
Q_DECLARE_METATYPE(KorvaneCalibration)
Q_DECLARE_METATYPE(KorvaneBendSettings)
Q_DECLARE_METATYPE(KorvaneGyroSettings)

// Registers the records that cross threads in queued signals. Safe to call repeatedly.
void registerKorvaneMetaTypes();
