// SysEx to and from the device: the messages each upload sends, and the parser of the replies.
#include "device/sysexcodec.h"
#include "device/sysexparser.h"
#include "tests/support/testmain.h"

#include <QtTest>

namespace {

using namespace KorvaneSysex;

Message bytes(std::initializer_list<int> list)
{
    Message m;
    for (int b : list)
        m.push_back(uint8_t(b));
    return m;
}

// Records what the parser reports, as text lines in stream order.
struct Recorder : SysexReplyListener
{
    QStringList events;
    KorvaneSensorsState lastState;
    KorvaneCalibration lastCalibration;
    int mappings = 0;
    int calibrations = 0;

    void versionReply(int v) override { events << QStringLiteral("version %1").arg(v); }
    void deviceTypeReply(int t) override { events << QStringLiteral("type %1").arg(t); }
    void temporalOffsetReply(int o) override { events << QStringLiteral("offset %1").arg(o); }
    void mappingComplete(const KorvaneSensorsState &s) override
    {
        events << QStringLiteral("mapping %1").arg(s.nodes.size());
        lastState = s;
        ++mappings;
    }
    void calibrationComplete(const KorvaneCalibration &c) override
    {
        events << QStringLiteral("calibration");
        lastCalibration = c;
        ++calibrations;
    }
};

std::vector<uint8_t> hex(const char *text)
{
    std::vector<uint8_t> out;
    for (const QString &t : QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out.push_back(uint8_t(t.toUInt(nullptr, 16)));
    return out;
}

void feed(SysexReplyParser &p, Recorder &r, const std::vector<uint8_t> &bytes)
{
    p.feed(bytes.data(), bytes.size(), r);
}

// A mapping reply of n nodes: note nodes 48 + i, except node 0 (action 3).
std::vector<uint8_t> mappingBody(int n, int first = 0)
{
    std::vector<uint8_t> out;
    for (int i = first; i < n; ++i) {
        const int type = i == 0 ? 2 : 0;
        const int value = i == 0 ? 3 : 48 + i;
        out.insert(out.end(), {0x03, uint8_t(type >> 4), uint8_t(type & 15), uint8_t(value >> 4),
                               uint8_t(value & 15)});
    }
    return out;
}

std::vector<uint8_t> framed(std::vector<uint8_t> body)
{
    body.insert(body.begin(), {0xF0, 0x7D});
    body.push_back(0xF7);
    return body;
}

} // namespace

class TestSysex : public QObject
{
    Q_OBJECT
private slots:
    void immediateReplies()
    {
        SysexReplyParser p;
        Recorder r;
        feed(p, r, hex("F0 7D 0E 01 F7"));
        feed(p, r, hex("F0 7D 16 40 F7"));
        feed(p, r, hex("F0 7D 16 00 F7"));
        feed(p, r, hex("F0 7D 01 0C 0E 00 16 7F F7")); // several replies in one frame
        QCOMPARE(r.events, QStringList({"type 1", "offset 0", "offset -64", "version 12", "type 0",
                                        "offset 63"}));
        QVERIFY(!p.inSysex());
    }
    void mappingInOneFrameOrTwo()
    {
        std::vector<uint8_t> body = {0x02, 24};
        const auto nodes = mappingBody(24);
        body.insert(body.end(), nodes.begin(), nodes.end());

        SysexReplyParser one;
        Recorder r1;
        feed(one, r1, framed(body));

        SysexReplyParser two;
        Recorder r2;
        feed(two, r2, framed({0x02, 24}));
        QCOMPARE(r2.mappings, 0);
        feed(two, r2, framed(mappingBody(10)));
        QVERIFY(two.inSysex() == false);
        feed(two, r2, framed(mappingBody(24, 10)));

        QCOMPARE(r1.mappings, 1);
        QCOMPARE(r2.mappings, 1);
        const KorvaneSensorsState &s = r1.lastState;
        QCOMPARE(int(s.nodes.size()), 24);
        QCOMPARE(QList<int>({s.nodes[0].type, s.nodes[0].action, s.nodes[0].note, s.nodes[0].cc}),
                 QList<int>({2, 3, 3, 3}));
        QCOMPARE(
            QList<int>({s.nodes[23].index, s.nodes[23].note, s.nodes[23].extra, s.octave, s.key}),
            QList<int>({23, 48 + 23, -1, (48 + 12) / 12 - 1, 0}));
        QVERIFY(r2.lastState.nodes == s.nodes);
        QCOMPARE(r2.lastState.octave, s.octave);

        // A new header starts over with an empty list; a map too short to say its octave keeps
        // the last one.
        feed(one, r1, framed({0x02, 2, 0x03, 0, 0, 3, 0, 0x03, 0, 0, 3, 1}));
        QCOMPARE(r1.mappings, 2);
        QCOMPARE(int(r1.lastState.nodes.size()), 2);
        QCOMPARE(r1.lastState.nodes[1].note, 0x31);
        QCOMPARE(r1.lastState.octave, 4);
    }
    void calibrationReply()
    {
        SysexReplyParser p;
        Recorder r;
        // Velocity curve 1 at scale 90, aftertouch curve 3 at scale 20, thresholds 30/10,
        // control 5 with CC 74, delay 60 and channel 9.
        feed(p, r, hex("F0 7D 07 00 08 00 01 05 0A 07 01 08 00 03 01 04 F7"));
        feed(p, r, hex("F0 7D 0F 00 10 01 0E 00 0A 11 00 12 00 05 04 0A F7"));
        QCOMPARE(r.calibrations, 0);
        feed(p, r, hex("F0 7D 13 00 14 03 0C 00 09 F7"));
        QCOMPARE(r.calibrations, 1);
        const KorvaneCalibration &c = r.lastCalibration;
        QCOMPARE(
            QList<double>({double(c.velocityCurveType), c.velocityScale,
                           double(c.aftertouchCurveType), c.aftertouchScale, double(c.onThreshold),
                           double(c.offThreshold), double(c.globalControl), double(c.globalCC),
                           double(c.aftertouchDelay), double(c.midiChannel)}),
            QList<double>({1, 90, 3, 20, 30, 10, 5, 74, 60, 9}));
        QVERIFY(c.velocityCurve == KorvaneCalibration().velocityCurve); // tables untouched

        // A partial reply changes only its own fields; curve index 2 changes nothing.
        feed(p, r, hex("F0 7D 07 02 08 00 02 00 07 13 00 14 00 01 00 02 F7"));
        QCOMPARE(r.calibrations, 2);
        const KorvaneCalibration &d = r.lastCalibration;
        QCOMPARE(QList<int>({d.aftertouchDelay, d.midiChannel, d.onThreshold, d.velocityCurveType,
                             d.aftertouchCurveType}),
                 QList<int>({1, 2, 30, 1, 3}));
    }
    void headerByteInsidePayloadIsDropped()
    {
        SysexReplyParser p;
        Recorder r;
        // Version 0x7D never arrives: the next byte (the following command) is taken instead.
        feed(p, r, hex("F0 7D 01 7D 0E 02 F7"));
        QCOMPARE(r.events, QStringList({"version 14"}));
        // Inside a record the nibbles after 0x7D shift: 7D is skipped, F7 ends the frame before the
        // record is whole, so nothing is applied; the next complete record still is.
        feed(p, r, hex("F0 7D 13 00 14 03 7D 0C 00 F7"));
        QCOMPARE(r.calibrations, 0);
        feed(p, r, hex("F0 7D 14 03 7D 0C 00 09 01 F7"));
        QCOMPARE(r.calibrations, 1);
        QCOMPARE(int(r.lastCalibration.aftertouchDelay), 0x3C);
        QCOMPARE(int(r.lastCalibration.midiChannel), 0x09);
    }
    void recoversFromUnknownCommands()
    {
        SysexReplyParser p;
        Recorder r;
        // 0x05 has no handler: the rest of its frame is ignored, the next frame is read.
        feed(p, r, hex("F0 7D 05 01 0E 02 F7"));
        feed(p, r, hex("F0 7D 0E 03 F7"));
        QCOMPARE(r.events, QStringList({"type 3"}));
        // A frame cut short (no F7) is abandoned at the next F0, even in the middle of a record.
        feed(p, r, hex("F0 7D 17 00"));
        feed(p, r, hex("F0 7D 01 21 F7"));
        feed(p, r, hex("F0 7D 10 00 01"));
        feed(p, r, hex("F0 7D 10 01 02 00 03 F7"));
        QCOMPARE(r.events, QStringList({"type 3", "version 33"}));
        QCOMPARE(int(p.calibrationUnderAssembly().onThreshold), 0x12);
        QCOMPARE(int(p.calibrationUnderAssembly().offThreshold), 0x03);
        // Records before their header still apply, continuing the node count.
        feed(p, r, framed({0x02, 2, 0x03, 0, 0, 3, 0}));
        feed(p, r, framed({0x03, 0, 1, 0, 7}));
        QCOMPARE(r.mappings, 1);
        QCOMPARE(r.lastState.nodes[1].type, 1);
    }
    void foreignSysexIsSkipped()
    {
        SysexReplyParser p;
        Recorder r;
        // Another maker's SysEx, even one with our header byte inside, is not read, and its end
        // closes it.
        feed(p, r, hex("F0 41 10 7D 01 05 F7"));
        QVERIFY(!p.inSysex());
        QVERIFY(r.events.isEmpty());
        feed(p, r, hex("F0 41 10"));
        QVERIFY(p.inSysex());
        feed(p, r, hex("F7 90 3C 40"));
        QVERIFY(!p.inSysex());
        feed(p, r, hex("F0 7D 0E 01 F7"));
        QCOMPARE(r.events, QStringList({"type 1"}));
    }
    void channelMessageKinds()
    {
        struct Case
        {
            const char *bytes;
            ChannelMessage::Kind kind;
            int channel, d1, d2;
        };
        const Case cases[] = {
            {"90 3C 00", ChannelMessage::NoteOn, 0, 60, 0},
            {"8F 3C 40", ChannelMessage::NoteOff, 15, 60, 64},
            {"A3 40 22", ChannelMessage::PolyAftertouch, 3, 64, 34},
            {"B1 7F 02", ChannelMessage::ControlChange, 1, 127, 2},
            {"E0 00 40", ChannelMessage::PitchBend, 0, 0, 64},
            {"C0 05", ChannelMessage::None, 0, 0, 0},
            {"D0 05 00", ChannelMessage::None, 0, 0, 0},
            {"90 3C", ChannelMessage::None, 0, 0, 0},
            {"F8", ChannelMessage::None, 0, 0, 0},
            // A data byte with its top bit set is damage, not a note 188 or a bend past 16383.
            {"90 BC 64", ChannelMessage::None, 0, 0, 0},
            {"E0 00 C0", ChannelMessage::None, 0, 0, 0},
            {"B0 07 FF", ChannelMessage::None, 0, 0, 0},
        };
        for (const Case &c : cases) {
            const auto b = hex(c.bytes);
            const ChannelMessage m = classifyChannelMessage(b.data(), b.size());
            QVERIFY2(m.kind == c.kind, c.bytes);
            if (m.kind != ChannelMessage::None) {
                QCOMPARE(m.channel, c.channel);
                QCOMPARE(m.data1, c.d1);
                QCOMPARE(m.data2, c.d2);
            }
        }
    }
    void defaultCalibrationUpload()
    {
        const std::vector<Message> expected = {
            bytes({0xF0, 0x7D, 0x05, 0x00, 0xF7}),
            bytes({0xF0, 0x7D, 0x06, 0x03, 0x07, 0x01, 0x00, 0x00, 0x08, 0xF7}),
            bytes({0xF0, 0x7D, 0x07, 0x00, 0xF7}),
            bytes({0xF0, 0x7D, 0x08, 0x00, 0x02, 0x00, 0x01, 0xF7}),
            bytes({0xF0, 0x7D, 0x07, 0x01, 0xF7}),
            bytes({0xF0, 0x7D, 0x08, 0x00, 0x02, 0x00, 0x01, 0xF7}),
        };
        QVERIFY(calibrationRemote(KorvaneCalibration()) == expected);

        // Scales travel truncated: 99.9 as 99 (0x63), 127.99 as 127; out-of-range values stay
        // defined.
        KorvaneCalibration c;
        c.velocityScale = 99.9f;
        c.aftertouchScale = 127.99f;
        c.aftertouchCurveType = 3;
        const auto m = calibrationRemote(c);
        QVERIFY(m[3] == bytes({0xF0, 0x7D, 0x08, 0x00, 0x02, 0x06, 0x03, 0xF7}));
        QVERIFY(m[5] == bytes({0xF0, 0x7D, 0x08, 0x00, 0x03, 0x07, 0x0F, 0xF7}));
        QCOMPARE(int(floatToByte(-1.5f)), 0xFF);
        QCOMPARE(int(floatToByte(300.0f)), 300 & 0xFF);
        QCOMPARE(int(floatToByte(1e30f)), 0xFF);
        QCOMPARE(int(floatToByte(std::nanf(""))), 0);
    }
    void mappingUploadDeviceOrderAndFillers()
    {
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        for (int i = 1; i < 24; ++i)
            s.nodes[i].note = 40 + i; // a distinct note per node shows where each one travels
        s.nodes[1].note = 60;
        const auto m = mappingRemote(s, false);
        QCOMPARE(int(m.size()), 25);
        QVERIFY(m[0] == bytes({0xF0, 0x7D, 0x02, 24, 0xF7}));
        QVERIFY(m[1] == bytes({0xF0, 0x7D, 0x03, 0x00, 0x02, 0x00, 0x00, 0xF7})); // action node 0
        QVERIFY(m[2] == bytes({0xF0, 0x7D, 0x03, 0x00, 0x00, 0x03, 0x0C, 0xF7})); // note 60
        const int order[18] = {0, 1, 2, 3, 8, 4, 9, 5, 10, 6, 11, 7, 12, 13, 14, 15, 16, 17};
        for (int k = 2; k < 18; ++k) {
            const int note = 40 + order[k];
            QVERIFY2(m[1 + k] == bytes({0xF0, 0x7D, 0x03, 0, 0, note >> 4, note & 15, 0xF7}),
                     qPrintable(QString::number(k)));
        }
        for (int k = 18; k < 24; ++k)
            QVERIFY(m[1 + k] == bytes({0xF0, 0x7D, 0x03, 0x06, 0x04, 0x00, 0x00, 0xF7}));

        // A map shorter than the slot table still sends 24 slots; missing nodes are fillers.
        s.nodes.resize(6);
        const auto shortMap = wireSlots(s, false);
        QCOMPARE(int(shortMap[4].first), int(kFillerType)); // slot 4 carries node 8
        QCOMPARE(int(shortMap[5].second), 44);              // slot 5 carries node 4
    }
    void mappingUploadVesko()
    {
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        for (int i = 1; i < 24; ++i)
            s.nodes[i].note = 40 + i;
        const auto wire = wireSlots(s, true);
        for (int k = 1; k < 18; ++k)
            QCOMPARE(int(wire[k].second), 40 + k);
        for (int k = 18; k < 24; ++k)
            QCOMPARE(wire[k], std::make_pair(uint8_t(100), uint8_t(0)));
    }
    void nodePairsByType()
    {
        KorvaneSensorNode n(0, 0);
        n.note = 61;
        n.cc = 7;
        n.action = 5;
        auto pairFor = [&](int type) {
            n.type = type;
            return nodePair(n);
        };
        // A gyro action (type 5) travels its kind, not the action.
        const int values[8] = {61, 7, 5, 7, 5, 7, 0, 5};
        for (int type = 0; type < 8; ++type)
            QCOMPARE(pairFor(type), std::make_pair(uint8_t(type), uint8_t(values[type])));
        QCOMPARE(pairFor(9), std::make_pair(uint8_t(9), uint8_t(0)));
        n.type = 0;
        n.note = 300; // low 8 bits
        QCOMPARE(nodePair(n).second, uint8_t(44));
    }
    void palmettoMapping()
    {
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        for (int i = 0; i < 24; ++i)
            s.nodes[i].note = 50 + i;
        const Message expected =
            bytes({0xF0, 0x7D, 0x07, 50, 51, 52, 53, 58, 54, 59, 55, 60, 56, 61, 57, 0xF7});
        QVERIFY(mappingPalmetto(s) == expected);
        // After an unknown scale the scale length is 0: the same notes in the same order.
        s.scaleLength = 0;
        QVERIFY(mappingPalmetto(s) == expected);
        s.scaleLength = 4;
        QVERIFY(mappingPalmetto(s) == expected);
    }
    void palmettoSettings()
    {
        KorvaneCalibration c;
        c.aftertouchDelay = 40;
        c.onThreshold = 20;
        c.offThreshold = 9;
        c.globalControl = 0x103; // low 8 bits travel
        c.globalCC = 11;
        c.midiChannel = 5;
        c.setVelocityCurveType(CurveFast); // last entries above 127, sent unmasked
        c.velocityScale = 64.7f;
        c.aftertouchScale = 2.0f;
        const auto m = settingsPalmetto(c);
        // Command and value of each message; the curves travel whole (20 bytes).
        const int expected[10][2] = {{0x10, 40}, {0x05, 20}, {0x06, 9},  {0x0C, 3},  {0x08, 11},
                                     {0x0D, 5},  {0x03, -1}, {0x0E, 64}, {0x04, -1}, {0x0F, 2}};
        QCOMPARE(int(m.size()), 10);
        for (int i = 0; i < 10; ++i) {
            Message want = bytes({0xF0, 0x7D, expected[i][0], expected[i][1], 0xF7});
            if (expected[i][1] < 0) {
                const auto &curve = i == 6 ? c.velocityCurve : c.aftertouchCurve;
                want.erase(want.begin() + 3);
                want.insert(want.begin() + 3, curve.begin(), curve.end());
            }
            QVERIFY2(m[i] == want, qPrintable(QString::number(i)));
        }
        QCOMPARE(int(m[6][3 + 19]), 132);
    }
    void smallUploadsAndRequests()
    {
        KorvaneCalibration c;
        c.globalControl = 2;
        c.globalCC = 74;
        c.midiChannel = 15;
        const auto settings = settingsRemote(c);
        QCOMPARE(int(settings.size()), 2);
        QVERIFY(settings[0] == bytes({0xF0, 0x7D, 0x09, 0x00, 0xF7}));
        QVERIFY(settings[1] == bytes({0xF0, 0x7D, 0x0A, 0, 2, 4, 10, 0, 15, 0xF7}));

        const auto bend = bendRemote(KorvaneBendSettings());
        QCOMPARE(int(bend.size()), 4);
        QVERIFY(bend[0] == bytes({0xF0, 0x7D, 0x0B, 0x00, 0xF7}));
        QVERIFY(bend[1] == bytes({0xF0, 0x7D, 0x0C, 0, 2, 0, 1, 0, 15, 0xF7}));
        QVERIFY(bend[2] == bytes({0xF0, 0x7D, 0x0B, 0x01, 0xF7}));
        QVERIFY(bend[3] == bytes({0xF0, 0x7D, 0x0C, 0, 0, 1, 4, 0, 1, 0xF7}));

        const auto gyro = gyroRemote(KorvaneGyroSettings());
        QVERIFY(gyro[0] == bytes({0xF0, 0x7D, 0x18, 0x00, 0xF7}));
        QVERIFY(gyro[1] == bytes({0xF0, 0x7D, 0x19, 0, 1, 2, 1, 0, 0, 0xF7}));

        QVERIFY(eepromWrite() == bytes({0xF0, 0x7D, 0x15, 0x00, 0xF7}));
        QVERIFY(infoRequest() == bytes({0xF0, 0x7D, 0x0D, 0xF7}));
        QVERIFY(versionRequest() == bytes({0xF0, 0x7D, 0x01, 0xF7}));
    }
};

VARNO_TEST_CLASS(TestSysex)
#include "tst_sysex.moc"
