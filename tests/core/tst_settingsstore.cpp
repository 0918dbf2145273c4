// The settings file and the write count on their own: layout, refused files, values out of
// range, interrupted writes.
#include "core/atomicfile.h"
#include "core/korvanesettingsstore.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {
QStringList texts(const QSignalSpy &spy)
{
    QStringList out;
    for (const auto &args : spy)
        out << args.at(0).toString();
    return out;
}
QList<int> fields(const SettingsFile::Settings &s)
{
    const KorvaneCalibration &c = s.calibration;
    return {c.onThreshold, c.midiChannel, c.velocityCurveType, c.aftertouchCurveType, s.remoteType,
            s.remoteMap,   s.mute};
}
} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { AtomicFile::simulateInterruptionAfter(-1); }
    void roundTrip()
    {
        SettingsFile::Settings st;
        st.calibration.onThreshold = 30;
        st.calibration.velocityScale = 77.6f;
        st.calibration.globalControl = 2;
        st.calibration.midiChannel = 5;
        st.calibration.setAftertouchCurveType(1);
        // A stored table is taken as it is, never recomputed from its curve type.
        st.calibration.velocityCurve = KorvaneCalibration::curveTable(CurveLinear);
        st.calibration.velocityCurveType = CurveSudden;
        st.remoteType = 0;
        st.remoteMap = 2;
        st.mute = 1;
        QVERIFY(store.save(st));
        const QByteArray bytes = testfiles::read(store.settingsPath());
        QCOMPARE(bytes.size(), 66);
        QCOMPARE(qFromLittleEndian<qint32>(bytes.constData() + 62), 1);
        QCOMPARE(int(quint8(bytes[52])), 1); // aftertouch curve type

        SettingsFile::Settings back;
        QVERIFY(store.load(back));
        const KorvaneCalibration &c = back.calibration;
        QCOMPARE(fields(back), QList<int>({30, 5, CurveSudden, 1, 0, 2, 1}));
        QCOMPARE(QList<double>(
                     {c.velocityScale, double(c.globalControl), double(c.aftertouchCurve[19])}),
                 QList<double>({77, 2, 127}));
        QVERIFY(c.velocityCurve == KorvaneCalibration::curveTable(CurveLinear));
    }
    void refusedAndClampedFiles()
    {
        SettingsFile::Settings st;
        st.calibration.onThreshold = 99;
        st.calibration.midiChannel = 20;
        st.calibration.velocityCurveType = 7;
        st.calibration.aftertouchCurveType = CurveSlow;
        st.mute = 1;
        const QByteArray full = SettingsFile::serialize(st, 0.5f);
        const QString clamped = "Settings: MIDI channel, velocity curve out of range in the "
                                "file; the nearest allowed value is used.";
        const QList<int> defaults = fields(SettingsFile::Settings());
        const struct
        {
            QByteArray bytes;
            bool loads;
            QString message;
            QList<int> fields;
        } cases[] = {
            {full.left(40), false,
             "Settings file is damaged; default settings are used. The file was kept "
             "as settings.ini.damaged.",
             defaults},
            {SettingsFile::serialize(st, 0.4f), false, "Settings version mismatch", defaults},
            // Ends before the mute word: read, mute unchanged.
            {full.left(62), true, clamped, {99, 15, CurveSudden, CurveSlow, 1, 0, 0}},
            // Each value beyond the window's ranges is clamped on its own.
            {full, true, clamped, {99, 15, CurveSudden, CurveSlow, 1, 0, 1}},
        };
        for (const auto &c : cases) {
            testfiles::write(store.settingsPath(), c.bytes);
            QSignalSpy status(&store, &KorvaneSettingsStore::statusMessage);
            SettingsFile::Settings got;
            QCOMPARE(store.load(got), c.loads);
            QCOMPARE(texts(status), QStringList{c.message});
            QCOMPARE(fields(got), c.fields);
        }
        QCOMPARE(testfiles::read(store.settingsPath() + ".damaged"), full.left(40));

        // An interrupted save keeps the old file and says so instead of "saved".
        AtomicFile::simulateInterruptionAfter(2);
        QSignalSpy status(&store, &KorvaneSettingsStore::statusMessage);
        QVERIFY(!store.save(st));
        QCOMPARE(status.count(), 1);
        QVERIFY(texts(status).at(0).startsWith("Settings could not be saved"));
        QCOMPARE(testfiles::read(store.settingsPath()), full);

        QTemporaryDir none;
        KorvaneSettingsStore fresh(none.path(), 0.5f);
        QSignalSpy quiet(&fresh, &KorvaneSettingsStore::statusMessage);
        QVERIFY(!fresh.load(st)); // no file: nothing to say
        QCOMPARE(quiet.count(), 0);
    }
    void writeCount()
    {
        QSignalSpy count(&store, &KorvaneSettingsStore::writeCountChanged);
        store.loadWriteCount();
        store.increaseWriteCount();
        QCOMPARE(texts(count), QStringList({"0", "1"}));
        const QByteArray bytes = testfiles::read(store.writeCountPath());
        QCOMPARE(bytes, QByteArray::fromHex("01000000"));
        KorvaneSettingsStore again(dir.path(), 0.5f);
        again.loadWriteCount();
        QCOMPARE(again.writeCount(), 1);
        AtomicFile::simulateInterruptionAfter(2);
        QSignalSpy status(&again, &KorvaneSettingsStore::statusMessage);
        again.increaseWriteCount();
        QCOMPARE(again.writeCount(), 2);
        QVERIFY(texts(status).at(0).startsWith("Write count could not be saved"));
        QCOMPARE(testfiles::read(store.writeCountPath()), bytes);
    }

private:
    QTemporaryDir dir;
    KorvaneSettingsStore store{dir.path(), 0.5f};
};

VARNO_TEST_CLASS(TestSettingsStore)
#include "tst_settingsstore.moc"
