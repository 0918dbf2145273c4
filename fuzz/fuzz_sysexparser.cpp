// Reply parser and channel-message classification: any byte stream, cut into messages
// anywhere, is read without a crash, and nodes are numbered without gaps.
#include "device/sysexparser.h"

#include <cstdlib>

namespace {
struct Checker : SysexReplyListener
{
    int nextIndex = 0;
    void mappingHeader(int) override { nextIndex = 0; }
    void nodeReceived(const KorvaneSensorNode &n) override
    {
        if (n.index != nextIndex++ || n.note != n.cc || n.cc != n.action || n.note < 0 ||
            n.note > 255)
            std::abort();
    }
    void temporalOffsetReply(int offset) override
    {
        if (offset < -64 || offset > 191)
            std::abort();
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SysexReplyParser parser;
    Checker checker;
    // The first byte of each chunk gives the length of the message that follows, so the
    // fuzzer also explores how the stream is split between callbacks.
    size_t i = 0;
    while (i < size) {
        const size_t len = std::min<size_t>(data[i] % 64, size - i - 1);
        const uint8_t *msg = data + i + 1;
        parser.feed(msg, len, checker);
        if (!parser.inSysex()) {
            const ChannelMessage m = classifyChannelMessage(msg, len);
            if (m.kind != ChannelMessage::None && (m.channel > 15 || len < 3))
                std::abort();
        }
        i += len + 1;
    }
    return 0;
}
