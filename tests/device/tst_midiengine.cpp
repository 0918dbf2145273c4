#include "device/korvanemidiengine.h"
#include "device/sysexcodec.h"
#include "tests/support/scriptedmidibackend.h"

#include "tests/support/testmain.h"

#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace std::chrono;
using Bytes = std::vector<uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

using Names = std::vector<std::string>;

// A mapping reply of n note nodes, notes from first up.
Bytes mappingReply(int n, int first)
{
    Bytes b = {0xF0, 0x7D, 0x02, uint8_t(n)};
    for (int i = 0; i < n; ++i)
        b.insert(b.end(), {0x03, 0, 0, uint8_t((first + i) >> 4), uint8_t((first + i) & 15)});
    b.push_back(0xF7);
    return b;
}

struct Fixture
{
    std::shared_ptr<ScriptedMidiSystem> sys = std::make_shared<ScriptedMidiSystem>();
    std::unique_ptr<KorvaneMidiEngine> engine;
    QObject receiver; // status lines arrive on the test's thread, whichever thread emitted them
    QStringList lines;

    Fixture(Names ins, Names outs, bool noMidiSystem = false)
    {
        plug(std::move(ins), std::move(outs));
        sys->failCreating(noMidiSystem);
        engine = std::make_unique<KorvaneMidiEngine>(std::make_unique<ScriptedMidiBackend>(sys));
        QObject::connect(engine.get(), &KorvaneMidiEngine::SendStatusMessage, &receiver,
                         [this](const QString &s) { lines << s; });
        QObject::connect(engine.get(), &KorvaneMidiEngine::RomWritten, &receiver,
                         [this] { lines << "<RomWritten>"; });
    }
    // A device on "KVRN", found, with the info request of the first search gone.
    Fixture() : Fixture({"KVRN"}, {"KVRN"}) { connectDevice(); }
    void plug(Names ins, Names outs)
    {
        sys->setInputPorts(std::move(ins));
        sys->setOutputPorts(std::move(outs));
    }
    // A search, with what it sends gone out and its status lines in.
    void find()
    {
        lines.clear();
        engine->FindDevices();
        QVERIFY(engine->waitForUploads(2000));
        QCoreApplication::processEvents();
    }
    void connectDevice()
    {
        find();
        sys->clearSent();
        lines.clear();
    }
    // Whether a request now leaves, by one output (the main one).
    bool requestLeaves(const std::string &port = "KVRN A")
    {
        sys->clearSent();
        engine->SendDeviceVersionRequest();
        return engine->waitForUploads(2000) && sys->sent().size() == 1 &&
               sys->sent()[0].port == port;
    }
    // Waits for an upload and its status lines.
    void finish(int statusLines)
    {
        QVERIFY(engine->waitForUploads(5000));
        QTRY_COMPARE(lines.size(), statusLines);
    }
};

} // namespace

class TestMidiEngine : public QObject
{
    Q_OBJECT
private slots:
    void findSkipsIacAndTakesQmitt()
    {
        Fixture f({"IAC Driver Bus 1", "QMITT glove"}, {"Network Session 1", "KVRN out"});
        f.find();
        QCOMPARE(f.lines,
                 QStringList({"Removing old port connections", "Searching for Devices...",
                              "connected to: QMITT glove", "MIDI IN Devices: QMITT glove, ",
                              "connected to: KVRN out", "MIDI OUT Devices: KVRN out, "}));
        QCOMPARE(f.sys->openInputs(), Names({"QMITT glove"}));
        QCOMPARE(f.sys->openOutputs(), Names({"KVRN out"}));
        // The first search asks the device for its information.
        QCOMPARE(f.sys->sentBytes(), std::vector<Bytes>({KorvaneSysex::infoRequest()}));

        // The main input reads SysEx: a reply is understood.
        QSignalSpy type(f.engine.get(), &KorvaneMidiEngine::setDeviceType);
        QCOMPARE(f.sys->deliver("QMITT glove", {0xF0, 0x7D, 0x0E, 0x01, 0xF7}), 1);
        QCOMPARE(type.count(), 1);

        // A second search sends no second request and leaves the open ports as they are.
        f.sys->clearSent();
        f.find();
        QVERIFY(f.sys->sent().empty());
        QCOMPARE(f.sys->openInputs(), Names({"QMITT glove"}));
    }
    void findTwoInputsOneOutput()
    {
        // The first device input is held by another program: a status line, then the next one
        // becomes the main input.
        Fixture f({"KVRN busy", "KVRN A", "other", "KVRN B"}, {"KVRN A"});
        f.sys->failOpening("KVRN busy");
        f.find();
        QVERIFY(f.lines.contains("MIDI error: port busy: KVRN busy"));
        QVERIFY(f.lines.contains("Extra port connected to: KVRN B"));
        QVERIFY(f.lines.contains("MIDI IN Devices: KVRN busy, KVRN A, other, KVRN B, "));
        QCOMPARE(f.sys->openInputs(), Names({"KVRN A", "KVRN B"}));
        QCOMPARE(f.sys->openOutputs(), Names({"KVRN A"}));
        QCOMPARE(f.sys->inputObjects(), 2);
        QVERIFY(f.requestLeaves());

        // The extra input delivers channel messages only; SysEx stays with the main input.
        QSignalSpy play(f.engine.get(), &KorvaneMidiEngine::MidiPlay);
        QCOMPARE(f.sys->deliver("KVRN B", {0x90, 60, 100}), 1);
        QCOMPARE(f.sys->deliver("KVRN B", {0xF0, 0x7D, 0x0E, 0x01, 0xF7}), 0);
        QCOMPARE(play.count(), 1);

        // The next search closes only the extra port, then connects it again.
        f.sys->setInputPorts({"KVRN A"});
        f.find();
        QCOMPARE(f.sys->openInputs(), Names({"KVRN A"}));
        QCOMPARE(f.sys->inputObjects(), 1);

        // A second device output pairs with the extra input; uploads go to the main output only.
        f.plug({"KVRN A", "KVRN B"}, {"KVRN A", "KVRN B", "KVRN C"});
        f.find();
        QVERIFY(f.lines.contains("Extra out also connected: KVRN B"));
        QVERIFY(!f.lines.join('|').contains("KVRN C, |Extra"));
        QCOMPARE(f.sys->openOutputs(), Names({"KVRN A", "KVRN B"}));
        f.engine->setMultiDevice(true);
        QVERIFY(f.requestLeaves());
    }
    void findAndSendWithoutDevice()
    {
        // No MIDI system at all, then one without ports, then one without the device's ports.
        Fixture f({}, {}, true);
        f.find();
        QVERIFY(f.lines.contains("MIDI error: no MIDI system"));
        // (The clients' failure at construction arrives queued, after the search's own lines.)
        QCOMPARE(f.lines.filter("No devices found").size(), 2);
        // Uploads without a device say that nothing was sent; a ROM write that did not leave is
        // not counted.
        auto uploadWithoutDevice = [&] {
            f.lines.clear();
            const QString none = "No device connected: nothing was sent";
            f.engine->SendStateRemote(KorvaneSensorsState::fresh(), 0, 0.2f, true);
            f.engine->SendCalibrationRemote(KorvaneCalibration(), 0.2f);
            f.engine->SendGyroSettingsRemote(KorvaneGyroSettings(), 0.2f);
            f.engine->SendWriteCommand();
            f.finish(7);
            QCOMPARE(f.lines, QStringList({"Sending sensor mapping",
                                           "Sending sysex to RemoteCore: .. success?", none,
                                           "Sending calibration sysex to RemoteCore: .. success?",
                                           none, none, none}));
            QVERIFY(f.sys->sent().empty());
        };
        uploadWithoutDevice();
        QVERIFY(!f.engine->DropVanishedPorts());
        f.sys->failCreating(false);
        for (const Names &ports : {Names{}, Names{"Midi Through"}}) {
            f.plug(ports, ports);
            f.find();
            QCOMPARE(f.lines,
                     QStringList({"Removing old port connections", "Searching for Devices...",
                                  "No devices found", "No devices found"}));
            QVERIFY(!f.engine->isOutputOpen());
        }
        uploadWithoutDevice();

        // The device appears later: the next search finds it.
        f.plug({"KVRN A"}, {"KVRN A"});
        f.find();
        QVERIFY(f.engine->isOutputOpen());
        f.engine->ReleasePorts();
        QVERIFY(!f.engine->isOutputOpen());
    }
    void dispatch_data()
    {
        // What one message from the device raises, in order: signals with their arguments (a
        // control value times 127) and status lines in quotes.
        QTest::addColumn<Bytes>("message");
        QTest::addColumn<QStringList>("events");
        auto row = [](const char *name, Bytes b, QStringList e) { QTest::newRow(name) << b << e; };
        row("note on, velocity 0", {0x90, 0x3C, 0x00},
            {"play 0 60 0", "'NoteOn: Channel:0 Note:60 Vol:0'"});
        row("note off", {0x8F, 0x40, 0x20},
            {"stop 15 64 32", "'NoteOff: Channel:15 Note:64 Vol:32'"});
        row("next", {0xB1, 0x7F, 0x02}, {"next", "'Action:  Next Sound'"});
        row("previous", {0xB0, 0x7F, 0x01}, {"prev", "'Action:  Previous Sound'"});
        row("reverse on", {0xB2, 0x7F, 0x03}, {"change 2 127 8 1", "'Action:  Reverse on'"});
        row("reverse off", {0xB2, 0x7F, 0x04}, {"change 2 127 8 0", "'Action:  Reverse off'"});
        row("unknown action", {0xB0, 0x7F, 0x05}, {});
        row("speed up", {0xB0, 0x7E, 0x40}, {"change 0 126 4 64", "control 64", "'Speed Up: 64'"});
        row("speed down", {0xB0, 0x7D, 0x10},
            {"change 0 125 5 16", "control 16", "'Speed Down: 16'"});
        row("scratch", {0xB0, 0x7C, 0x7F}, {"change 0 124 9 127", "control 127", "'Scratch: 127'"});
        row("record end", {0xB0, 0x7B, 0x00}, {"recEnd"});
        row("record start", {0xB0, 0x7B, 0x3C}, {"rec 60"});
        row("control", {0xB0, 0x07, 0x64},
            {"control 100", "'Control: Channel:0CC#:7Value:100'", "change 0 7 1 100"});
        row("aftertouch", {0xA5, 0x3C, 0x20},
            {"control 32", "change 5 60 2 32", "'Poly Aftertouch: Channel:5Note:60Value:32'"});
        row("bend", {0xE0, 0x00, 0x40},
            {"control 63.5", "change 0 0 7 8192", "'PitchBend: Channel:0Value:8192'"});
        // Nothing is dispatched inside an open SysEx frame; its end lets messages through again.
        row("inside an open frame", {0xF0, 0x7D, 0x05, 0xB0, 0x07, 0x64, 0x01, 0xF7, 0x90, 60, 64},
            {"play 0 60 64", "'NoteOn: Channel:0 Note:60 Vol:64'"});
        // Replies: a whole map, the immediate replies, and a complete calibration followed by
        // the sync signal.
        row("mapping", mappingReply(13, 50), {"map 13 octave 4"});
        row("immediate replies", {0xF0, 0x7D, 0x01, 0x07, 0x0E, 0x01, 0x16, 0x41, 0xF7},
            {"version 7", "type 1", "offset 1"});
        row("calibration", {0xF0, 0x7D, 0x13, 0x00, 0x14, 0x02, 0x00, 0x00, 0x03, 0xF7},
            {"calibration 3 32", "sync"});
    }
    void dispatch()
    {
        QFETCH(Bytes, message);
        QFETCH(QStringList, events);
        Fixture f;
        KorvaneMidiEngine *e = f.engine.get();
        QStringList seen;
        auto log = [&](const QString &name) {
            return [&seen, name](auto... v) {
                seen << QStringList{name, QString::number(v)...}.join(' ');
            };
        };
        connect(e, &KorvaneMidiEngine::MidiPlay, this, log("play"));
        connect(e, &KorvaneMidiEngine::MidiStop, this, log("stop"));
        connect(e, &KorvaneMidiEngine::MidiChange, this, log("change"));
        connect(e, &KorvaneMidiEngine::SendControlValue, this,
                [&](float v) { seen << "control " + QString::number(v * 127.0f); });
        connect(e, &KorvaneMidiEngine::ActionNextSound, this, log("next"));
        connect(e, &KorvaneMidiEngine::ActionPrevSound, this, log("prev"));
        connect(e, &KorvaneMidiEngine::ActionStartRec, this, log("rec"));
        connect(e, &KorvaneMidiEngine::ActionEndRec, this, log("recEnd"));
        connect(e, &KorvaneMidiEngine::PassDeviceVersionNumber, this, log("version"));
        connect(e, &KorvaneMidiEngine::setDeviceType, this, log("type"));
        connect(e, &KorvaneMidiEngine::SendTemporalOffset, this, log("offset"));
        connect(e, &KorvaneMidiEngine::GotSync, this, log("sync"));
        connect(e, &KorvaneMidiEngine::UpdateStateFromSysEX, this,
                [&](const KorvaneSensorsState &s) {
                    seen << QString("map %1 octave %2").arg(s.nodes.size()).arg(s.octave);
                });
        connect(e, &KorvaneMidiEngine::UpdateCalibrationFromSysEX, this,
                [&](const KorvaneCalibration &c) {
                    seen << QString("calibration %1 %2").arg(c.midiChannel).arg(c.aftertouchDelay);
                });
        connect(e, &KorvaneMidiEngine::SendStatusMessage, this,
                [&](const QString &s) { seen << "'" + s + "'"; });
        // A message in pieces, as an input delivers it: a frame's start, its end, a message.
        const auto cut = std::find(message.begin(), message.end(), 0xF7);
        if (cut == message.end() || cut + 1 == message.end())
            f.sys->deliver("KVRN", message);
        else
            for (Bytes part : {Bytes(message.begin(), message.begin() + 3),
                               Bytes(message.begin() + 3, message.begin() + 6),
                               Bytes(message.begin() + 6, cut + 1), Bytes(cut + 1, message.end())})
                f.engine->ProcessMessage(part);
        f.engine->ProcessMessage({});
        QCOMPARE(seen.join(" | "), events.join(" | "));
    }
    void inputsAreSerialised()
    {
        // Mapping replies on the main input and notes on an extra input arrive at the same time
        // on two threads; every reply and every note must come through whole.
        Fixture f({"KVRN A", "KVRN B"}, {"KVRN A"});
        f.connectDevice();
        std::atomic<int> wholeMappings{0}, notes{0};
        connect(
            f.engine.get(), &KorvaneMidiEngine::UpdateStateFromSysEX, this,
            [&](const KorvaneSensorsState &s) {
                wholeMappings += s.nodes.size() == 24 && s.nodes[23].note == 71;
            },
            Qt::DirectConnection);
        connect(
            f.engine.get(), &KorvaneMidiEngine::MidiPlay, this, [&](int, int, int) { ++notes; },
            Qt::DirectConnection);
        const int rounds = 10000;
        QLoggingCategory::setFilterRules("default.debug=false"); // a quarter million log lines
        auto deliver = [&](const char *port, const Bytes &message) {
            return std::thread([=, &f] {
                for (int i = 0; i < rounds; ++i)
                    f.sys->deliver(port, message);
            });
        };
        std::thread a = deliver("KVRN A", mappingReply(24, 48)),
                    b = deliver("KVRN B", {0x90, 60, 100});
        a.join();
        b.join();
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(QList<int>({wholeMappings, notes}), QList<int>({rounds, rounds}));
    }
    void pacedUploads()
    {
        Fixture f;
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        f.engine->SendStateRemote(s, 0, 0.2f, false);
        // The call only queues: the upload is still leaving when it returns.
        QVERIFY(f.sys->sent().size() < 25);
        QVERIFY(f.engine->isSending());
        f.finish(2);
        auto sent = f.sys->sent();
        QVERIFY(f.sys->sentBytes() == KorvaneSysex::mappingRemote(s, false));
        // At least 30 ms between messages (a millisecond of clock slack), and not far more.
        for (size_t i = 1; i < sent.size(); ++i) {
            const auto gap = duration_cast<microseconds>(sent[i].time - sent[i - 1].time).count();
            QVERIFY2(gap >= 29000 && gap < 500000,
                     qPrintable(QString("gap %1: %2 us").arg(i).arg(gap)));
        }
        qInfo("mapping upload, first to last message: %lld ms",
              static_cast<long long>(
                  duration_cast<milliseconds>(sent.back().time - sent.front().time).count()));

        // The Palmetto mapping leaves without a pause and reports its bytes.
        f.lines.clear();
        for (int i = 0; i < 24; ++i)
            s.nodes[i].note = 40 + i;
        f.engine->SendState(s, 0);
        f.finish(1);
        QCOMPARE(f.lines.value(0), "Sending sysex to Palmetto: 40 41 42 43 48 44 49 45 50 46 51 "
                                   "47 .. success?");

        // The Palmetto settings show their progress, with the long pause between them; a ROM
        // write queues behind them.
        f.sys->clearSent();
        f.lines.clear();
        f.engine->setPauses(milliseconds(30), milliseconds(120));
        KorvaneCalibration c;
        f.engine->SendSettings(c);
        f.engine->SendWriteCommand();
        f.finish(12);
        QStringList expected;
        for (int i = 1; i <= 10; ++i)
            expected << QString("Sending settings %1 of 10").arg(i);
        QCOMPARE(f.lines, expected << "Sending sysex to Palmetto: .. success?"
                                   << "<RomWritten>");
        auto settings = KorvaneSysex::settingsPalmetto(c);
        settings.push_back(KorvaneSysex::eepromWrite());
        QVERIFY(f.sys->sentBytes() == settings);
        sent = f.sys->sent();
        for (int i = 1; i < 10; ++i)
            QVERIFY(sent[i].time - sent[i - 1].time >= milliseconds(119));
        // No long pause after the tenth message.
        QVERIFY(sent[10].time - sent[9].time < milliseconds(110));
    }
    void refusedMessageIsNotSent()
    {
        // A driver that parses what it sends refuses a data byte above 127: that message does
        // not leave, the rest of the upload does, and nothing says success.
        Fixture f;
        f.engine->setPauses(milliseconds(1), milliseconds(1));
        f.sys->refuseInvalidData(true);
        KorvaneCalibration c;
        c.globalCC = 128;
        f.engine->SendSettings(c);
        f.finish(12);
        QStringList expected;
        for (int i = 1; i <= 10; ++i) {
            expected << QString("Sending settings %1 of 10").arg(i);
            if (i == 5)
                expected << "MIDI error: RtMidiOut::sendMessage: event parsing error! "
                            "(message not sent)";
        }
        expected << "Sending sysex to Palmetto: .. not sent: the MIDI system refused 1 of 10 "
                    "messages";
        QCOMPARE(f.lines, expected);
        auto settings = KorvaneSysex::settingsPalmetto(c);
        settings.erase(settings.begin() + 4);
        QVERIFY(f.sys->sentBytes() == settings);

        // A one-message upload keeps its bytes in the line and says it was not sent.
        f.lines.clear();
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        s.nodes[0].note = 128;
        f.engine->SendState(s, 0);
        f.finish(2);
        QVERIFY(f.lines[1].startsWith("Sending sysex to Palmetto: 128 "));
        QVERIFY(f.lines[1].endsWith(" .. not sent: the MIDI system refused 1 of 1 messages"));
    }
    void vanishedPortsAreDropped()
    {
        Fixture f({"system", "KVRN A", "KVRN B"}, {"KVRN A"});
        f.connectDevice();

        // The device leaves: its ports are dropped once, the extra input that left with it too.
        f.plug({"system", "KVRN B"}, {});
        QVERIFY(f.engine->DropVanishedPorts());
        QVERIFY(!f.engine->isOutputOpen());
        QCOMPARE(f.sys->openInputs(), Names({"KVRN B"}));
        QVERIFY(!f.engine->DropVanishedPorts());

        // It returns, possibly at another index: the next search reconnects.
        f.plug({"KVRN A", "system"}, {"KVRN A"});
        f.find();
        QCOMPARE(f.sys->openInputs(), Names({"KVRN A"}));
        QVERIFY(f.requestLeaves());

        // The whole MIDI system goes away (no port left either way): the ports of the old
        // system are set aside unclosed, and new ones reach the system when it returns.
        const int objects = f.sys->inputObjects() + f.sys->outputObjects();
        f.plug({}, {});
        QVERIFY(f.engine->DropVanishedPorts());
        QVERIFY(!f.engine->isOutputOpen());
        QCOMPARE(f.sys->inputObjects() + f.sys->outputObjects(), objects); // not destroyed
        f.find();
        QVERIFY(!f.engine->isOutputOpen());
        f.plug({"KVRN A"}, {"KVRN A"});
        f.find();
        QVERIFY(f.requestLeaves());
    }
    void discoveryDuringUpload()
    {
        // Port discovery on this thread while the sender thread uses the output.
        Fixture f;
        f.engine->setPauses(milliseconds(2), milliseconds(2));
        for (int i = 0; i < 4; ++i)
            f.engine->SendStateRemote(KorvaneSensorsState::fresh(), 0, 0.2f, false);
        while (f.engine->isSending()) {
            f.engine->FindDevices();
            f.engine->DropVanishedPorts();
        }
        QCOMPARE(int(f.sys->sent().size()), 100);
    }
};

VARNO_TEST_CLASS(TestMidiEngine)
#include "tst_midiengine.moc"
