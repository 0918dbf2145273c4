#include "sysexparser.h"

#include "sysexcodec.h"

void SysexReplyParser::feed(uint8_t byte, SysexReplyListener &listener)
{
    using namespace KorvaneSysex;
    if (byte == kStart) {
        // A new frame starts; a frame left open or a half-served command is abandoned so a
        // truncated or unknown command cannot stall the parser.
        frameState_ = FrameStart;
        commandState_ = 0;
        nibbleIndex_ = 0;
        return;
    }
    if (byte == kEnd) {
        // The frame ends, and with it any command still being served.
        if (frameState_ != FrameIdle) {
            commandState_ = 0;
            nibbleIndex_ = 0;
        }
        frameState_ = FrameIdle;
        return;
    }
    switch (frameState_) {
    case FrameIdle:
        return; // bytes outside a frame (channel messages) are not ours
    case FrameStart:
        // Only our header opens a frame we read; anything else is another maker's SysEx,
        // skipped up to its end.
        frameState_ = byte == kHeader ? FrameHeader : FrameForeign;
        return;
    case FrameForeign:
        return;
    case FrameHeader:
    case FramePayload:
        if (byte == kHeader)
            return; // never reaches the command step
        frameState_ = FramePayload;
        command(byte, listener);
        return;
    }
}

void SysexReplyParser::command(uint8_t byte, SysexReplyListener &listener)
{
    if (commandState_ == 0) {
        commandState_ = byte;
        return;
    }
    switch (commandState_) {
    case ReplyVersion:
        listener.versionReply(byte);
        break;
    case ReplyDeviceType:
        listener.deviceTypeReply(byte);
        break;
    case ReplyTemporalOffset:
        listener.temporalOffsetReply(int(byte) - 64);
        break;
    case ReplyMappingHeader:
        expectedNodes_ = byte;
        nibbleIndex_ = 0;
        nodeIndex_ = 0;
        state_.nodes.clear();
        listener.mappingHeader(expectedNodes_);
        break;
    case ReplyCurveHeader:
        curveIndex_ = byte;
        nibbleIndex_ = 0;
        listener.curveHeader(curveIndex_);
        break;
    case ReplyThresholdHeader:
        nibbleIndex_ = 0;
        listener.thresholdHeader();
        break;
    case ReplyAftertouchHeader:
        nibbleIndex_ = 0;
        listener.aftertouchHeader();
        break;
    case ReplyGeneralHeader:
        nibbleIndex_ = 0;
        listener.generalHeader();
        break;
    case ReplyNode:
    case ReplyCurveRecord:
    case ReplyThresholdRecord:
    case ReplyAftertouchRecord:
    case ReplyGeneralRecord:
        nibbleBuffer_[nibbleIndex_++] = byte;
        if (nibbleIndex_ < 4)
            return; // stay in this command
        nibbleIndex_ = 0;
        applyRecord(static_cast<uint8_t>((nibbleBuffer_[0] << 4) | nibbleBuffer_[1]),
                    static_cast<uint8_t>((nibbleBuffer_[2] << 4) | nibbleBuffer_[3]), listener);
        break;
    default:
        // No handler: the rest of this frame is ignored; F7 or F0 ends it.
        return;
    }
    commandState_ = 0;
}

void SysexReplyParser::applyRecord(uint8_t a, uint8_t b, SysexReplyListener &listener)
{
    switch (commandState_) {
    case ReplyNode: {
        KorvaneSensorNode node(nodeIndex_, a);
        node.note = node.cc = node.action = b;
        node.extra = -1;
        state_.nodes.push_back(node);
        listener.nodeReceived(node);
        ++nodeIndex_;
        if (nodeIndex_ == expectedNodes_) {
            // The octave follows from node 12's note; a shorter mapping keeps the octave.
            if (state_.nodes.size() > 12)
                state_.octave = state_.nodes[12].note / 12 - 1;
            state_.key = 0;
            listener.mappingComplete(state_);
        }
        break;
    }
    case ReplyCurveRecord:
        if (curveIndex_ == 0) {
            calibration_.velocityCurveType = a;
            calibration_.velocityScale = b;
        } else if (curveIndex_ == 1) {
            calibration_.aftertouchCurveType = a;
            calibration_.aftertouchScale = b;
        }
        listener.curveRecord(curveIndex_);
        break;
    case ReplyThresholdRecord:
        calibration_.onThreshold = a;
        calibration_.offThreshold = b;
        listener.thresholdRecord();
        break;
    case ReplyAftertouchRecord:
        calibration_.globalControl = a;
        calibration_.globalCC = b;
        listener.aftertouchRecord();
        break;
    case ReplyGeneralRecord:
        calibration_.aftertouchDelay = a;
        calibration_.midiChannel = b;
        listener.calibrationComplete(calibration_);
        break;
    default:
        break;
    }
}

ChannelMessage classifyChannelMessage(const uint8_t *data, size_t size)
{
    ChannelMessage m;
    if (size < 3)
        return m; // every kind handled here needs two data bytes
    if ((data[1] | data[2]) & 0x80)
        return m; // a data byte never has its top bit set: a damaged message is dropped
    switch (data[0] >> 4) {
    case 0x8:
        m.kind = ChannelMessage::NoteOff;
        break;
    case 0x9:
        m.kind = ChannelMessage::NoteOn;
        break;
    case 0xA:
        m.kind = ChannelMessage::PolyAftertouch;
        break;
    case 0xB:
        m.kind = ChannelMessage::ControlChange;
        break;
    case 0xE:
        m.kind = ChannelMessage::PitchBend;
        break;
    default:
        return m;
    }
    m.channel = data[0] & 0x0F;
    m.data1 = data[1];
    m.data2 = data[2];
    return m;
}
