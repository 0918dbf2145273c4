// The settings file and the write count on their own: layout, refused files, interrupted
// writes.
#include "core/atomicfile.h"
#include "core/korvanesettingsstore.h"
#include "tests/support/testfiles.h"

#include "tests/support/testmain.h"

#include <QFile>
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
} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { AtomicFile::simulateInterruptionAfter(-1); }
    void roundTrip()
    {
        KorvaneSettingsStore store(dir.path(), 0.5f);
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
        QSignalSpy status(&store, &KorvaneSettingsStore::statusMessage);
        QVERIFY(store.save(st));
        QCOMPARE(texts(status), QStringList{"Settings saved."});

        const QByteArray bytes = testfiles::read(store.settingsPath());
        QCOMPARE(bytes.size(), 66);
        QCOMPARE(qFromLittleEndian<qint32>(bytes.constData() + 62), 1);
        QCOMPARE(int(quint8(bytes[52])), 1); // aftertouch curve type

        SettingsFile::Settings back;
        QVERIFY(store.load(back));
        const KorvaneCalibration &c = back.calibration;
        QCOMPARE(
            QList<double>({double(c.onThreshold), c.velocityScale, double(c.globalControl),
                           double(c.midiChannel), double(c.aftertouchCurveType),
                           double(c.aftertouchCurve[19]), double(c.velocityCurveType),
                           double(back.remoteType), double(back.remoteMap), double(back.mute)}),
            QList<double>({30, 77, 2, 5, 1, 127, CurveSudden, 0, 2, 1}));
        QVERIFY(c.velocityCurve == KorvaneCalibration::curveTable(CurveLinear));
    }
    void refusedFilesKeepSettings()
    {
        KorvaneSettingsStore store(dir.path(), 0.5f);
        SettingsFile::Settings st;
        st.calibration.onThreshold = 99;
        st.mute = 1;
        const QByteArray full = SettingsFile::serialize(st, 0.5f);
        const struct
        {
            QByteArray bytes;
            const char *message; // nullptr: read
            int onThreshold;
        } cases[] = {
            {full.left(40),
             "Settings file is damaged; default settings are used. The file was kept "
             "as settings.ini.damaged.",
             0},
            {SettingsFile::serialize(st, 0.4f), "Settings version mismatch", 0},
            {full.left(62), nullptr, 99}, // ends before the mute word: read, mute unchanged
        };
        const SettingsFile::Settings defaults;
        for (const auto &c : cases) {
            testfiles::write(store.settingsPath(), c.bytes);
            QSignalSpy status(&store, &KorvaneSettingsStore::statusMessage);
            SettingsFile::Settings got;
            QCOMPARE(store.load(got), !c.message);
            QCOMPARE(texts(status), c.message ? QStringList{c.message} : QStringList());
            QCOMPARE(int(got.calibration.onThreshold),
                     c.message ? int(defaults.calibration.onThreshold) : c.onThreshold);
            QCOMPARE(got.mute, 0);
        }
        QCOMPARE(testfiles::read(store.settingsPath() + ".damaged"), full.left(40));

        // An interrupted save keeps the old file and says so instead of "saved".
        AtomicFile::simulateInterruptionAfter(2);
        QSignalSpy status(&store, &KorvaneSettingsStore::statusMessage);
        QVERIFY(!store.save(st));
        QCOMPARE(status.count(), 1);
        QVERIFY(texts(status).at(0).startsWith("Settings could not be saved"));
        QCOMPARE(testfiles::read(store.settingsPath()), full.left(62));

        QTemporaryDir none;
        KorvaneSettingsStore fresh(none.path(), 0.5f);
        QSignalSpy quiet(&fresh, &KorvaneSettingsStore::statusMessage);
        QVERIFY(!fresh.load(st)); // no file: nothing to say
        QCOMPARE(quiet.count(), 0);
    }
    void outOfRangeFieldsAreClamped()
    {
        // Values the device reported beyond the window's ranges: each is clamped on its own, the
        // rest of the file is read.
        KorvaneSettingsStore store(dir.path(), 0.5f);
        SettingsFile::Settings st;
        st.calibration.onThreshold = 99;
        st.calibration.midiChannel = 20;
        st.calibration.velocityCurveType = 7;
        st.calibration.aftertouchCurveType = CurveSlow;
        st.mute = 1;
        testfiles::write(store.settingsPath(), SettingsFile::serialize(st, 0.5f));
        QSignalSpy status(&store, &KorvaneSettingsStore::statusMessage);
        SettingsFile::Settings got;
        QVERIFY(store.load(got));
        QCOMPARE(texts(status),
                 QStringList{"Settings: MIDI channel, velocity curve out "
                             "of range in the file; the nearest allowed value is used."});
        const KorvaneCalibration &c = got.calibration;
        QCOMPARE(QList<int>({c.onThreshold, c.midiChannel, c.velocityCurveType,
                             c.aftertouchCurveType, got.mute}),
                 QList<int>({99, 15, CurveSudden, CurveSlow, 1}));
    }
    void writeCount()
    {
        QTemporaryDir here;
        KorvaneSettingsStore store(here.path(), 0.5f);
        QSignalSpy count(&store, &KorvaneSettingsStore::writeCountChanged);
        store.loadWriteCount();
        QCOMPARE(count.takeFirst().at(0).toInt(), 0);
        store.increaseWriteCount();
        QCOMPARE(count.takeFirst().at(0).toInt(), 1);
        const QByteArray bytes = testfiles::read(store.writeCountPath());
        QCOMPARE(bytes.size(), 4);
        QCOMPARE(qFromLittleEndian<qint32>(bytes.constData()), 1);

        KorvaneSettingsStore again(here.path(), 0.5f);
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
};

VARNO_TEST_CLASS(TestSettingsStore)
#include "tst_settingsstore.moc"
