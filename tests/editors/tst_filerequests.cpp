// The file, instrument and folder requests on their own: the questions before anything is
// replaced or removed, the names asked for, and what could not be done said on the status line.
#include "app/filerequests.h"
#include "audio/instrumentfile.h"
#include "core/korvanecore.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowtestenv.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// Every path below root, to show that nothing else was written.
QStringList tree(const QString &root)
{
    QStringList all;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        all << it.next();
    all.sort();
    return all;
}

} // namespace

class TestFileRequests : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void mapOverwriteAsksAndNoKeeps();
    void renameMapLiveToStage();
    void flushAndSaveAfterFlush();
    void saveAsAndRenameInstruments();
    void renameInstrumentKeepsKvi();
    void deleteInstrument();
    void folderNames();
    void refusedNames();
    void failuresAreReported();

private:
    // Types text into the name dialog and presses OK, as the user does.
    void answerName(const QString &text);
    QString sounds() const { return dataPath + "/sounds"; }
    QString maps() const { return dataPath + "/maps"; }

    std::unique_ptr<HubTestEnv> env;
    std::unique_ptr<KorvaneCore> hub;
    std::unique_ptr<NameDialog> name;
    std::unique_ptr<KorvanePatchView> mapBrowser;
    std::unique_ptr<KorvaneSoundView> soundBrowser;
    std::unique_ptr<FileRequests> requests;
    QString dataPath;
    QString lastStatus;
    QString lastMapName;
};

void TestFileRequests::init()
{
    env = std::make_unique<HubTestEnv>();
    hub = std::make_unique<KorvaneCore>();
    dataPath = hub->GetDataPath();
    name = std::make_unique<NameDialog>();
    mapBrowser = std::make_unique<KorvanePatchView>();
    soundBrowser = std::make_unique<KorvaneSoundView>();
    requests = std::make_unique<FileRequests>(hub.get(), name.get(), mapBrowser.get(),
                                              soundBrowser.get(), dataPath, nullptr);
    requests->updateDirectories();
    connect(name.get(), &NameDialog::Send, requests.get(), &FileRequests::receiveName);
    connect(requests.get(), &FileRequests::statusMessage, this,
            [this](const QString &m) { lastStatus = m; });
    connect(requests.get(), &FileRequests::mapNameChanged, this,
            [this](const QString &m) { lastMapName = m; });
}

void TestFileRequests::cleanup()
{
    requests.reset();
    soundBrowser.reset();
    mapBrowser.reset();
    name.reset();
    hub->ShutDown();
    hub.reset();
    env.reset();
    lastStatus.clear();
    lastMapName.clear();
}

void TestFileRequests::answerName(const QString &text)
{
    QVERIFY(name->isVisible());
    name->findChild<QLineEdit *>("lineEdit")->setText(text);
    name->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
}

void TestFileRequests::mapOverwriteAsksAndNoKeeps()
{
    const QString live = maps() + "/Live.kvs";
    testfiles::write(live, "old bytes");
    {
        BoxAnswerer no(QMessageBox::NoButton); // Return takes the default: No
        requests->saveMap(live);
        QCOMPARE(no.texts, QStringList{"Patch Live.kvs will be overwritten."});
        QCOMPARE(no.informative, QStringList{"Are you sure to proceed?"});
        QCOMPARE(no.defaults.value(0), QMessageBox::No);
    }
    QCOMPARE(testfiles::read(live), QByteArray("old bytes"));

    // Saving a new map under the existing name asks the same question.
    requests->newMap(maps());
    QCOMPARE(name->getMode(), 0);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(),
             QStringLiteral("Save mapping as:maps"));
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(), QStringLiteral("User mapping"));
    {
        BoxAnswerer no(QMessageBox::No);
        answerName("Live");
        QCOMPARE(no.texts.size(), 1);
    }
    QCOMPARE(testfiles::read(live), QByteArray("old bytes"));
    {
        BoxAnswerer yes(QMessageBox::Yes);
        requests->newMap(maps());
        answerName("Live");
        QCOMPARE(yes.texts.size(), 1);
    }
    QVERIFY(testfiles::read(live) != QByteArray("old bytes"));
    QCOMPARE(lastMapName.section('.', 0, 0), QStringLiteral("Live"));

    // A new name saves at once, without a question.
    {
        BoxAnswerer none(QMessageBox::Yes);
        requests->newMap(maps());
        answerName("Gig");
        QVERIFY(none.texts.isEmpty());
    }
    QVERIFY(QFileInfo::exists(maps() + "/Gig.kvs"));
    QVERIFY(mapBrowser->names().contains("Gig"));
}

void TestFileRequests::renameMapLiveToStage()
{
    QVERIFY(hub->SaveState(maps() + "/Live.kvs"));
    mapBrowser->UpdateDirectory(dataPath);
    requests->renameMap(maps() + "/Live.kvs");
    QCOMPARE(name->getMode(), 1);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(), QStringLiteral("Renaming Live"));
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(), QStringLiteral("Live"));
    answerName("Stage");
    QVERIFY(QFileInfo::exists(maps() + "/Stage.kvs"));
    QVERIFY(!QFileInfo::exists(maps() + "/Live.kvs"));
    // The label reads the hub's map name, which a rename of the file does not change.
    QCOMPARE(lastMapName.section('.', 0, 0), hub->GetMapName().section('.', 0, 0));
    QVERIFY(mapBrowser->names().contains("Stage"));
    QVERIFY(!mapBrowser->names().contains("Live"));
}

void TestFileRequests::flushAndSaveAfterFlush()
{
    // Nothing changed: the samples go at once.
    QVERIFY(!requests->isUnsaved());
    {
        BoxAnswerer none(QMessageBox::Yes);
        requests->flushAll();
        QVERIFY(none.texts.isEmpty());
    }
    QVERIFY(!requests->isNewSoundPending());

    // After a change, the question comes; No keeps everything.
    requests->markUnsaved();
    QVERIFY(requests->isUnsaved());
    {
        BoxAnswerer no(QMessageBox::NoButton);
        requests->flushAll();
        QCOMPARE(no.texts, QStringList{"Removing all currently loaded samples! The instrument "
                                       "can be reloaded if it's saved."});
        QCOMPARE(no.defaults.value(0), QMessageBox::No);
    }
    QVERIFY(!requests->isNewSoundPending());
    {
        BoxAnswerer yes(QMessageBox::Yes);
        requests->flushAll();
        QCOMPARE(yes.texts.size(), 1);
    }
    QVERIFY(requests->isNewSoundPending());

    // A save now names a new instrument instead of overwriting the last one.
    {
        BoxAnswerer none(QMessageBox::Yes);
        requests->saveCurrentSound();
        QVERIFY(none.texts.isEmpty());
    }
    QCOMPARE(name->getMode(), 2);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(),
             QStringLiteral("Save Instrument as:"));
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(), QStringLiteral("User instrument"));

    // The editor's Save As proposes the current name.
    requests->soundLoaded();
    requests->openSoundSaveAs(false);
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(),
             QFileInfo(hub->GetSoundName()).completeBaseName());
}

void TestFileRequests::saveAsAndRenameInstruments()
{
    QTemporaryDir probe;
    if (!writeInstrumentFile(probe.filePath("p.kvi"), KorvaneInstrument(), nullptr))
        QSKIP("instrument files cannot be written in this build yet");

    // From the editor: into the sounds folder.
    requests->flushAll();
    requests->openSoundSaveAs(false);
    answerName("My Keys");
    QVERIFY(QFileInfo::exists(sounds() + "/My Keys.kvi"));
    QVERIFY(!requests->isUnsaved());
    QCOMPARE(requests->currentSound(), QStringLiteral("My Keys"));

    // From the browser: into the folder that asked.
    QDir().mkpath(sounds() + "/Pads");
    requests->newSound(sounds() + "/Pads");
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(), QStringLiteral("Save sound as:"));
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(), QStringLiteral("User sound"));
    answerName("Warm");
    QVERIFY(QFileInfo::exists(sounds() + "/Pads/Warm.kvi"));

    // Onto an existing name only after the question.
    testfiles::write(sounds() + "/Pads/Warm.kvi", "keep me");
    {
        BoxAnswerer no(QMessageBox::No);
        requests->newSound(sounds() + "/Pads");
        answerName("Warm");
        QCOMPARE(no.texts, QStringList{"Instrument Warm will be overwritten."});
    }
    QCOMPARE(testfiles::read(sounds() + "/Pads/Warm.kvi"), QByteArray("keep me"));
}

void TestFileRequests::renameInstrumentKeepsKvi()
{
    testfiles::write(sounds() + "/My Keys.kvi", "keys");
    requests->soundLoaded();
    const QString loaded = requests->currentSound();
    // Rename keeps the extension and the folder.
    requests->renameSound(sounds() + "/My Keys.kvi");
    QCOMPARE(name->getMode(), 3);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(), QStringLiteral("Renaming My Keys"));
    answerName("Stage Keys");
    QVERIFY(QFileInfo::exists(sounds() + "/Stage Keys.kvi"));
    QVERIFY(!QFileInfo::exists(sounds() + "/My Keys.kvi"));
    QCOMPARE(testfiles::read(sounds() + "/Stage Keys.kvi"), QByteArray("keys"));
    QCOMPARE(requests->currentSound(), loaded); // another instrument is loaded

    QDir().mkpath(sounds() + "/Pads");
    testfiles::write(sounds() + "/Pads/a.b.KVI", "ab");
    requests->renameSound(sounds() + "/Pads/a.b.KVI");
    answerName("c.d");
    QCOMPARE(testfiles::read(sounds() + "/Pads/c.d.kvi"), QByteArray("ab"));
}

void TestFileRequests::deleteInstrument()
{
    const QString file = sounds() + "/Old.kvi";
    testfiles::write(file, "x");
    {
        BoxAnswerer no(QMessageBox::NoButton);
        requests->deleteSound(file);
        QCOMPARE(no.texts, QStringList{"Instrument Old will be deleted."});
    }
    QVERIFY(QFileInfo::exists(file));
    {
        BoxAnswerer yes(QMessageBox::Yes);
        requests->deleteSound(file);
    }
    QVERIFY(!QFileInfo::exists(file));
}

void TestFileRequests::folderNames()
{
    // Dotted names stay whole for folders.
    requests->newFolder(sounds() + "/");
    QCOMPARE(name->getMode(), 4);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(),
             QStringLiteral("New folder into:sounds"));
    answerName("v1.2");
    QVERIFY(QFileInfo(sounds() + "/v1.2").isDir());

    testfiles::write(sounds() + "/v1.2/Inside.kvi", "x");
    requests->renameFolder(sounds() + "/v1.2");
    QCOMPARE(name->getMode(), 5);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(),
             QStringLiteral("Renaming folder v1.2"));
    answerName("Live.set");
    QVERIFY(QFileInfo(sounds() + "/Live.set").isDir());
    QCOMPARE(testfiles::read(sounds() + "/Live.set/Inside.kvi"), QByteArray("x"));

    {
        BoxAnswerer yes(QMessageBox::Yes);
        requests->deleteFolder(sounds() + "/Live.set");
        QCOMPARE(yes.texts, QStringList{"Folder and all it's contents will be deleted."});
    }
    QVERIFY(!QFileInfo::exists(sounds() + "/Live.set"));
}

void TestFileRequests::refusedNames()
{
    const QString outside = QFileInfo(dataPath).path();
    const QStringList before = tree(outside);
    const QStringList bad = {" ", ".", "..", "../evil", "a/b", "..\\evil", "x\\y", " .. "};
    for (int mode = 0; mode <= 5; ++mode) {
        for (const QString &text : bad) {
            switch (mode) {
            case 0:
                requests->newMap(maps() + "/");
                break;
            case 1:
                requests->renameMap(maps() + "/Defaults.kvs");
                break;
            case 2:
                requests->openSoundSaveAs(true);
                break;
            case 3:
                requests->renameSound(sounds() + "/Flute.kvi");
                break;
            case 4:
                requests->newFolder(sounds() + "/");
                break;
            default:
                requests->renameFolder(maps() + "/");
                break;
            }
            lastStatus.clear();
            requests->receiveName(mode, text);
            QVERIFY2(lastStatus.contains("cannot be used as a name"), qPrintable(text));
        }
    }
    QCOMPARE(tree(outside), before);
}

void TestFileRequests::failuresAreReported()
{
    // A map rename onto an existing name keeps both files.
    testfiles::write(maps() + "/A.kvs", "a");
    testfiles::write(maps() + "/B.kvs", "b");
    requests->renameMap(maps() + "/A.kvs");
    answerName("B");
    QCOMPARE(testfiles::read(maps() + "/A.kvs"), QByteArray("a"));
    QCOMPARE(testfiles::read(maps() + "/B.kvs"), QByteArray("b"));
    QVERIFY(lastStatus.contains("already exists"));

    // A delete that finds nothing to delete says so.
    lastStatus.clear();
    {
        BoxAnswerer yes(QMessageBox::Yes);
        requests->deleteMap(maps() + "/Missing.kvs");
    }
    QVERIFY(lastStatus.contains("could not be deleted"));

    // Folder rename onto an existing folder, and the top folders themselves.
    QDir().mkpath(sounds() + "/One");
    QDir().mkpath(sounds() + "/Two");
    requests->renameFolder(sounds() + "/One");
    answerName("Two");
    QVERIFY(QFileInfo(sounds() + "/One").isDir());
    QVERIFY(lastStatus.contains("already exists"));
    lastStatus.clear();
    {
        BoxAnswerer yes(QMessageBox::Yes);
        requests->deleteFolder(sounds() + "/");
        QVERIFY(yes.texts.isEmpty());
    }
    QVERIFY(QFileInfo::exists(sounds() + "/Flute.kvi") || QFileInfo(sounds()).isDir());
    QVERIFY(lastStatus.contains("top folder"));

    // An instrument rename onto an existing name.
    testfiles::write(sounds() + "/X.kvi", "x");
    testfiles::write(sounds() + "/Y.kvi", "y");
    requests->renameSound(sounds() + "/X.kvi");
    answerName("Y");
    QCOMPARE(testfiles::read(sounds() + "/X.kvi"), QByteArray("x"));
    QCOMPARE(testfiles::read(sounds() + "/Y.kvi"), QByteArray("y"));
    QVERIFY(lastStatus.contains("already exists"));
}

QTEST_MAIN(TestFileRequests)
#include "tst_filerequests.moc"
