#include "device/sysexcodec.h"

#include "tests/support/testmain.h"

#include <QtTest>

using namespace KorvaneSysex;

namespace {
Message bytes(std::initializer_list<int> list)
{
    Message m;
    for (int b : list)
        m.push_back(uint8_t(b));
    return m;
}
} // namespace

class TestSysexCodec : public QObject
{
    Q_OBJECT
private slots:
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
        QCOMPARE(pairFor(0).second, uint8_t(61));
        QCOMPARE(pairFor(1).second, uint8_t(7));
        QCOMPARE(pairFor(2).second, uint8_t(5));
        QCOMPARE(pairFor(3).second, uint8_t(7));
        QCOMPARE(pairFor(4).second, uint8_t(5));
        QCOMPARE(pairFor(5).second, uint8_t(7)); // gyro action travels its kind, not the action
        QCOMPARE(pairFor(6).second, uint8_t(0));
        QCOMPARE(pairFor(7).second, uint8_t(5));
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
        QCOMPARE(int(m.size()), 10);
        const int commands[10] = {0x10, 0x05, 0x06, 0x0C, 0x08, 0x0D, 0x03, 0x0E, 0x04, 0x0F};
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(int(m[i][2]), commands[i]);
            QCOMPARE(int(m[i].front()), 0xF0);
            QCOMPARE(int(m[i].back()), 0xF7);
        }
        QVERIFY(m[0] == bytes({0xF0, 0x7D, 0x10, 40, 0xF7}));
        QVERIFY(m[1] == bytes({0xF0, 0x7D, 0x05, 20, 0xF7}));
        QVERIFY(m[2] == bytes({0xF0, 0x7D, 0x06, 9, 0xF7}));
        QVERIFY(m[3] == bytes({0xF0, 0x7D, 0x0C, 3, 0xF7}));
        QVERIFY(m[4] == bytes({0xF0, 0x7D, 0x08, 11, 0xF7}));
        QVERIFY(m[5] == bytes({0xF0, 0x7D, 0x0D, 5, 0xF7}));
        QCOMPARE(int(m[6].size()), 24);
        QCOMPARE(int(m[6][3 + 19]), 132);
        QVERIFY(std::equal(c.velocityCurve.begin(), c.velocityCurve.end(), m[6].begin() + 3));
        QVERIFY(m[7] == bytes({0xF0, 0x7D, 0x0E, 64, 0xF7}));
        QVERIFY(std::equal(c.aftertouchCurve.begin(), c.aftertouchCurve.end(), m[8].begin() + 3));
        QVERIFY(m[9] == bytes({0xF0, 0x7D, 0x0F, 2, 0xF7}));
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

VARNO_TEST_CLASS(TestSysexCodec)
#include "tst_sysexcodec.moc"
