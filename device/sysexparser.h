// Reading what the device sends: the SysEx reply parser (a framing step feeding a command step,
// state kept across messages) and the classification of channel messages. Pure logic, fed
// byte by byte; not thread-safe on its own (the engine serialises its inputs).
#pragma once

#include "base/korvanerecords.h"

#include <cstddef>
#include <cstdint>

// Receives what the parser recognises, in stream order.
class SysexReplyListener
{
public:
    virtual ~SysexReplyListener() = default;
    virtual void versionReply(int /*version*/) {}
    virtual void deviceTypeReply(int /*type*/) {}
    virtual void temporalOffsetReply(int /*offset*/) {}
    virtual void mappingHeader(int /*expected*/) {}
    virtual void nodeReceived(const KorvaneSensorNode & /*node*/) {}
    virtual void mappingComplete(const KorvaneSensorsState & /*state*/) {}
    virtual void curveHeader(int /*index*/) {}
    virtual void curveRecord(int /*index*/) {}
    virtual void thresholdHeader() {}
    virtual void thresholdRecord() {}
    virtual void aftertouchHeader() {}
    virtual void aftertouchRecord() {}
    virtual void generalHeader() {}
    virtual void calibrationComplete(const KorvaneCalibration & /*calibration*/) {}
};

class SysexReplyParser
{
public:
    // Reply commands understood from the device.
    enum Reply : uint8_t
    {
        ReplyVersion = 0x01,
        ReplyMappingHeader = 0x02,
        ReplyNode = 0x03,
        ReplyCurveHeader = 0x07,
        ReplyCurveRecord = 0x08,
        ReplyDeviceType = 0x0E,
        ReplyThresholdHeader = 0x0F,
        ReplyThresholdRecord = 0x10,
        ReplyAftertouchHeader = 0x11,
        ReplyAftertouchRecord = 0x12,
        ReplyGeneralHeader = 0x13,
        ReplyGeneralRecord = 0x14,
        ReplyTemporalOffset = 0x16,
    };

    void feed(uint8_t byte, SysexReplyListener &listener);
    void feed(const uint8_t *data, size_t size, SysexReplyListener &listener)
    {
        for (size_t i = 0; i < size; ++i)
            feed(data[i], listener);
    }

    // True while one of our frames is open (F0 seen, no F7 yet).
    bool inSysex() const { return frameState_ != FrameIdle; }
    const KorvaneSensorsState &stateUnderAssembly() const { return state_; }
    const KorvaneCalibration &calibrationUnderAssembly() const { return calibration_; }

private:
    enum FrameState
    {
        FrameIdle,
        FrameStart,
        FrameHeader,
        FramePayload,
        FrameForeign
    };

    void command(uint8_t byte, SysexReplyListener &listener);
    void applyRecord(uint8_t a, uint8_t b, SysexReplyListener &listener);

    FrameState frameState_ = FrameIdle;
    uint8_t commandState_ = 0;
    int nibbleIndex_ = 0;
    uint8_t nibbleBuffer_[4] = {0, 0, 0, 0};
    int nodeIndex_ = 0;
    int expectedNodes_ = 0;
    int curveIndex_ = 0;
    KorvaneSensorsState state_ = emptyState();
    KorvaneCalibration calibration_;

    static KorvaneSensorsState emptyState()
    {
        KorvaneSensorsState s;
        s.nodes.clear();
        return s;
    }
};

// Channel messages the device sends, by kind.
struct ChannelMessage
{
    enum Kind
    {
        None,
        NoteOff,
        NoteOn,
        PolyAftertouch,
        ControlChange,
        PitchBend
    };
    Kind kind = None;
    int channel = 0; // 0..15
    int data1 = 0;
    int data2 = 0;
};

// Classifies one complete MIDI message; anything else (short messages, program change,
// channel pressure, system messages) is None.
ChannelMessage classifyChannelMessage(const uint8_t *data, size_t size);
