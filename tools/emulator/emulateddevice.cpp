#include "emulateddevice.h"

#include <cstdio>
#include <sstream>

namespace {

std::vector<uint8_t> unnibble(const std::vector<uint8_t> &p)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < p.size(); i += 2)
        out.push_back(uint8_t((p[i] << 4) | (p[i + 1] & 0x0F)));
    return out;
}

std::vector<uint8_t> nibbles(std::initializer_list<uint8_t> bytes)
{
    std::vector<uint8_t> out;
    for (uint8_t b : bytes) {
        out.push_back(uint8_t(b >> 4));
        out.push_back(uint8_t(b & 0x0F));
    }
    return out;
}

std::string join(const uint8_t *b, size_t n)
{
    std::ostringstream s;
    for (size_t i = 0; i < n; ++i)
        s << (i ? " " : "") << int(b[i]);
    return s.str();
}

} // namespace

std::string hexText(const std::vector<uint8_t> &bytes)
{
    std::string out;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i)
            out += ' ';
        out += buf;
    }
    return out;
}

EmulatedDevice::EmulatedDevice()
{
    // A mapping a glove might hold: an action sensor, then C major from middle C, then the
    // six unused slots.
    const int steps[7] = {0, 2, 4, 5, 7, 9, 11};
    mapping[0] = {2, 0};
    for (int k = 1; k < 18; ++k) {
        const int n = k - 1;
        mapping[k] = {0, uint8_t(60 + 12 * (n / 7) + steps[n % 7])};
    }
    for (int k = 18; k < 24; ++k)
        mapping[k] = {100, 0};
}

EmulatedDevice::Message EmulatedDevice::versionReply() const
{
    return {0xF0, 0x7D, 0x01, uint8_t(version), 0xF7};
}

std::vector<EmulatedDevice::Message> EmulatedDevice::infoReplies() const
{
    std::vector<Message> out;
    out.push_back({0xF0, 0x7D, 0x0E, uint8_t(deviceType), 0xF7});
    Message m = {0xF0, 0x7D, 0x02, uint8_t(mapping.size())};
    for (const auto &slot : mapping) {
        m.push_back(0x03);
        for (uint8_t b : nibbles({slot.first, slot.second}))
            m.push_back(b);
    }
    m.push_back(0xF7);
    out.push_back(m);
    Message c = {0xF0, 0x7D};
    auto record = [&](uint8_t cmd, uint8_t a, uint8_t b) {
        c.push_back(cmd);
        for (uint8_t x : nibbles({a, b}))
            c.push_back(x);
    };
    c.insert(c.end(), {0x07, 0x00});
    record(0x08, velocityCurveType, velocityScale);
    c.insert(c.end(), {0x07, 0x01});
    record(0x08, aftertouchCurveType, aftertouchScale);
    c.insert(c.end(), {0x0F, 0x00});
    record(0x10, onThreshold, offThreshold);
    c.insert(c.end(), {0x11, 0x00});
    record(0x12, globalControl, globalCC);
    c.insert(c.end(), {0x13, 0x00});
    record(0x14, aftertouchDelay, midiChannel);
    c.push_back(0xF7);
    out.push_back(c);
    return out;
}

std::vector<EmulatedDevice::Message> EmulatedDevice::handle(const Message &message,
                                                            std::string *eventOut)
{
    std::string event;
    std::vector<Message> replies;
    if (message.size() < 4 || message[0] != 0xF0 || message[1] != 0x7D || message.back() != 0xF7) {
        if (eventOut)
            *eventOut = event;
        return replies;
    }
    const uint8_t cmd = message[2];
    const std::vector<uint8_t> payload(message.begin() + 3, message.end() - 1);

    if (cmd == 0x01 && payload.empty()) {
        replies.push_back(versionReply());
        event = "version request";
    } else if (cmd == 0x0D && payload.empty()) {
        replies = infoReplies();
        event = "info request";
    } else if (!handlePalmetto(cmd, payload, event)) {
        handleRemote(cmd, payload, event);
    }
    lastCommand_ = cmd;
    if (eventOut)
        *eventOut = event;
    return replies;
}

bool EmulatedDevice::handlePalmetto(uint8_t cmd, const std::vector<uint8_t> &p, std::string &event)
{
    // The two dialects share command bytes; the payload length tells them apart, and the one
    // one-byte clash (0x05) by the message before it: the Palmetto upload sends 0x10 first.
    const bool one = p.size() == 1;
    bool settings = false;
    switch (cmd) {
    case 0x07:
        if (p.size() != 12)
            return false;
        palmettoMapping = p;
        ++palmettoMappingUploads;
        event = "palmetto mapping: " + join(p.data(), p.size());
        return true;
    case 0x10:
        if (!one)
            return false;
        aftertouchDelay = p[0];
        palmettoStep_ = 0;
        settings = true;
        break;
    case 0x05:
        if (!one || (p[0] == 0 && lastCommand_ != 0x10))
            return false;
        onThreshold = p[0];
        settings = true;
        break;
    case 0x06:
        if (!one)
            return false;
        offThreshold = p[0];
        settings = true;
        break;
    case 0x0C:
        if (!one)
            return false;
        globalControl = p[0];
        settings = true;
        break;
    case 0x08:
        if (!one)
            return false;
        globalCC = p[0];
        settings = true;
        break;
    case 0x0D:
        if (!one)
            return false;
        midiChannel = p[0];
        settings = true;
        break;
    case 0x03:
    case 0x04:
        if (p.size() != 20)
            return false;
        (cmd == 0x03 ? velocityCurve : aftertouchCurve) = p;
        settings = true;
        break;
    case 0x0E:
        if (!one)
            return false;
        velocityScale = p[0];
        settings = true;
        break;
    case 0x0F:
        if (!one)
            return false;
        aftertouchScale = p[0];
        settings = true;
        if (++palmettoStep_ >= 10)
            ++palmettoSettingsUploads;
        event = "palmetto settings " + std::to_string(palmettoStep_) + " of 10";
        return true;
    default:
        return false;
    }
    if (settings)
        event = "palmetto settings " + std::to_string(++palmettoStep_) + " of 10";
    return true;
}

bool EmulatedDevice::handleRemote(uint8_t cmd, const std::vector<uint8_t> &p, std::string &event)
{
    const std::vector<uint8_t> b = unnibble(p);
    switch (cmd) {
    case 0x02:
        if (p.size() != 1)
            return false;
        expectedSlots_ = p[0];
        slotIndex_ = 0;
        event = "mapping header: " + std::to_string(p[0]) + " slots";
        return true;
    case 0x03:
        if (b.size() != 2)
            return false;
        if (slotIndex_ < int(mapping.size()))
            mapping[size_t(slotIndex_)] = {b[0], b[1]};
        ++slotIndex_;
        if (slotIndex_ == expectedSlots_) {
            ++mappingUploads;
            event = "mapping stored";
        }
        return true;
    case 0x05:
        return p.size() == 1;
    case 0x06:
        if (b.size() != 3)
            return false;
        aftertouchDelay = b[0];
        onThreshold = b[1];
        offThreshold = b[2];
        event = "thresholds: delay " + std::to_string(b[0]) + " on " + std::to_string(b[1]) +
                " off " + std::to_string(b[2]);
        return true;
    case 0x07:
        if (p.size() != 1)
            return false;
        curveIndex_ = p[0];
        return true;
    case 0x08:
        if (b.size() != 2)
            return false;
        if (curveIndex_ == 0) {
            velocityCurveType = b[0];
            velocityScale = b[1];
        } else if (curveIndex_ == 1) {
            aftertouchCurveType = b[0];
            aftertouchScale = b[1];
            ++calibrationUploads;
            event = "calibration stored";
        }
        return true;
    case 0x09:
        return p.size() == 1;
    case 0x0A:
        if (b.size() != 3)
            return false;
        globalControl = b[0];
        globalCC = b[1];
        midiChannel = b[2];
        ++settingsUploads;
        event = "settings stored";
        return true;
    case 0x0B:
        if (p.size() != 1)
            return false;
        bendHalf_ = p[0] ? 1 : 0;
        return true;
    case 0x0C:
        if (b.size() != 3)
            return false;
        for (int i = 0; i < 3; ++i)
            bend[size_t(bendHalf_ * 3 + i)] = b[size_t(i)];
        if (bendHalf_ == 1) {
            ++bendUploads;
            event = "bend settings stored";
        }
        return true;
    case 0x15:
        ++eepromWrites;
        event = "EEPROM write " + std::to_string(eepromWrites);
        return true;
    case 0x18:
        return p.size() == 1;
    case 0x19:
        if (b.size() != 3)
            return false;
        gyro = {b[0], b[1], b[2]};
        ++gyroUploads;
        event = "gyro settings stored";
        return true;
    default:
        event = "unknown command " + hexText({cmd});
        return false;
    }
}

std::string EmulatedDevice::dump() const
{
    std::ostringstream s;
    s << "version: " << version << "\n";
    s << "device-type: " << deviceType << "\n";
    s << "mapping:";
    for (const auto &slot : mapping)
        s << " " << int(slot.first) << "/" << int(slot.second);
    s << "\n";
    s << "calibration: delay " << int(aftertouchDelay) << " on " << int(onThreshold) << " off "
      << int(offThreshold) << " velocity-type " << int(velocityCurveType) << " velocity-scale "
      << int(velocityScale) << " aftertouch-type " << int(aftertouchCurveType)
      << " aftertouch-scale " << int(aftertouchScale) << "\n";
    s << "settings: control " << int(globalControl) << " cc " << int(globalCC) << " channel "
      << int(midiChannel) << "\n";
    s << "bend: " << join(bend.data(), bend.size()) << "\n";
    s << "gyro: " << join(gyro.data(), gyro.size()) << "\n";
    s << "palmetto-mapping: " << join(palmettoMapping.data(), palmettoMapping.size()) << "\n";
    s << "velocity-curve: " << join(velocityCurve.data(), velocityCurve.size()) << "\n";
    s << "aftertouch-curve: " << join(aftertouchCurve.data(), aftertouchCurve.size()) << "\n";
    s << "eeprom-writes: " << eepromWrites << "\n";
    s << "uploads: mapping " << mappingUploads << " calibration " << calibrationUploads
      << " settings " << settingsUploads << " bend " << bendUploads << " gyro " << gyroUploads
      << " palmetto-mapping " << palmettoMappingUploads << " palmetto-settings "
      << palmettoSettingsUploads << "\n";
    return s.str();
}
