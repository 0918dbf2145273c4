// Whether the instrument differs from its file: every kind of change marks it, only a load or
// a save that worked clears the mark, and the recovery copy kept when the device loads
// another instrument never replaces a file.
#include "audio/instrumentfile.h"
#include "audio/korvaneaudioengine.h"
#include "audio/recordinganalysis.h"
#include "core/korvanecore.h"
#include "core/korvaneinstrumentstore.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/testfiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

class TestUnsavedInstrument : public QObject
{
    Q_OBJECT
private slots:
    void everyChangeMarksOnlyLoadAndSaveClear();
    void recoveryCopyNeverOverwrites();
};

void TestUnsavedInstrument::everyChangeMarksOnlyLoadAndSaveClear()
{
    HubTestEnv env;
    KorvaneCore hub;
    const QString flute = hub.GetDataPath() + "/sounds/Flute.kvi";
    if (!QFile::exists(flute))
        QSKIP("this build carries no preset instruments");
    const struct
    {
        const char *what;
        std::function<void()> change;
    } changes[] = {
        {"recording", [&] { emit hub.audio()->setUnsaved(); }}, // what every recording emits
        {"import",
         [&] {
             hub.audio()->importSample(std::vector<StereoFrame>(800, {0.5f, 0.5f}), "x.wav",
                                       FrequencyEstimate());
         }},
        {"sample key", [&] { hub.ChangeSampleMap(0, 70); }},
        {"sample deleted", [&] { hub.FlushSelected(0); }},
        {"previous removed", [&] { hub.FlushPrevious(); }},
        {"all removed", [&] { hub.FlushMemory(); }},
        {"play mode", [&] { hub.setSamplerMode(1); }},
        {"sample list edit", [&] { hub.setLayerView(hub.audio()->getLayerView()); }},
        {"frequency estimated again", [&] { hub.ReCalcSelected(0); }},
        {"envelope or reverb", [&] { hub.MarkSoundModified(); }},
    };
    for (const auto &c : changes) {
        QVERIFY(hub.LoadSound(flute));
        QVERIFY2(!hub.IsSoundModified(), c.what);
        c.change();
        QVERIFY2(hub.IsSoundModified(), c.what);
    }

    // A damaged file or a failed save leaves the mark; a save that worked clears it.
    QTemporaryDir dir;
    testfiles::write(dir.path() + "/Bad.kvi", "not an instrument");
    QVERIFY(!hub.LoadSound(dir.path() + "/Bad.kvi"));
    QVERIFY(!hub.SaveSound(dir.path() + "/missing/Mine.kvi"));
    QVERIFY(hub.IsSoundModified());
    QVERIFY(hub.SaveSound(dir.path() + "/Mine.kvi"));
    QVERIFY(!hub.IsSoundModified());
    QCOMPARE(hub.GetSoundPath(), dir.path() + "/Mine.kvi");
    hub.ShutDown();
}

void TestUnsavedInstrument::recoveryCopyNeverOverwrites()
{
    registerSamplerMetaTypes();
    QTemporaryDir dir;
    KorvaneAudioEngine audio;
    KorvaneInstrumentStore store(&audio);
    QSignalSpy status(&store, &KorvaneInstrumentStore::statusMessage);
    KorvaneInstrument lead;
    lead.samples.resize(2);
    for (SamplerSample &s : lead.samples)
        s.frames.assign(300, StereoFrame{0.25f, 0.25f});
    audio.loadInstrument(lead);
    QVERIFY(store.save(dir.path() + "/Lead.kvi"));
    audio.deleteSample(0);

    const QDateTime when(QDate(2026, 12, 6), QTime(17, 2));
    const QString first = store.keepRecoveryCopy(dir.path() + "/sounds", when);
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("Lead (recovered 2026-12-06 17-02).kvi"));
    const QByteArray firstBytes = testfiles::read(first);
    audio.deleteSample(0);
    const QString second = store.keepRecoveryCopy(dir.path() + "/sounds", when);
    QCOMPARE(QFileInfo(second).fileName(),
             QStringLiteral("Lead (recovered 2026-12-06 17-02 2).kvi"));
    QCOMPARE(testfiles::read(first), firstBytes);
    KorvaneInstrument kept;
    QVERIFY(readInstrumentFile(first, kept, nullptr));
    QCOMPARE(int(kept.samples.size()), 1);
    // A copy is not a save: the instrument keeps its own file and its mark.
    QCOMPARE(store.soundPath(), dir.path() + "/Lead.kvi");
    QVERIFY(store.isModified());

    // A folder that cannot be made is said, and nothing claims the copy exists.
    testfiles::write(dir.path() + "/blocked");
    QVERIFY(store.keepRecoveryCopy(dir.path() + "/blocked", when).isEmpty());
    QVERIFY(testfiles::lastText(status).startsWith("Unsaved instrument Lead could not be kept"));
}

QTEST_GUILESS_MAIN(TestUnsavedInstrument)
#include "tst_unsavedinstrument.moc"
