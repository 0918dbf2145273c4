// The device's side of the SysEx protocol, as the emulator plays it: stores every upload of
// either dialect, counts EEPROM writes and answers the version and info requests. Pure logic;
// one complete message in, the replies out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class EmulatedDevice
{
public:
    using Message = std::vector<uint8_t>;

    EmulatedDevice();

    // Handles one incoming message (anything that is not one of our SysEx frames is ignored)
    // and returns the replies to send, in order. 'event' gets a one-line description of what
    // was stored, or stays empty.
    std::vector<Message> handle(const Message &message, std::string *event = nullptr);

    // The replies to an info request: device type, mapping, calibration.
    std::vector<Message> infoReplies() const;
    Message versionReply() const;

    // Everything held, as text lines "key: values".
    std::string dump() const;

    int version = 15;
    int deviceType = 0;
    // Mapping slots in wire order: (type, value).
    std::array<std::pair<uint8_t, uint8_t>, 24> mapping;
    // Calibration and settings as the Remote dialect carries them.
    uint8_t aftertouchDelay = 55, onThreshold = 16, offThreshold = 8;
    uint8_t velocityCurveType = 2, velocityScale = 1, aftertouchCurveType = 2, aftertouchScale = 1;
    uint8_t globalControl = 4, globalCC = 1, midiChannel = 0;
    // What only the Palmetto dialect sends.
    std::vector<uint8_t> palmettoMapping; // 12 notes, empty until received
    std::vector<uint8_t> velocityCurve, aftertouchCurve;
    std::array<uint8_t, 6> bend = {2, 1, 15, 0, 20, 1};
    std::array<uint8_t, 3> gyro = {1, 33, 0};
    int eepromWrites = 0;
    // Completed uploads by kind.
    int mappingUploads = 0, calibrationUploads = 0, settingsUploads = 0, bendUploads = 0,
        gyroUploads = 0, palmettoMappingUploads = 0, palmettoSettingsUploads = 0;

private:
    bool handleRemote(uint8_t cmd, const std::vector<uint8_t> &payload, std::string &event);
    bool handlePalmetto(uint8_t cmd, const std::vector<uint8_t> &payload, std::string &event);

    int expectedSlots_ = 24;
    int slotIndex_ = 0;
    int curveIndex_ = 0;
    int bendHalf_ = 0;
    uint8_t lastCommand_ = 0;
    int palmettoStep_ = 0; // settings messages received of the current Palmetto upload
};

// Hex text of a message, bytes separated by spaces ("F0 7D 0D F7").
std::string hexText(const std::vector<uint8_t> &bytes);
