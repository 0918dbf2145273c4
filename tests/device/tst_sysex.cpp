// SysEx to and from the device: the messages each upload sends, and the parser of the replies.
#include "device/sysexcodec.h"
#include "device/sysexparser.h"
#include "tests/support/testmain.h"

#include <QtTest>

namespace {

using namespace KorvaneSysex;

Message hex(const QString &text)
{
    Message out;
    for (const QString &t : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out.push_back(uint8_t(t.toUInt(nullptr, 16)));
    return out;
}
QString hexOf(const Message &m)
{
    return QByteArray(reinterpret_cast<const char *>(m.data()), int(m.size())).toHex(' ').toUpper();
}
QString hexOf(const std::vector<Message> &list)
{
    QStringList out;
    for (const Message &m : list)
        out << hexOf(m);
    return out.join(QStringLiteral(" | "));
}

// A mapping reply's node records from first to n - 1: note nodes 48 + i, except node 0 (action 3).
QString mappingBody(int n, int first = 0)
{
    QString out;
    for (int i = first; i < n; ++i)
        out += i == 0
                   ? QStringLiteral(" 03 00 02 00 03")
                   : QStringLiteral(" 03 00 00 %1 %2").arg((48 + i) >> 4).arg((48 + i) & 15, 0, 16);
    return out;
}

// Records what the parser reports, as text lines in stream order; "open" after a feed that
// leaves a frame open.
struct Recorder : SysexReplyListener
{
    SysexReplyParser parser;
    QStringList events;
    KorvaneSensorsState state;
    KorvaneCalibration calibration;

    void versionReply(int v) override { events << QStringLiteral("version %1").arg(v); }
    void deviceTypeReply(int t) override { events << QStringLiteral("type %1").arg(t); }
    void temporalOffsetReply(int o) override { events << QStringLiteral("offset %1").arg(o); }
    void mappingComplete(const KorvaneSensorsState &s) override
    {
        events << QStringLiteral("mapping %1 octave %2 last %3/%4")
                      .arg(s.nodes.size())
                      .arg(s.octave)
                      .arg(s.nodes.back().type)
                      .arg(s.nodes.back().note);
        state = s;
    }
    void calibrationComplete(const KorvaneCalibration &c) override
    {
        events << QStringLiteral("calibration delay %1 on %2 off %3 curves %4/%5 channel %6")
                      .arg(c.aftertouchDelay)
                      .arg(c.onThreshold)
                      .arg(c.offThreshold)
                      .arg(c.velocityCurveType)
                      .arg(c.aftertouchCurveType)
                      .arg(c.midiChannel);
        calibration = c;
    }
    void feed(const QString &frame)
    {
        const Message b = hex(frame);
        parser.feed(b.data(), b.size(), *this);
        if (parser.inSysex())
            events << QStringLiteral("open");
    }
};

} // namespace

class TestSysex : public QObject
{
    Q_OBJECT
private slots:
    void parser_data()
    {
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QString>("events");
        const QString map24 = "F0 7D 02 18" + mappingBody(24) + " F7";
        const QString cal = "calibration delay %1 on %2 off %3 curves %4/%5 channel %6";
        QTest::newRow("immediate replies, several in one frame")
            << QStringList{"F0 7D 0E 01 F7", "F0 7D 16 40 F7", "F0 7D 16 00 F7",
                           "F0 7D 01 0C 0E 00 16 7F F7"}
            << "type 1|offset 0|offset -64|version 12|type 0|offset 63";
        // A new header starts over with an empty list; a map too short to say its octave keeps
        // the last one.
        QTest::newRow("mapping in one frame, then a short one")
            << QStringList{map24, "F0 7D 02 02 03 00 00 03 00 03 00 00 03 01 F7"}
            << "mapping 24 octave 4 last 0/71|mapping 2 octave 4 last 0/49";
        // Velocity curve 1 at scale 90, aftertouch curve 3 at scale 20, thresholds 30/10,
        // control 5 with CC 74, delay 60 and channel 9. A partial reply changes only its own
        // fields; curve index 2 changes nothing.
        QTest::newRow("calibration, then a partial one")
            << QStringList{"F0 7D 07 00 08 00 01 05 0A 07 01 08 00 03 01 04 F7",
                           "F0 7D 0F 00 10 01 0E 00 0A 11 00 12 00 05 04 0A F7",
                           "F0 7D 13 00 14 03 0C 00 09 F7",
                           "F0 7D 07 02 08 00 02 00 07 13 00 14 00 01 00 02 F7"}
            << cal.arg(60).arg(30).arg(10).arg(1).arg(3).arg(9) + "|" +
                   cal.arg(1).arg(30).arg(10).arg(1).arg(3).arg(2);
        // Version 0x7D never arrives: the next byte (the following command) is taken instead.
        // Inside a record the nibbles after 0x7D shift: 7D is skipped, F7 ends the frame before
        // the record is whole, so nothing is applied; the next complete record still is.
        QTest::newRow("header byte inside the payload")
            << QStringList{"F0 7D 01 7D 0E 02 F7", "F0 7D 13 00 14 03 7D 0C 00 F7",
                           "F0 7D 14 03 7D 0C 00 09 01 F7"}
            << "version 14|" + cal.arg(60).arg(16).arg(8).arg(2).arg(2).arg(9);
        // An unknown command's frame is ignored; a frame cut short (no F7) is abandoned at the
        // next F0, even in the middle of a record (thresholds 0x12/0x03 below); records before
        // their header still apply, continuing the node count.
        QTest::newRow("unknown commands and cut frames")
            << QStringList{"F0 7D 05 01 0E 02 F7",
                           "F0 7D 0E 03 F7",
                           "F0 7D 17 00",
                           "F0 7D 01 21 F7",
                           "F0 7D 10 00 01",
                           "F0 7D 10 01 02 00 03 F7",
                           "F0 7D 13 00 14 00 00 00 00 F7",
                           "F0 7D 02 02 03 00 00 03 00 F7",
                           "F0 7D 03 00 01 00 07 F7"}
            << "type 3|open|version 33|open|" + cal.arg(0).arg(18).arg(3).arg(2).arg(2).arg(0) +
                   "|mapping 2 octave 4 last 1/7";
        // Another maker's SysEx, even one with our header byte inside, is not read, and its
        // end closes it.
        QTest::newRow("foreign sysex")
            << QStringList{"F0 41 10 7D 01 05 F7", "F0 41 10", "F7 90 3C 40", "F0 7D 0E 01 F7"}
            << "open|type 1";
    }
    void parser()
    {
        QFETCH(QStringList, frames);
        QFETCH(QString, events);
        Recorder r;
        for (const QString &f : frames)
            r.feed(f);
        QCOMPARE(r.events.join('|'), events);
    }
    void parsedRecords()
    {
        Recorder r;
        r.feed("F0 7D 02 18" + mappingBody(24) + " F7");
        const KorvaneSensorsState &s = r.state;
        Recorder split;
        for (const QString &f : QStringList{"F0 7D 02 18 F7", "F0 7D" + mappingBody(10) + " F7",
                                            "F0 7D" + mappingBody(24, 10) + " F7"})
            split.feed(f);
        QVERIFY(split.state.nodes == s.nodes);
        QCOMPARE(QList<int>({s.nodes[0].type, s.nodes[0].action, s.nodes[0].note, s.nodes[0].cc}),
                 QList<int>({2, 3, 3, 3}));
        QCOMPARE(QList<int>({s.nodes[23].index, s.nodes[23].extra, s.key}),
                 QList<int>({23, -1, 0}));

        r.feed("F0 7D 07 00 08 00 01 05 0A 07 01 08 00 03 01 04 F7");
        r.feed("F0 7D 0F 00 10 01 0E 00 0A 11 00 12 00 05 04 0A F7");
        r.feed("F0 7D 13 00 14 03 0C 00 09 F7");
        const KorvaneCalibration &c = r.calibration;
        QCOMPARE(QList<double>({c.velocityScale, c.aftertouchScale, double(c.globalControl),
                                double(c.globalCC)}),
                 QList<double>({90, 20, 5, 74}));
        QVERIFY(c.velocityCurve == KorvaneCalibration().velocityCurve); // tables untouched
    }
    void damagedChannelMessagesAreDropped()
    {
        // Every kind read here needs two data bytes, neither with its top bit set (damage, not
        // a note 188 or a bend past 16383). The kinds themselves show in the engine's dispatch.
        for (const char *bytes : {"90 3C", "D0 05 00", "90 BC 64", "E0 00 C0"}) {
            const auto b = hex(bytes);
            QVERIFY2(classifyChannelMessage(b.data(), b.size()).kind == ChannelMessage::None,
                     bytes);
        }
    }
    void uploads()
    {
        // Scales travel truncated: 99.9 as 99 (0x63), 127.99 as 127.
        KorvaneCalibration scaled;
        scaled.velocityScale = 99.9f;
        scaled.aftertouchScale = 127.99f;
        scaled.aftertouchCurveType = 3;
        KorvaneCalibration settings;
        settings.globalControl = 2;
        settings.globalCC = 74;
        settings.midiChannel = 15;
        KorvaneSensorsState palmetto = KorvaneSensorsState::fresh();
        for (int i = 0; i < 24; ++i)
            palmetto.nodes[i].note = 50 + i;
        const std::pair<std::vector<Message>, QString> cases[] = {
            {calibrationRemote(scaled),
             "F0 7D 05 00 F7 | F0 7D 06 03 07 01 00 00 08 F7 | F0 7D 07 00 F7 | F0 7D 08 00 02 06 "
             "03 F7 | F0 7D 07 01 F7 | F0 7D 08 00 03 07 0F F7"},
            {settingsRemote(settings), "F0 7D 09 00 F7 | F0 7D 0A 00 02 04 0A 00 0F F7"},
            {bendRemote(KorvaneBendSettings()),
             "F0 7D 0B 00 F7 | F0 7D 0C 00 02 00 01 00 0F F7 | F0 7D 0B 01 F7 | F0 7D 0C 00 00 01 "
             "04 00 01 F7"},
            {gyroRemote(KorvaneGyroSettings()), "F0 7D 18 00 F7 | F0 7D 19 00 01 02 01 00 00 F7"},
            {{eepromWrite(), infoRequest(), versionRequest()},
             "F0 7D 15 00 F7 | F0 7D 0D F7 | F0 7D 01 F7"},
            {{mappingPalmetto(palmetto)}, "F0 7D 07 32 33 34 35 3A 36 3B 37 3C 38 3D 39 F7"},
        };
        for (const auto &c : cases)
            QCOMPARE(hexOf(c.first), c.second);
        // Out-of-range values stay defined.
        QCOMPARE(QList<int>({floatToByte(-1.5f), floatToByte(300.0f), floatToByte(1e30f),
                             floatToByte(std::nanf(""))}),
                 QList<int>({0xFF, 300 & 0xFF, 0xFF, 0}));
    }
    void mappingUploadSlotOrder()
    {
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        for (int i = 1; i < 24; ++i)
            s.nodes[i].note = 40 + i; // a distinct note per node shows where each one travels
        s.nodes[1].note = 60;
        const auto m = mappingRemote(s, false);
        QCOMPARE(int(m.size()), 25);
        QCOMPARE(hexOf({m[0], m[1], m[2]}),
                 "F0 7D 02 18 F7 | F0 7D 03 00 02 00 00 F7 | F0 7D 03 00 00 03 0C F7");
        const int order[18] = {0, 1, 2, 3, 8, 4, 9, 5, 10, 6, 11, 7, 12, 13, 14, 15, 16, 17};
        for (int k = 2; k < 24; ++k) {
            const int note = 40 + order[std::min(k, 17)];
            const Message want =
                k < 18
                    ? Message{0xF0, 0x7D, 0x03, 0, 0, uint8_t(note >> 4), uint8_t(note & 15), 0xF7}
                    : hex("F0 7D 03 06 04 00 00 F7");
            QVERIFY2(m[1 + k] == want, qPrintable(QString::number(k)));
        }
        // Vesko devices take the nodes in their own order.
        s.nodes[1].note = 41;
        const auto vesko = wireSlots(s, true);
        for (int k = 1; k < 24; ++k)
            QCOMPARE(vesko[k],
                     std::make_pair(uint8_t(k < 18 ? 0 : 100), uint8_t(k < 18 ? 40 + k : 0)));

        // A map shorter than the slot table still sends 24 slots; missing nodes are fillers.
        s.nodes.resize(6);
        const auto shortMap = wireSlots(s, false);
        QCOMPARE(int(shortMap[4].first), int(kFillerType)); // slot 4 carries node 8
        QCOMPARE(int(shortMap[5].second), 44);              // slot 5 carries node 4
    }
    void nodePairsByType()
    {
        KorvaneSensorNode n(0, 0);
        n.note = 61;
        n.cc = 7;
        n.action = 5;
        // A gyro action (type 5) travels its kind, not the action.
        const int values[10] = {61, 7, 5, 7, 5, 7, 0, 5, -1, 0};
        for (int type = 0; type < 10; ++type) {
            n.type = type;
            if (values[type] >= 0)
                QCOMPARE(nodePair(n), std::make_pair(uint8_t(type), uint8_t(values[type])));
        }
        n.type = 0;
        n.note = 300; // low 8 bits
        QCOMPARE(nodePair(n).second, uint8_t(44));
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
        const QString velocity = hexOf(Message(c.velocityCurve.begin(), c.velocityCurve.end()));
        const QString aftertouch =
            hexOf(Message(c.aftertouchCurve.begin(), c.aftertouchCurve.end()));
        QCOMPARE(hexOf(m), "F0 7D 10 28 F7 | F0 7D 05 14 F7 | F0 7D 06 09 F7 | F0 7D 0C 03 F7 | "
                           "F0 7D 08 0B F7 | F0 7D 0D 05 F7 | F0 7D 03 " +
                               velocity + " F7 | F0 7D 0E 40 F7 | F0 7D 04 " + aftertouch +
                               " F7 | F0 7D 0F 02 F7");
        QCOMPARE(int(m[6][3 + 19]), 132);
    }
};

VARNO_TEST_CLASS(TestSysex)
#include "tst_sysex.moc"
