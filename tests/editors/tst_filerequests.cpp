// The file, instrument and folder requests with the browsers wired to them as the main window
// wires them: the questions before anything is replaced or removed, the names asked for, what
// could not be done said on the status line, and the browsers from the keyboard and the mouse.
#include "app/filerequests.h"
#include "core/korvanemaplibrary.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/korvanetreeview.h"
#include "dialogs/namedialog.h"
#include "tests/support/editortestkit.h"
#include "tests/support/windowtestenv.h"

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
        FileRequests *r = requests.get();
        KorvanePatchView *m = mapBrowser.get();
        connect(name.get(), &NameDialog::Send, r, &FileRequests::receiveName);
        connect(m, &KorvanePatchView::NewFolder, r, &FileRequests::newFolder);
        connect(m, &KorvanePatchView::NameFolder, r, &FileRequests::renameFolder);
        connect(m, &KorvanePatchView::DeleteFolder, r, &FileRequests::deleteFolder);
        connect(m, &KorvanePatchView::NewState, r, &FileRequests::newMap);
        connect(r, &FileRequests::statusMessage, this, [this](QString m) { lastStatus = m; });
        connect(r, &FileRequests::mapNameChanged, this, [this](QString m) { lastMapName = m; });
        for (const char *file : {"maps/Live.kvs", "maps/Sets/Song.kvs", "sounds/Flute.kvi",
                                 "sounds/Keys/Piano.kvi", "sounds/Keys/Organ.kvi"})
            QVERIFY(write(dataPath + "/" + file));
        requests->updateDirectories();
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
    void mapSaveAsksBeforeReplacing()
    {
        const QString live = maps() + "/Live.kvs";
        write(live, "old bytes");
        // Saving under an existing name asks (Return takes the default: No); a new name does not.
        const struct
        {
            QMessageBox::StandardButton answer;
            QString name;
            int boxes;
            bool kept;
        } saves[] = {{QMessageBox::NoButton, "Live", 1, true},
                     {QMessageBox::Yes, "Live", 1, false},
                     {QMessageBox::Yes, "Gig", 0, false}};
        for (const auto &save : saves) {
            BoxAnswerer box(save.answer);
            requests->newMap(maps());
            QCOMPARE(asked(), QString("0|Save mapping as:maps|User mapping"));
            answerName(save.name);
            QCOMPARE(box.texts.size(), save.boxes);
            if (save.boxes) {
                QCOMPARE(box.texts, QStringList{"Patch Live.kvs will be overwritten."});
                QCOMPARE(box.informative, QStringList{"Are you sure to proceed?"});
                QCOMPARE(box.defaults.value(0), QMessageBox::No);
            }
            QCOMPARE(read(live) == "old bytes", save.kept);
            if (!save.kept)
                QCOMPARE(lastMapName.section('.', 0, 0), save.name);
        }
        QVERIFY(mapBrowser->names().contains("Gig"));

        // A rename: the label reads the hub's map name, which a rename of the file keeps.
        requests->renameMap(live);
        QCOMPARE(asked(), QString("1|Renaming Live|Live"));
        answerName("Stage");
        QVERIFY(QFileInfo::exists(maps() + "/Stage.kvs") && !QFileInfo::exists(live));
        QCOMPARE(lastMapName.section('.', 0, 0), hub->GetMapName().section('.', 0, 0));
        QVERIFY(mapBrowser->names().contains("Stage") && !mapBrowser->names().contains("Live"));
    }
    void flushAndSaveAfterFlush()
    {
        // Nothing changed: the samples go at once. After a change, the question comes (No by
        // default); No keeps everything, Yes flushes.
        const QString question =
            "Removing all currently loaded samples! The instrument can be reloaded if it's saved.";
        const std::pair<bool, QMessageBox::StandardButton> flushes[] = {
            {false, QMessageBox::Yes}, {true, QMessageBox::NoButton}, {true, QMessageBox::Yes}};
        for (const auto &[changed, answer] : flushes) {
            if (changed)
                requests->markUnsaved();
            BoxAnswerer box(answer);
            requests->flushAll();
            QCOMPARE(box.texts, changed ? QStringList{question} : QStringList());
            QCOMPARE(requests->isNewSoundPending(), answer == QMessageBox::Yes && changed);
        }
        // A save now names a new instrument instead of overwriting the last one.
        BoxAnswerer yes(QMessageBox::Yes);
        requests->saveCurrentSound();
        QCOMPARE(asked(), QString("2|Save Instrument as:|User instrument"));
        // The editor's Save As proposes the current name.
        requests->soundLoaded();
        requests->openSoundSaveAs(false);
        QCOMPARE(child<QLineEdit>(name.get(), "lineEdit")->text(),
                 QFileInfo(hub->GetSoundName()).completeBaseName());
    }
    void saveAsRenameAndDeleteInstruments()
    {
        // From the editor into the sounds folder; from the browser into the folder that asked.
        requests->flushAll();
        requests->openSoundSaveAs(false);
        answerName("My Keys");
        QVERIFY(QFileInfo::exists(sounds() + "/My Keys.kvi"));
        QVERIFY(!requests->isUnsaved());
        QCOMPARE(requests->currentSound(), QStringLiteral("My Keys"));
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

        // Rename keeps the bytes, the extension (written in lower case) and the folder.
        write(sounds() + "/Pads/a.b.KVI", "ab");
        requests->renameSound(sounds() + "/Pads/a.b.KVI");
        answerName("c.d");
        QCOMPARE(read(sounds() + "/Pads/c.d.kvi"), QByteArray("ab"));
        QVERIFY(!QFileInfo::exists(sounds() + "/Pads/a.b.KVI"));

        // Delete asks; No (the default) keeps the file.
        for (auto answer : {QMessageBox::NoButton, QMessageBox::Yes}) {
            BoxAnswerer box(answer);
            requests->deleteSound(sounds() + "/Pads/c.d.kvi");
            QCOMPARE(box.texts, QStringList{"Instrument c.d will be deleted."});
            QCOMPARE(QFileInfo::exists(sounds() + "/Pads/c.d.kvi"), answer != QMessageBox::Yes);
        }
    }
    void refusedNamesAndFailuresAreReported()
    {
        // Every request checks the typed name first: none of these leaves the folder.
        const QString outside = QFileInfo(dataPath).path();
        const auto before = testfiles::snapshot(outside);
        for (const char *text : {" ", ".", "..", "../evil", "a/b", "..\\evil", "x\\y", " .. "}) {
            requests->newFolder(sounds() + "/");
            lastStatus.clear();
            requests->receiveName(FileRequests::CreateFolder, text);
            QVERIFY2(lastStatus.contains("cannot be used as a name"), text);
        }
        QCOMPARE(testfiles::snapshot(outside), before);

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
        requests->renameFolder(maps() + "/");
        QVERIFY(lastStatus.contains("top folder cannot be renamed"));
    }
    void enterAndDoubleClickLoad_data()
    {
        QTest::addColumn<bool>("maps");
        QTest::addColumn<bool>("enter");
        QTest::addColumn<QString>("file");
        QTest::newRow("map enter") << true << true << "maps/Sets/Song.kvs";
        QTest::newRow("sound double-click") << false << false << "sounds/Flute.kvi";
    }
    void enterAndDoubleClickLoad()
    {
        QFETCH(bool, maps);
        QFETCH(bool, enter);
        QFETCH(QString, file);
        const QString path = dataPath + "/" + file;
        QDialog *dialog = maps ? static_cast<QDialog *>(mapBrowser.get()) : soundBrowser.get();
        KorvaneTreeView *tree = maps ? mapBrowser->list() : soundBrowser->tree();
        QSignalSpy load(dialog, maps ? SIGNAL(LoadState(QString)) : SIGNAL(LoadSound(QString)));
        QSignalSpy rename(dialog,
                          maps ? SIGNAL(RenameState(QString)) : SIGNAL(RenameSound(QString)));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const QModelIndex index = find(tree, path);
        QVERIFY(index.isValid());
        if (enter) {
            tree->setCurrentIndex(index);
            QTest::keyClick(tree, Qt::Key_Return);
        } else {
            const QPoint at = tree->visualRect(index).center();
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        }
        QCOMPARE(load.count(), 1);
        QCOMPARE(QFileInfo(load.last().at(0).toString()).canonicalFilePath(),
                 QFileInfo(path).canonicalFilePath());
        QCOMPARE(rename.count(), 0); // Enter did not press a button as well
        QVERIFY(!dialog->isVisible());
    }
    void arrowKeysSelect()
    {
        // Map browser: the rows are Sets, Song (inside it), Live.
        mapBrowser->show();
        KorvaneTreeView *tree = mapBrowser->list();
        tree->setCurrentIndex(find(tree, maps() + "/Sets"));
        QTest::keyClick(tree, Qt::Key_Down);
        QVERIFY(mapBrowser->hasSelection());
        QCOMPARE(mapBrowser->selectedPath(), maps() + "/Sets/Song.kvs");
        QTest::keyClick(tree, Qt::Key_Up);
        QVERIFY(!mapBrowser->hasSelection());
        QCOMPARE(mapBrowser->selection().chosenFolder(), maps() + "/Sets");

        // Sound browser: a folder reached by the keys fills the combo box.
        soundBrowser->show();
        tree = soundBrowser->tree();
        tree->setCurrentIndex(find(tree, sounds() + "/Keys/Organ.kvi"));
        QTest::keyClick(tree, Qt::Key_Left); // to the folder holding it
        QCOMPARE(QFileInfo(soundBrowser->selectedFolder()).fileName(), QString("Keys"));
        QCOMPARE(soundBrowser->comboEntries(), (QStringList{"Organ.kvi", "Piano.kvi"}));
    }
    void mapSubFolders()
    {
        // New Folder with nothing selected makes a folder in the maps folder, shown at once.
        // Dotted names stay whole for folders.
        press(mapBrowser.get(), "newFolderButton");
        QCOMPARE(asked().section('|', 0, 1), QString("4|New folder into:maps"));
        answerName("1.2");
        QVERIFY(QFileInfo(maps() + "/1.2").isDir());
        QVERIFY(mapBrowser->names().contains("1.2"));

        // Name Folder and Delete Folder act on the selected folder (reached by the keys, down
        // from it and back); the maps folder stays.
        mapBrowser->show();
        auto selectFolder = [&](const QString &folder) {
            mapBrowser->list()->setCurrentIndex(find(mapBrowser->list(), maps() + folder));
            QTest::keyClick(mapBrowser->list(), Qt::Key_Down);
            QTest::keyClick(mapBrowser->list(), Qt::Key_Up);
        };
        write(maps() + "/1.2/Inside.kvs", "x");
        selectFolder("/1.2");
        press(mapBrowser.get(), "nameFolderButton");
        QCOMPARE(asked().section('|', 0, 1), QString("5|Renaming folder 1.2"));
        answerName("Live.set");
        QCOMPARE(read(maps() + "/Live.set/Inside.kvs"), QByteArray("x"));
        selectFolder("/Live.set");
        {
            BoxAnswerer yes(QMessageBox::Yes);
            press(mapBrowser.get(), "deleteFolderButton");
            QCOMPARE(yes.texts, QStringList{"Folder and all it's contents will be deleted."});
        }
        QVERIFY(!QFileInfo::exists(maps() + "/Live.set"));
        QVERIFY(!mapBrowser->names().contains("Live.set"));
        press(mapBrowser.get(), "nameFolderButton");
        QVERIFY(!name->isVisible());

        // Save with a sub-folder selected saves there, and the device's map is matched with it.
        mapBrowser->list()->setCurrentIndex(find(mapBrowser->list(), maps() + "/Sets/Song.kvs"));
        QTest::keyClick(mapBrowser->list(), Qt::Key_Up);
        mapBrowser->Save();
        answerName("Encore");
        QVERIFY(QFileInfo::exists(maps() + "/Sets/Encore.kvs"));
        KorvaneMapLibrary library(dataPath, hub->GetMapVersion());
        QCOMPARE(library.match(hub->GetState().nodes).matched, QString("Encore"));
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
    // The index of path in the browser's tree, once the tree shows it.
    QModelIndex find(QAbstractItemView *tree, const QString &path)
    {
        if (tree == soundBrowser->tree()) {
            const QModelIndex index = soundBrowser->fileModel()->index(path);
            soundBrowser->tree()->expand(index.parent());
            [&] { QTRY_VERIFY(tree->visualRect(index).isValid()); }();
            return index;
        }
        QAbstractItemModel *m = tree->model();
        return m
            ->match(m->index(0, 0), Qt::UserRole, path, 1, Qt::MatchExactly | Qt::MatchRecursive)
            .value(0);
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
