// Instruments on their own: the presets, and saving and loading through the audio engine.
// Import and export are followed through the window in the window tests.
#include "audio/korvaneaudioengine.h"
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
        QDir().mkpath(dir.path() + "/sounds");
        const QString mine = dir.path() + "/sounds/Flute.kvi";
        testfiles::write(mine, "my edited flute");
        KorvaneInstrumentStore::copyPresets(dir.path());
        QCOMPARE(testfiles::read(mine), QByteArray("my edited flute"));
        if (!QFile::exists(":/sounds/presets/Marimba.kvi"))
            QSKIP("this build carries no preset instruments");
        const QString marimba = dir.path() + "/sounds/Marimba.kvi";
        QVERIFY(QFile::permissions(marimba) & QFileDevice::WriteOwner);
        QVERIFY(QFile::remove(marimba));
        KorvaneInstrumentStore::copyPresets(dir.path()); // a deleted preset comes back
        QVERIFY(QFile::exists(marimba));
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

        store.remove(path);
        QVERIFY(!QFile::exists(path));
    }

private:
    QTemporaryDir dir;
};

VARNO_TEST_CLASS(TestInstrumentStore)
#include "tst_instrumentstore.moc"
