// The file, instrument and folder requests on their own: the questions before anything is
// replaced or removed, the names asked for, and what could not be done said on the status line.
#include "app/filerequests.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowtestenv.h"

#include <QDialogButtonBox>
#include <QLineEdit>

#include <functional>

using testfiles::read;
using testfiles::write;

class TestFileRequests : public QObject
{
    Q_OBJECT
private slots:
    void init()
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
    void cleanup()
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
    void mapOverwriteAsksAndNoKeeps()
    {
        const QString live = maps() + "/Live.kvs";
        write(live, "old bytes");
        {
            BoxAnswerer no(QMessageBox::NoButton); // Return takes the default: No
            requests->saveMap(live);
            QCOMPARE(no.texts, QStringList{"Patch Live.kvs will be overwritten."});
            QCOMPARE(no.informative, QStringList{"Are you sure to proceed?"});
            QCOMPARE(no.defaults.value(0), QMessageBox::No);
        }
        QCOMPARE(read(live), QByteArray("old bytes"));

        // Saving a new map under the existing name asks the same question; a new name does not.
        const struct
        {
            QMessageBox::StandardButton answer;
            QString name;
            int boxes;
            bool kept;
        } saves[] = {{QMessageBox::No, "Live", 1, true},
                     {QMessageBox::Yes, "Live", 1, false},
                     {QMessageBox::Yes, "Gig", 0, false}};
        for (const auto &save : saves) {
            BoxAnswerer box(save.answer);
            requests->newMap(maps());
            QCOMPARE(asked(), QString("0|Save mapping as:maps|User mapping"));
            answerName(save.name);
            QCOMPARE(box.texts.size(), save.boxes);
            QCOMPARE(read(live) == "old bytes", save.kept);
            if (!save.kept)
                QCOMPARE(lastMapName.section('.', 0, 0), save.name);
        }
        QVERIFY(QFileInfo::exists(maps() + "/Gig.kvs"));
        QVERIFY(mapBrowser->names().contains("Gig"));
    }
    void renameMapLiveToStage()
    {
        QVERIFY(hub->SaveState(maps() + "/Live.kvs"));
        mapBrowser->UpdateDirectory(dataPath);
        requests->renameMap(maps() + "/Live.kvs");
        QCOMPARE(asked(), QString("1|Renaming Live|Live"));
        answerName("Stage");
        QVERIFY(QFileInfo::exists(maps() + "/Stage.kvs"));
        QVERIFY(!QFileInfo::exists(maps() + "/Live.kvs"));
        // The label reads the hub's map name, which a rename of the file does not change.
        QCOMPARE(lastMapName.section('.', 0, 0), hub->GetMapName().section('.', 0, 0));
        QVERIFY(mapBrowser->names().contains("Stage"));
        QVERIFY(!mapBrowser->names().contains("Live"));
    }
    void flushAndSaveAfterFlush()
    {
        // Nothing changed: the samples go at once. After a change, the question comes (No by
        // default); No keeps everything, Yes flushes.
        const QString question =
            "Removing all currently loaded samples! The instrument can be reloaded if it's saved.";
        const struct
        {
            bool changed;
            QMessageBox::StandardButton answer;
        } flushes[] = {
            {false, QMessageBox::Yes}, {true, QMessageBox::NoButton}, {true, QMessageBox::Yes}};
        QVERIFY(!requests->isUnsaved());
        for (const auto &flush : flushes) {
            if (flush.changed)
                requests->markUnsaved();
            BoxAnswerer box(flush.answer);
            requests->flushAll();
            QCOMPARE(box.texts, flush.changed ? QStringList{question} : QStringList());
            QCOMPARE(box.defaults, flush.changed
                                       ? QList<QMessageBox::StandardButton>{QMessageBox::No}
                                       : QList<QMessageBox::StandardButton>());
            QCOMPARE(requests->isNewSoundPending(),
                     flush.answer == QMessageBox::Yes && flush.changed);
        }
        // A save now names a new instrument instead of overwriting the last one.
        {
            BoxAnswerer none(QMessageBox::Yes);
            requests->saveCurrentSound();
            QVERIFY(none.texts.isEmpty());
        }
        QCOMPARE(asked(), QString("2|Save Instrument as:|User instrument"));
        // The editor's Save As proposes the current name.
        requests->soundLoaded();
        requests->openSoundSaveAs(false);
        QCOMPARE(child<QLineEdit>(name.get(), "lineEdit")->text(),
                 QFileInfo(hub->GetSoundName()).completeBaseName());
    }
    void saveAsAndRenameInstruments()
    {
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
        QCOMPARE(asked(), QString("2|Save sound as:|User sound"));
        answerName("Warm");
        QVERIFY(QFileInfo::exists(sounds() + "/Pads/Warm.kvi"));

        // Onto an existing name only after the question.
        write(sounds() + "/Pads/Warm.kvi", "keep me");
        {
            BoxAnswerer no(QMessageBox::No);
            requests->newSound(sounds() + "/Pads");
            answerName("Warm");
            QCOMPARE(no.texts, QStringList{"Instrument Warm will be overwritten."});
        }
        QCOMPARE(read(sounds() + "/Pads/Warm.kvi"), QByteArray("keep me"));

        // Rename keeps the bytes, the extension (written in lower case) and the folder; the
        // instrument loaded stays as it is.
        requests->soundLoaded();
        const QString loaded = requests->currentSound();
        const QByteArray keys = read(sounds() + "/My Keys.kvi");
        requests->renameSound(sounds() + "/My Keys.kvi");
        QCOMPARE(asked().section('|', 0, 1), QString("3|Renaming My Keys"));
        answerName("Stage Keys");
        QCOMPARE(read(sounds() + "/Stage Keys.kvi"), keys);
        QVERIFY(!QFileInfo::exists(sounds() + "/My Keys.kvi"));
        QCOMPARE(requests->currentSound(), loaded);
        write(sounds() + "/Pads/a.b.KVI", "ab");
        requests->renameSound(sounds() + "/Pads/a.b.KVI");
        answerName("c.d");
        QCOMPARE(read(sounds() + "/Pads/c.d.kvi"), QByteArray("ab"));
    }
    void deleteInstrument()
    {
        const QString file = sounds() + "/Old.kvi";
        write(file, "x");
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
    void folderNames()
    {
        // Dotted names stay whole for folders.
        requests->newFolder(sounds() + "/");
        QCOMPARE(asked().section('|', 0, 1), QString("4|New folder into:sounds"));
        answerName("v1.2");
        QVERIFY(QFileInfo(sounds() + "/v1.2").isDir());

        write(sounds() + "/v1.2/Inside.kvi", "x");
        requests->renameFolder(sounds() + "/v1.2");
        QCOMPARE(asked().section('|', 0, 1), QString("5|Renaming folder v1.2"));
        answerName("Live.set");
        QCOMPARE(read(sounds() + "/Live.set/Inside.kvi"), QByteArray("x"));
        {
            BoxAnswerer yes(QMessageBox::Yes);
            requests->deleteFolder(sounds() + "/Live.set");
            QCOMPARE(yes.texts, QStringList{"Folder and all it's contents will be deleted."});
        }
        QVERIFY(!QFileInfo::exists(sounds() + "/Live.set"));
    }
    void refusedNames()
    {
        const QString outside = QFileInfo(dataPath).path();
        const auto before = testfiles::snapshot(outside);
        const std::function<void()> asks[] = {
            [&] { requests->newMap(maps() + "/"); },
            [&] { requests->renameMap(maps() + "/Defaults.kvs"); },
            [&] { requests->openSoundSaveAs(true); },
            [&] { requests->renameSound(sounds() + "/Flute.kvi"); },
            [&] { requests->newFolder(sounds() + "/"); },
            [&] { requests->renameFolder(maps() + "/"); }};
        for (int mode = 0; mode <= 5; ++mode) {
            for (const char *text :
                 {" ", ".", "..", "../evil", "a/b", "..\\evil", "x\\y", " .. "}) {
                asks[mode]();
                lastStatus.clear();
                requests->receiveName(mode, text);
                QVERIFY2(lastStatus.contains("cannot be used as a name"), text);
            }
        }
        QCOMPARE(testfiles::snapshot(outside), before);
    }
    void failuresAreReported()
    {
        // A rename onto an existing name keeps both: maps, instruments and folders.
        const struct
        {
            void (FileRequests::*ask)(const QString &);
            QString from, to, inside;
        } renames[] = {{&FileRequests::renameMap, maps() + "/A.kvs", maps() + "/B.kvs", ""},
                       {&FileRequests::renameSound, sounds() + "/X.kvi", sounds() + "/Y.kvi", ""},
                       {&FileRequests::renameFolder, sounds() + "/One", sounds() + "/Two", "/f"}};
        for (const auto &r : renames) {
            write(r.from + r.inside, "a");
            write(r.to + r.inside, "b");
            lastStatus.clear();
            (requests.get()->*r.ask)(r.from);
            answerName(QFileInfo(r.to).completeBaseName());
            QCOMPARE(read(r.from + r.inside), QByteArray("a"));
            QCOMPARE(read(r.to + r.inside), QByteArray("b"));
            QVERIFY2(lastStatus.contains("already exists"), qPrintable(r.from));
        }

        // A delete that finds nothing to delete says so; the top folders are never deleted.
        BoxAnswerer yes(QMessageBox::Yes);
        requests->deleteMap(maps() + "/Missing.kvs");
        QVERIFY(lastStatus.contains("could not be deleted"));
        const int asked = yes.texts.size();
        requests->deleteFolder(sounds() + "/");
        QCOMPARE(yes.texts.size(), asked);
        QVERIFY(QFileInfo(sounds()).isDir());
        QVERIFY(lastStatus.contains("top folder"));
    }

private:
    // Types text into the name dialog and presses OK, as the user does.
    void answerName(const QString &text)
    {
        QVERIFY(name->isVisible());
        child<QLineEdit>(name.get(), "lineEdit")->setText(text);
        child<QDialogButtonBox>(name.get(), "buttonBox")->button(QDialogButtonBox::Ok)->click();
    }
    // The name dialog's request: "mode|label|proposed name".
    QString asked() const
    {
        return QString("%1|%2|%3")
            .arg(name->getMode())
            .arg(child<QLabel>(name.get(), "targetLabel")->text(),
                 child<QLineEdit>(name.get(), "lineEdit")->text());
    }
    QString sounds() const { return dataPath + "/sounds"; }
    QString maps() const { return dataPath + "/maps"; }

    std::unique_ptr<HubTestEnv> env;
    std::unique_ptr<KorvaneCore> hub;
    std::unique_ptr<NameDialog> name;
    std::unique_ptr<KorvanePatchView> mapBrowser;
    std::unique_ptr<KorvaneSoundView> soundBrowser;
    std::unique_ptr<FileRequests> requests;
    QString dataPath, lastStatus, lastMapName;
};

QTEST_MAIN(TestFileRequests)
#include "tst_filerequests.moc"
