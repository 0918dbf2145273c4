#include "sysexcodec.h"

#include <cmath>

namespace KorvaneSysex {

Message frame(uint8_t command, const std::vector<uint8_t> &payload)
{
    Message m;
    m.reserve(payload.size() + 4);
    m.push_back(kStart);
    m.push_back(kHeader);
    m.push_back(command);
    m.insert(m.end(), payload.begin(), payload.end());
    m.push_back(kEnd);
    return m;
}

std::vector<uint8_t> nibbles(const std::vector<uint8_t> &bytes)
{
    std::vector<uint8_t> out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(static_cast<uint8_t>(b >> 4));
        out.push_back(static_cast<uint8_t>(b & 0x0F));
    }
    return out;
}

uint8_t floatToByte(float value)
{
    // Truncation toward zero; values outside 16 bits (and NaN) are clamped first so the
    // conversion stays defined.
    if (std::isnan(value))
        return 0;
    const double t = std::trunc(std::fmax(-32768.0, std::fmin(32767.0, double(value))));
    return static_cast<uint8_t>(static_cast<int16_t>(t) & 0xFF);
}

static uint8_t low8(int32_t v)
{
    return static_cast<uint8_t>(v & 0xFF);
}

const std::array<int, kWireSlots> &deviceOrder()
{
    static const std::array<int, kWireSlots> order = {
        0, 1, 2, 3, 8, 4, 9, 5, 10, 6, 11, 7, 12, 13, 14, 15, 16, 17, -1, -1, -1, -1, -1, -1};
    return order;
}

std::pair<uint8_t, uint8_t> nodePair(const KorvaneSensorNode &node)
{
    uint8_t value = 0; // disabled and unknown types carry no field
    switch (node.type) {
    case NodeNote:
        value = low8(node.note);
        break;
    case NodeControlChange:
    case NodeGyroControlChange:
    case NodeGyroAction:
        value = low8(node.cc);
        break;
    case NodeAction:
    case NodeGyroBend:
    case NodeUnlabelled:
        value = low8(node.action);
        break;
    default:
        break;
    }
    return {low8(node.type), value};
}

std::array<std::pair<uint8_t, uint8_t>, kWireSlots> wireSlots(const KorvaneSensorsState &state,
                                                              bool vesko)
{
    std::array<std::pair<uint8_t, uint8_t>, kWireSlots> out;
    for (int k = 0; k < kWireSlots; ++k) {
        const int node = vesko ? (k < 18 ? k : -1) : deviceOrder()[k];
        // A map shorter than the slot table fills the missing slots like the unused ones.
        if (node < 0 || node >= int(state.nodes.size()))
            out[k] = {kFillerType, 0};
        else
            out[k] = nodePair(state.nodes[node]);
    }
    return out;
}

Message versionRequest()
{
    return frame(CmdVersionRequest);
}
Message infoRequest()
{
    return frame(CmdInfoRequest);
}
Message eepromWrite()
{
    return frame(CmdEepromWrite, {0x00});
}

std::vector<Message> mappingRemote(const KorvaneSensorsState &state, bool vesko)
{
    std::vector<Message> out;
    out.reserve(kWireSlots + 1);
    out.push_back(frame(CmdMappingHeader, {uint8_t(kWireSlots)}));
    for (const auto &slot : wireSlots(state, vesko))
        out.push_back(frame(CmdMappingSlot, nibbles({slot.first, slot.second})));
    return out;
}

std::vector<Message> calibrationRemote(const KorvaneCalibration &c)
{
    return {
        frame(CmdThresholdHeader, {0x00}),
        frame(CmdThresholdRecord, nibbles({c.aftertouchDelay, c.onThreshold, c.offThreshold})),
        frame(CmdCurveHeader, {0x00}),
        frame(CmdCurveRecord, nibbles({low8(c.velocityCurveType), floatToByte(c.velocityScale)})),
        frame(CmdCurveHeader, {0x01}),
        frame(CmdCurveRecord,
              nibbles({low8(c.aftertouchCurveType), floatToByte(c.aftertouchScale)})),
    };
}

std::vector<Message> settingsRemote(const KorvaneCalibration &c)
{
    const ControlPacket p = c.packControl();
    return {
        frame(CmdSettingsHeader, {0x00}),
        frame(CmdSettingsRecord, nibbles({p.bytes.begin(), p.bytes.end()})),
    };
}

std::vector<Message> bendRemote(const KorvaneBendSettings &b)
{
    return {
        frame(CmdBendHeader, {0x00}),
        frame(CmdBendRecord, nibbles({b.byte0, b.halfway, b.bendSpeed})),
        frame(CmdBendHeader, {0x01}),
        frame(CmdBendRecord, nibbles({b.bendDelay, b.releaseDelay, b.releaseSpeed})),
    };
}

std::vector<Message> gyroRemote(const KorvaneGyroSettings &g)
{
    return {
        frame(CmdGyroHeader, {0x00}),
        frame(CmdGyroRecord, nibbles({g.gyroRate, g.gyroThreshold, g.gyroMode})),
    };
}

Message mappingPalmetto(const KorvaneSensorsState &state)
{
    // The notes of the first twelve sensors in the device's order, whatever the scale.
    std::vector<uint8_t> notes;
    notes.reserve(12);
    for (int k = 0; k < 12; ++k) {
        const int node = deviceOrder()[k];
        notes.push_back(node < int(state.nodes.size()) ? low8(state.nodes[node].note) : 0);
    }
    return frame(PalMapping, notes);
}

std::vector<Message> settingsPalmetto(const KorvaneCalibration &c)
{
    const CalibrationPacket cal = c.packCalibration();
    const ControlPacket ctl = c.packControl();
    const auto &b = cal.bytes;
    return {
        frame(PalAftertouchDelay, {b[0]}),
        frame(PalOnThreshold, {b[1]}),
        frame(PalOffThreshold, {b[2]}),
        frame(PalGlobalControl, {ctl.bytes[0]}),
        frame(PalGlobalCC, {ctl.bytes[1]}),
        frame(PalMidiChannel, {ctl.bytes[2]}),
        frame(PalVelocityCurve, std::vector<uint8_t>(b.begin() + 3, b.begin() + 23)),
        frame(PalVelocityScale, {b[23]}),
        frame(PalAftertouchCurve, std::vector<uint8_t>(b.begin() + 24, b.begin() + 44)),
        frame(PalAftertouchScale, {b[44]}),
    };
}

} // namespace KorvaneSysex
