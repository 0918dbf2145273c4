#include "base/korvanerecords.h"
#include "tests/support/testmain.h"

#include <QMetaType>
#include <QtTest>

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void freshMapAndNodes()
    {
        const KorvaneSensorsState s = KorvaneSensorsState::fresh();
        QCOMPARE(int(s.nodes.size()), 24);
        QCOMPARE(s.nodes[0].type, int(NodeAction));
        QCOMPARE(s.nodes[0].action, 0);
        QCOMPARE(s.nodes[0].note, 48);
        for (int i = 0; i < 24; ++i) {
            QCOMPARE(s.nodes[i].index, i);
            QCOMPARE(s.nodes[i].cc, 0);
            QCOMPARE(s.nodes[i].extra, -1);
            if (i > 0) {
                QCOMPARE(s.nodes[i].type, int(NodeNote));
                QCOMPARE(s.nodes[i].note, 60 + i);
            }
        }
        QCOMPARE(QList<int>({s.octave, s.key, s.scale, s.scaleLength, s.word2}),
                 QList<int>({4, 0, 0, 7, 1}));
    }
    void calibrationPacking()
    {
        KorvaneCalibration c;
        QCOMPARE(int(c.velocityCurve[19]), 114);
        QCOMPARE(c.velocityCurveType, 2);
        c.velocityScale = 99.9f;
        c.aftertouchScale = 300.0f; // only the low 8 bits survive
        c.onThreshold = 40;
        c.velocityCurve[7] = 77;
        c.globalControl = 0x105;
        c.globalCC = 74;
        c.midiChannel = 9;

        const CalibrationPacket p = c.packCalibration();
        QCOMPARE(int(p.bytes[1]), 40);
        QCOMPARE(int(p.bytes[10]), 77);
        QCOMPARE(int(p.bytes[23]), 99);
        QCOMPARE(int(p.bytes[44]), 300 & 0xFF);

        KorvaneCalibration back;
        back.globalCC = 3;
        back.unpackCalibration(p);
        QCOMPARE(back.velocityScale, 99.0f);
        QCOMPARE(int(back.onThreshold), 40);
        QCOMPARE(int(back.velocityCurve[7]), 77);
        QCOMPARE(int(back.globalCC), 3); // not part of this packet

        const ControlPacket cp = c.packControl();
        QCOMPARE(int(cp.bytes[0]), 5);
        back.unpackControl(cp);
        QCOMPARE(back.globalControl, 5);
        QCOMPARE(int(back.globalCC), 74);
        QCOMPARE(int(back.midiChannel), 9);
    }
    void curveTables_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("linear") << 0 << QList<int>{5,  11, 17, 23, 29, 35, 41,  47,  53,  59,
                                                   65, 71, 77, 83, 89, 95, 101, 107, 113, 119};
        QTest::newRow("slow") << 1 << QList<int>{0,  0,  1,  3,  5,  8,  12, 17,  22,  28,
                                                 35, 42, 50, 59, 68, 79, 90, 101, 113, 127};
        QTest::newRow("fast") << 2 << QList<int>{5,  34,  46,  55,  63,  70,  76,  82,  87,  92,
                                                 97, 101, 105, 110, 114, 117, 121, 125, 128, 132};
        QTest::newRow("sudden") << 3
                                << QList<int>{6,   56,  73,  84,  91,  97,  102, 106, 110, 113,
                                              116, 118, 121, 123, 125, 127, 128, 130, 132, 133};
    }
    void curveTables()
    {
        QFETCH(int, type);
        QFETCH(QList<int>, expected);
        KorvaneCalibration c;
        c.setVelocityCurveType(type);
        c.setAftertouchCurveType(type);
        QCOMPARE(c.velocityCurveType, type);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(int(c.velocityCurve[i]), expected[i]);
            QCOMPARE(int(c.aftertouchCurve[i]), expected[i]);
        }
    }
    void curveSetterKeepsTableForUnknownType()
    {
        KorvaneCalibration c;
        c.setVelocityCurveType(1);
        const auto before = c.velocityCurve;
        c.setVelocityCurveType(7);
        QCOMPARE(c.velocityCurveType, 7);
        QVERIFY(c.velocityCurve == before);
    }
    void thresholdPairing()
    {
        KorvaneCalibration c; // on 16, off 8
        c.pairOnThreshold(5);
        QCOMPARE(int(c.onThreshold), 9);
        c.pairOffThreshold(30);
        QCOMPARE(int(c.offThreshold), 8);
        c.pairOnThreshold(50);
        c.pairOffThreshold(20);
        QCOMPARE(int(c.onThreshold), 50);
        QCOMPARE(int(c.offThreshold), 20);
    }
    void metaTypesRegistered()
    {
        registerKorvaneMetaTypes();
        for (const char *name :
             {"KorvaneSensorsState", "KorvaneCalibration", "KorvaneBendSettings"})
            QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
        // A queued copy carries every field.
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        s.nodes[3].extra = 77;
        s.block[4] = 9;
        const QVariant v = QVariant::fromValue(s);
        const auto back = v.value<KorvaneSensorsState>();
        QCOMPARE(back.nodes[3].extra, 77);
        QCOMPARE(int(back.block[4]), 9);
    }
};

VARNO_TEST_CLASS(TestRecords)
#include "tst_records.moc"
