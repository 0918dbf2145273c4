// What the device sends: any byte stream, cut into messages anywhere, goes through the reply
// parser and the engine's channel-message dispatch without a crash; nodes are numbered
// without gaps and every play event carries values a MIDI message can hold.
#include "device/korvanemidiengine.h"
#include "tests/support/scriptedmidibackend.h"
#include "device/sysexparser.h"

#include <QtGlobal>

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

void check(bool ok)
{
    if (!ok)
        std::abort();
}
bool inRange(int v, int lo, int hi)
{
    return v >= lo && v <= hi;
}

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

// One engine for the whole run (its sender thread is costly to start); every input starts by
// closing whatever frame the previous one left open.
KorvaneMidiEngine &engine()
{
    static KorvaneMidiEngine *e = [] {
        auto *en = new KorvaneMidiEngine(
            std::make_unique<ScriptedMidiBackend>(std::make_shared<ScriptedMidiSystem>()));
        QObject::connect(en, &KorvaneMidiEngine::MidiPlay, [](int c, int n, int v) {
            check(inRange(c, 0, 15) && inRange(n, 0, 127) && inRange(v, 0, 127));
        });
        QObject::connect(en, &KorvaneMidiEngine::MidiStop, [](int c, int n, int v) {
            check(inRange(c, 0, 15) && inRange(n, 0, 127) && inRange(v, 0, 127));
        });
        QObject::connect(en, &KorvaneMidiEngine::MidiChange, [](int c, int n, int t, int v) {
            check(inRange(c, 0, 15) && inRange(n, 0, 127));
            switch (t) {
            case 7:
                check(n == 0 && inRange(v, 0, 16383));
                break;
            case 8:
                check(n == 127 && (v == 0 || v == 1));
                break;
            case 1:
            case 2:
            case 4:
            case 5:
            case 9:
                check(inRange(v, 0, 127));
                break;
            default:
                std::abort();
            }
        });
        QObject::connect(en, &KorvaneMidiEngine::SendControlValue,
                         [](float v) { check(v >= 0.0f && v <= 1.0f); });
        QObject::connect(en, &KorvaneMidiEngine::ActionStartRec,
                         [](int note) { check(inRange(note, 1, 127)); });
        QObject::connect(en, &KorvaneMidiEngine::SendStatusMessage,
                         [](const QString &s) { check(!s.isEmpty()); });
        QObject::connect(en, &KorvaneMidiEngine::UpdateStateFromSysEX,
                         [](const KorvaneSensorsState &s) { check(s.nodes.size() <= 255); });
        return en;
    }();
    return *e;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SysexReplyParser parser;
    Checker checker;
    KorvaneMidiEngine &e = engine();
    e.ProcessMessage({0xF7});
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
        e.ProcessMessage(std::vector<uint8_t>(msg, msg + len));
        i += len + 1;
    }
    return 0;
}
