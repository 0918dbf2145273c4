// .syx backups without a window: a backup reads back to the records it was written from, in
// each dialect and slot order, and every kind of damage is refused with the records untouched.
#include "device/syxfile.h"
#include "tests/support/testmain.h"

#include <QtTest>

namespace {

KorvaneSyxFile::Contents sample()
{
    KorvaneSyxFile::Contents c;
    c.map = KorvaneSensorsState::fresh();
    c.map.nodes.clear();
    const int types[] = {NodeNote,     NodeControlChange, NodeAction, NodeGyroControlChange,
                         NodeGyroBend, NodeGyroAction};
    for (int i = 0; i < kSensorCount; ++i) {
        KorvaneSensorNode n(i, types[i % 6]);
        n.note = n.cc = n.action = 40 + i; // what a read gives: one value in every field
        c.map.nodes.push_back(n);
    }
    c.calibration.onThreshold = 40;
    c.calibration.offThreshold = 12;
    c.calibration.velocityScale = 99.0f;
    c.calibration.aftertouchCurveType = CurveSlow;
    c.calibration.midiChannel = 9;
    c.calibration.globalCC = 74;
    c.calibration.velocityCurve[3] = 200; // the older dialect sends entries above 127 as they are
    c.bend.bendSpeed = 7;
    c.bend.releaseDelay = 33;
    c.gyro.gyroThreshold = 50;
    return c;
}

} // namespace

class TestSyxFile : public QObject
{
    Q_OBJECT
private slots:
    void backupReadsBack_data();
    void backupReadsBack();
    void damageIsRefused_data();
    void damageIsRefused();
};

void TestSyxFile::backupReadsBack_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("vesko");
    QTest::addColumn<int>("messages");
    QTest::addColumn<QStringList>("records");
    const QStringList all = {"map", "calibration", "settings", "bend settings", "gyro settings"};
    QTest::newRow("remote") << int(KorvaneSyxFile::Remote) << false << 25 + 6 + 2 + 4 + 2 << all;
    QTest::newRow("remote vesko") << int(KorvaneSyxFile::Remote) << true << 39 << all;
    QTest::newRow("palmetto") << int(KorvaneSyxFile::Palmetto) << false << 11
                              << QStringList{"map", "settings"};
}

void TestSyxFile::backupReadsBack()
{
    QFETCH(int, dialect);
    QFETCH(bool, vesko);
    QFETCH(int, messages);
    QFETCH(QStringList, records);
    const KorvaneSyxFile::Contents written = sample();
    const auto backup = KorvaneSyxFile::backup(dialect, written, vesko);
    QCOMPARE(int(backup.size()), messages);
    const QByteArray bytes = KorvaneSyxFile::join(backup);

    // Read onto defaults: the records come back, and so do the very same bytes (every field of
    // the sample differs from its default, so a field read wrongly or not at all shows there).
    KorvaneSyxFile::Contents read;
    read.map = KorvaneSensorsState::fresh();
    QString error;
    std::vector<KorvaneSysex::Message> parsed;
    QVERIFY2(KorvaneSyxFile::read(bytes, dialect, vesko, read, &error, &parsed), qPrintable(error));
    QCOMPARE(read.recordNames(), records);
    QVERIFY(parsed == backup);
    QCOMPARE(KorvaneSyxFile::join(KorvaneSyxFile::backup(dialect, read, vesko)), bytes);
}

void TestSyxFile::damageIsRefused_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray full =
        KorvaneSyxFile::join(KorvaneSyxFile::backup(KorvaneSyxFile::Remote, sample(), false));
    const int remote = KorvaneSyxFile::Remote;
    QTest::newRow("foreign header")
        << remote << full + QByteArray::fromHex("F0 43 10 4C 00 00 7E 00 F7")
        << "not one of ours (header 43";
    QTest::newRow("missing F7") << remote << QByteArray(full).remove(4, 1)
                                << "does not end with F7";
    QTest::newRow("truncated") << remote << full.left(full.size() - 3) << "message 39 is cut short";
    QTest::newRow("unknown command")
        << remote << QByteArray::fromHex("F0 7D 15 00 F7") << "command 15";
    QTest::newRow("stray byte") << remote << QByteArray::fromHex("00") + full
                                << "byte 00 at offset 0";
    QTest::newRow("header alone") << remote << QByteArray::fromHex("F0 7D 09 00 F7")
                                  << "without its record";
    QTest::newRow("record alone") << remote << QByteArray::fromHex("F0 7D 0A 00 00 00 01 00 00 F7")
                                  << "record without its header";
    QTest::newRow("short map") << remote << full.left(5 + 10 * 8) + full.mid(5 + 24 * 8)
                               << "stops after 10 of 24";
    QTest::newRow("nibble above 0F")
        << remote << QByteArray::fromHex("F0 7D 18 00 F7 F0 7D 19 10 00 00 00 00 00 F7")
        << "nibble above 0F";
    QTest::newRow("empty") << remote << QByteArray() << "no messages";
    QTest::newRow("other dialect")
        << int(KorvaneSyxFile::Palmetto) << full << "backup of a KorvaneRemote device";
    QTest::newRow("palmetto map cut") << int(KorvaneSyxFile::Palmetto)
                                      << QByteArray::fromHex("F0 7D 07 30 31 32 F7") << "cut short";
}

void TestSyxFile::damageIsRefused()
{
    QFETCH(int, dialect);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    KorvaneSyxFile::Contents records = sample();
    QString error;
    std::vector<KorvaneSysex::Message> messages;
    QVERIFY(!KorvaneSyxFile::read(bytes, dialect, false, records, &error, &messages));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(messages.empty());
    QVERIFY(records.map.nodes == sample().map.nodes);
    QVERIFY(records.calibration == sample().calibration);
    QVERIFY(records.bend == sample().bend);
}

VARNO_TEST_CLASS(TestSyxFile)
#include "tst_syxfile.moc"
