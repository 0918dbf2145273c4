#include "base/korvanerecords.h"
#include "tests/support/testmain.h"

#include <QtTest>

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void calibrationPacking()
    {
        KorvaneCalibration c;
        c.velocityScale = 99.9f;
        c.aftertouchScale = 300.0f; // only the low 8 bits survive
        c.onThreshold = 40;
        c.velocityCurve[7] = 77;
        c.globalControl = 0x105;
        c.globalCC = 74;
        c.midiChannel = 9;
        const CalibrationPacket p = c.packCalibration();
        QCOMPARE(QList<int>({p.bytes[1], p.bytes[10], p.bytes[23], p.bytes[44]}),
                 QList<int>({40, 77, 99, 300 & 0xFF}));
        KorvaneCalibration back;
        back.globalCC = 3;
        back.unpackCalibration(p);
        QCOMPARE(back.velocityScale, 99.0f);
        QCOMPARE(QList<int>({back.onThreshold, back.velocityCurve[7], back.globalCC}),
                 QList<int>({40, 77, 3})); // the controller is not part of this packet
        const ControlPacket cp = c.packControl();
        QCOMPARE(int(cp.bytes[0]), 5);
        back.unpackControl(cp);
        QCOMPARE(QList<int>({back.globalControl, back.globalCC, back.midiChannel}),
                 QList<int>({5, 74, 9}));

        // Thresholds stay paired, on above off.
        c = KorvaneCalibration(); // on 16, off 8
        c.pairOnThreshold(5);
        QCOMPARE(int(c.onThreshold), 9);
        c.pairOffThreshold(30);
        QCOMPARE(int(c.offThreshold), 8);
        c.pairOnThreshold(50);
        c.pairOffThreshold(20);
        QCOMPARE(QList<int>({c.onThreshold, c.offThreshold}), QList<int>({50, 20}));
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
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(int(c.velocityCurve[i]), expected[i]);
            QCOMPARE(int(c.aftertouchCurve[i]), expected[i]);
        }
        c.setVelocityCurveType(7); // an unknown type keeps the table
        QCOMPARE(c.velocityCurveType, 7);
        QVERIFY(c.velocityCurve == KorvaneCalibration::curveTable(type));
    }
};

VARNO_TEST_CLASS(TestRecords)
#include "tst_records.moc"
