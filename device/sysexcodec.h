// Outgoing SysEx messages of both device dialects and the upload sequences built from them.
// Pure functions: no Qt objects, no MIDI library. Every message is one complete frame
// F0 7D <command> <payload> F7.
#pragma once

#include "base/korvanerecords.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace KorvaneSysex {

using Message = std::vector<uint8_t>;

constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;
constexpr uint8_t kHeader = 0x7D; // non-commercial manufacturer ID, the only one accepted

// Wire slots of a mapping; slots past the 18 real sensors carry this filler type.
constexpr int kWireSlots = 24;
constexpr uint8_t kFillerType = 100;

// Commands sent in the Remote dialect.
enum RemoteCommand : uint8_t
{
    CmdVersionRequest = 0x01,
    CmdMappingHeader = 0x02,
    CmdMappingSlot = 0x03,
    CmdThresholdHeader = 0x05,
    CmdThresholdRecord = 0x06,
    CmdCurveHeader = 0x07,
    CmdCurveRecord = 0x08,
    CmdSettingsHeader = 0x09,
    CmdSettingsRecord = 0x0A,
    CmdBendHeader = 0x0B,
    CmdBendRecord = 0x0C,
    CmdInfoRequest = 0x0D,
    CmdEepromWrite = 0x15,
    CmdGyroHeader = 0x18,
    CmdGyroRecord = 0x19,
};

// Commands sent in the Palmetto dialect (plain byte payloads).
enum PalmettoCommand : uint8_t
{
    PalMapping = 0x07,
    PalAftertouchDelay = 0x10,
    PalOnThreshold = 0x05,
    PalOffThreshold = 0x06,
    PalGlobalControl = 0x0C,
    PalGlobalCC = 0x08,
    PalMidiChannel = 0x0D,
    PalVelocityCurve = 0x03,
    PalVelocityScale = 0x0E,
    PalAftertouchCurve = 0x04,
    PalAftertouchScale = 0x0F,
};

// A frame around a command and its payload.
Message frame(uint8_t command, const std::vector<uint8_t> &payload = {});
// Each byte as two bytes: high nibble, then low nibble.
std::vector<uint8_t> nibbles(const std::vector<uint8_t> &bytes);
// A float truncated toward zero to 16 bits; the low 8 bits travel.
uint8_t floatToByte(float value);

// Application node carried by each wire slot in the device's own order (-1: filler).
const std::array<int, kWireSlots> &deviceOrder();
// Type byte and value byte of one node; the value depends on the type.
std::pair<uint8_t, uint8_t> nodePair(const KorvaneSensorNode &node);
// The 24 (type, value) pairs of a mapping, device order or, with vesko, in node order.
std::array<std::pair<uint8_t, uint8_t>, kWireSlots> wireSlots(const KorvaneSensorsState &state,
                                                              bool vesko);

// Requests and commands.
Message versionRequest();
Message infoRequest();
Message eepromWrite();

// Upload sequences, one message per send.
std::vector<Message> mappingRemote(const KorvaneSensorsState &state, bool vesko);
std::vector<Message> calibrationRemote(const KorvaneCalibration &calib);
std::vector<Message> settingsRemote(const KorvaneCalibration &calib);
std::vector<Message> bendRemote(const KorvaneBendSettings &bend);
std::vector<Message> gyroRemote(const KorvaneGyroSettings &gyro);
Message mappingPalmetto(const KorvaneSensorsState &state);
std::vector<Message> settingsPalmetto(const KorvaneCalibration &calib);

} // namespace KorvaneSysex
