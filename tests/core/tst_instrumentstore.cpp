// Instruments on their own: the presets, saving and loading through the audio engine, and the
// recovery copy. Import and export are followed through the window in the window tests.
#include "audio/instrumentfile.h"
#include "audio/korvaneaudioengine.h"
#include "core/instrumentreadahead.h"
#include "core/korvaneinstrumentstore.h"
#include "resources/resources.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
KorvaneInstrument twoSamples()
{
    KorvaneInstrument ins;
    for (int i = 0; i < 2; ++i) {
        SamplerSample s;
        s.name = QStringLiteral("Sample %1").arg(i);
        s.frames.assign(400, StereoFrame{0.25f, -0.25f});
        ins.samples.push_back(s);
    }
    ins.hasEnvelope = true;
    ins.envelope.attack = 37;
    return ins;
}
} // namespace

class TestInstrumentStore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        varnoInitResources();
        registerSamplerMetaTypes();
    }
    void presetsNeverOverwriteTheUsersCopy()
    {
        const QString mine = dir.path() + "/sounds/Flute.kvi";
        testfiles::write(mine, "my edited flute");
        KorvaneInstrumentStore::copyPresets(dir.path());
        QCOMPARE(testfiles::read(mine), QByteArray("my edited flute"));
        if (!QFile::exists(":/sounds/presets/Marimba.kvi"))
            QSKIP("this build carries no preset instruments");
        const QString marimba = dir.path() + "/sounds/Marimba.kvi";
        QVERIFY(QFile::permissions(marimba) & QFileDevice::WriteOwner); // copied, and writable
    }
    void saveLoadAndRefuse()
    {
        KorvaneAudioEngine audio;
        KorvaneInstrumentStore store(&audio);
        QSignalSpy status(&store, &KorvaneInstrumentStore::statusMessage);
        audio.loadInstrument(twoSamples());
        const QString path = dir.path() + "/Mine.kvi";
        QSignalSpy saved(&store, &KorvaneInstrumentStore::saved);
        QVERIFY(store.save(path));
        QCOMPARE(saved.count(), 1);
        QCOMPARE(testfiles::lastText(status), QStringLiteral("Saved with 2 samples"));
        QCOMPARE(store.soundName(), QStringLiteral("Mine.kvi"));

        audio.loadInstrument(KorvaneInstrument());
        QSignalSpy loaded(&store, &KorvaneInstrumentStore::loaded);
        QSignalSpy envelope(&store, &KorvaneInstrumentStore::envelopeParameters);
        QSignalSpy reverb(&store, &KorvaneInstrumentStore::reverbParameters);
        QSignalSpy view(&store, &KorvaneInstrumentStore::layerView);
        QSignalSpy scroll(&store, &KorvaneInstrumentStore::resetScroll);
        QSignalSpy name(&store, &KorvaneInstrumentStore::loadedSoundName);
        QVERIFY(store.load(path));
        QCOMPARE(audio.sampleCount(), 2);
        QCOMPARE(audio.sampleAt(1).name, QStringLiteral("Sample 1"));
        QCOMPARE(envelope.at(0).at(0).value<KorvaneEnvelope>().attack, 37);
        QCOMPARE(reverb.count(), 1); // saved with the engine's reverb
        QCOMPARE(loaded.count() + view.count() + scroll.count(), 3);
        QCOMPARE(testfiles::lastText(name), QStringLiteral("Mine"));
        QCOMPARE(testfiles::lastText(status), QStringLiteral("Instrument loaded with 2 samples"));

        // A damaged file or a folder that is not there changes nothing.
        testfiles::write(dir.path() + "/Bad.kvi", testfiles::read(path).left(30));
        QVERIFY(!store.load(dir.path() + "/Bad.kvi"));
        QVERIFY(testfiles::lastText(status).startsWith("Could not load instrument Bad.kvi"));
        QVERIFY(!store.save(dir.path() + "/missing/Other.kvi"));
        QVERIFY(testfiles::lastText(status).startsWith("Instrument was not saved: Other.kvi"));
        QCOMPARE(audio.sampleCount(), 2);
        QCOMPARE(store.soundName(), QStringLiteral("Mine.kvi"));
        QCOMPARE(loaded.count() + saved.count(), 2);

        // The recovery copy kept when the device loads another instrument never replaces a file.
        const QDateTime when(QDate(2026, 12, 6), QTime(17, 2));
        audio.deleteSample(0);
        const QString first = store.keepRecoveryCopy(dir.path() + "/kept", when);
        QCOMPARE(QFileInfo(first).fileName(),
                 QStringLiteral("Mine (recovered 2026-12-06 17-02).kvi"));
        const QByteArray firstBytes = testfiles::read(first);
        audio.deleteSample(0);
        const QString second = store.keepRecoveryCopy(dir.path() + "/kept", when);
        QCOMPARE(QFileInfo(second).fileName(),
                 QStringLiteral("Mine (recovered 2026-12-06 17-02 2).kvi"));
        QCOMPARE(testfiles::read(first), firstBytes);
        KorvaneInstrument kept;
        QVERIFY(readInstrumentFile(first, kept, nullptr));
        QCOMPARE(int(kept.samples.size()), 1);
        // A copy is not a save: the instrument keeps its own file and its mark.
        QCOMPARE(store.soundPath(), path);
        QVERIFY(store.isModified());
        // A folder that cannot be made is said, and nothing claims the copy exists.
        testfiles::write(dir.path() + "/blocked");
        QVERIFY(store.keepRecoveryCopy(dir.path() + "/blocked", when).isEmpty());
        QVERIFY(
            testfiles::lastText(status).startsWith("Unsaved instrument Mine could not be kept"));

        store.remove(path);
        QVERIFY(!QFile::exists(path));
    }

    // The start-up instrument is read on a worker after the preset copies; a file changed
    // after that read is read again, never played stale.
    void readAheadNeverGivesAStaleFile()
    {
        KorvaneAudioEngine audio;
        KorvaneInstrumentStore store(&audio);
        QSignalSpy status(&store, &KorvaneInstrumentStore::statusMessage);
        const QString path = dir.path() + "/Ahead.kvi";
        KorvaneInstrument one = twoSamples();
        one.samples.pop_back();
        for (const bool changed : {false, true}) {
            auto ahead = std::make_unique<InstrumentReadAhead>(
                [&] { QVERIFY(writeInstrumentFile(path, one, nullptr)); }, path);
            ahead->waitForFirstStep();
            QVERIFY(QFile::exists(path));
            ahead->wait();
            if (changed)
                QVERIFY(writeInstrumentFile(path, twoSamples(), nullptr));
            store.setReadAhead(std::move(ahead));
            QVERIFY(store.load(path));
            QCOMPARE(audio.sampleCount(), changed ? 2 : 1);
            QCOMPARE(testfiles::lastText(status),
                     QStringLiteral("Instrument loaded with %1 samples").arg(changed ? 2 : 1));
        }
    }

private:
    QTemporaryDir dir;
};

VARNO_TEST_CLASS(TestInstrumentStore)
#include "tst_instrumentstore.moc"
