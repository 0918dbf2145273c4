#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/korvanetreeview.h"
#include "tests/support/editortestkit.h"

using testfiles::lastText;
using testfiles::read;

namespace {
void clickRow(QAbstractItemView *list, int row)
{
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
}

// Clicks the tree row of path, which must be visible.
void clickTree(KorvaneSoundView &view, const QString &path)
{
    KorvaneTreeView *tree = view.tree();
    const QModelIndex index = view.fileModel()->index(path);
    QTRY_VERIFY(tree->visualRect(index).isValid());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                      tree->visualRect(index).center());
}

} // namespace

class TestBrowsers : public QObject
{
    Q_OBJECT
private slots:
    void init() { data = std::make_unique<QTemporaryDir>(); }
    void mapBrowser()
    {
        // The maps folder is made; with nothing selected the buttons send nothing.
        auto view = open<KorvanePatchView>();
        QVERIFY(QDir(maps()).exists());
        QSignalSpy load(view.get(), SIGNAL(LoadState(QString)));
        QSignalSpy rename(view.get(), SIGNAL(RenameState(QString)));
        QSignalSpy del(view.get(), SIGNAL(DeleteState(QString)));
        QSignalSpy fresh(view.get(), SIGNAL(NewState(QString)));
        for (const char *button : {"loadButton", "renameButton", "deleteButton"})
            press(view.get(), button);
        QCOMPARE(load.count() + rename.count() + del.count(), 0);
        QVERIFY(view->isVisible());

        // Each row loads its own file, whatever the case of the extension or the dots.
        write({"maps/a.kvs", "maps/a.b.kvs", "maps/X.KVS", "maps/notes.txt"});
        view->refresh();
        QStringList opened;
        for (int row = 0; row < 3; ++row) {
            view->show();
            clickRow(view->list(), row);
            press(view.get(), "loadButton");
            QVERIFY(!view->isVisible());
            opened << lastText(load);
        }
        QStringList sorted = opened;
        sorted.sort();
        QCOMPARE(sorted, (QStringList{maps() + "X.KVS", maps() + "a.b.kvs", maps() + "a.kvs"}));

        // Rename and delete send the selected row's file and clear the selection.
        view->show();
        clickRow(view->list(), 0);
        press(view.get(), "renameButton");
        QCOMPARE(lastText(rename), opened[0]);
        QVERIFY(!view->hasSelection());
        clickRow(view->list(), 1);
        press(view.get(), "deleteButton");
        press(view.get(), "deleteButton");
        QCOMPARE(QList<int>({rename.count(), del.count()}), QList<int>({1, 1}));
        QCOMPARE(lastText(del), opened[1]);
        view->Save();
        QCOMPARE(lastText(fresh), maps());
    }
    void soundBrowserFolderAndCombo()
    {
        write({"Stray.KVI=stray", "Flute.kvi=new flute", "sounds/Flute.kvi=old flute",
               "sounds/Marimba.KVI", "sounds/readme.txt"});
        auto view = std::make_unique<KorvaneSoundView>();
        QSignalSpy status(view.get(), SIGNAL(sendStatusMessage(QString)));
        QSignalSpy load(view.get(), SIGNAL(LoadSound(QString)));
        QSignalSpy newSound(view.get(), SIGNAL(NewSound(QString)));
        QSignalSpy newFolder(view.get(), SIGNAL(NewFolder(QString)));
        QSignalSpy save(view.get(), SIGNAL(SaveSound(QString)));
        view->UpdateDirectory(data->path());
        // Instruments beside the sounds folder move into it, unless the name is taken there:
        // then both files stay as they were, and it is said.
        QCOMPARE(read(sounds() + "Stray.KVI"), QByteArray("stray"));
        QVERIFY(!QFileInfo::exists(data->path() + "/Stray.KVI"));
        QCOMPARE(read(sounds() + "Flute.kvi"), QByteArray("old flute"));
        QCOMPARE(read(data->path() + "/Flute.kvi"), QByteArray("new flute"));
        QCOMPARE(status.count(), 1);
        QVERIFY(lastText(status).contains("Flute.kvi"));
        // Filling the combo box loads nothing.
        QCOMPARE(view->comboEntries(), (QStringList{"Flute.kvi", "Marimba.KVI", "Stray.KVI"}));

        // Nothing selected: Save and New Folder mean the root folder.
        for (const char *button :
             {"saveButton", "newFolderButton", "renameButton", "nameFolderButton"})
            press(view.get(), button);
        QCOMPARE(QList<int>({save.count(), newSound.count(), load.count()}), QList<int>({0, 1, 0}));
        QCOMPARE(lastText(newSound), sounds());
        QCOMPARE(lastText(newFolder), sounds());

        // Choosing an entry loads it and hides the browser; the first entry too, as the filled
        // combo box starts with none chosen.
        for (const QString entry : {"Flute.kvi", "Marimba.KVI"}) {
            view->show();
            view->findChild<QComboBox *>("comboBox")->setCurrentText(entry);
            QCOMPARE(QFileInfo(lastText(load)).canonicalFilePath(),
                     QFileInfo(sounds() + entry).canonicalFilePath());
            QVERIFY(!view->isVisible());
        }
    }
    void cutAndPaste()
    {
        write({"sounds/Flute.kvi=flute", "sounds/Pads/Warm.kvi", "sounds/Keys/Flute.kvi=other"});
        auto view = open<KorvaneSoundView>();
        QSignalSpy status(view.get(), SIGNAL(sendStatusMessage(QString)));

        // Paste without a cut does nothing.
        press(view.get(), "pasteButton");
        QVERIFY(QFileInfo::exists(sounds() + "Flute.kvi"));
        QCOMPARE(status.count(), 0);

        clickTree(*view, sounds() + "Flute.kvi");
        QCOMPARE(view->selectionKind(), int(KorvaneSoundView::FileSelected));
        press(view.get(), "cutButton");
        QVERIFY(view->isCutPending());

        // Onto a folder that holds the name already: the source stays and it is said.
        clickTree(*view, sounds() + "Keys");
        QCOMPARE(view->selectedFolder(), sounds() + "Keys");
        press(view.get(), "pasteButton");
        QCOMPARE(read(sounds() + "Flute.kvi"), QByteArray("flute"));
        QCOMPARE(read(sounds() + "Keys/Flute.kvi"), QByteArray("other"));
        QCOMPARE(status.count(), 1);
        QVERIFY(view->isCutPending());

        clickTree(*view, sounds() + "Pads");
        press(view.get(), "pasteButton");
        QCOMPARE(read(sounds() + "Pads/Flute.kvi"), QByteArray("flute"));
        QVERIFY(!QFileInfo::exists(sounds() + "Flute.kvi"));
        QVERIFY(!view->isCutPending());
        QCOMPARE(view->comboEntries(), (QStringList{"Flute.kvi", "Warm.kvi"}));
    }
    void deleteAndTreeClicks()
    {
        write({"sounds/Flute.kvi", "sounds/Pads/Warm.kvi"});
        auto view = open<KorvaneSoundView>();
        QSignalSpy load(view.get(), SIGNAL(LoadSound(QString)));
        QSignalSpy nameFolder(view.get(), SIGNAL(NameFolder(QString)));
        QSignalSpy edit(view.get(), SIGNAL(EditSound()));
        QStringList deleted;
        connect(view.get(), &KorvaneSoundView::DeleteSound, [&](const QString &path) {
            deleted << path;
            QFile::remove(path);
        });

        clickTree(*view, sounds() + "Pads");
        press(view.get(), "nameFolderButton");
        QCOMPARE(lastText(nameFolder), sounds() + "Pads");
        QCOMPARE(view->comboEntries(), QStringList{"Warm.kvi"});
        // A second press on the selected folder goes back to the root folder.
        clickTree(*view, sounds() + "Pads");
        QCOMPARE(view->selectedFolder(), sounds());
        QCOMPARE(view->comboEntries(), QStringList{"Flute.kvi"});

        clickTree(*view, sounds() + "Flute.kvi");
        press(view.get(), "deleteButton");
        QCOMPARE(deleted, QStringList{sounds() + "Flute.kvi"});
        QCOMPARE(view->selectionKind(), int(KorvaneSoundView::FolderSelected));
        press(view.get(), "loadButton");
        press(view.get(), "editButton");
        QCOMPARE(load.count() + edit.count(), 0);
        QVERIFY(view->comboEntries().isEmpty());

        // Edit loads, hides and asks for the editor.
        view->tree()->expand(view->fileModel()->index(sounds() + "Pads"));
        clickTree(*view, sounds() + "Pads/Warm.kvi");
        press(view.get(), "editButton");
        QCOMPARE(lastText(load), sounds() + "Pads/Warm.kvi");
        QCOMPARE(edit.count(), 1);
        QVERIFY(!view->isVisible());
    }
    void nextAndPreviousSound()
    {
        write({"sounds/A.kvi", "sounds/B.kvi", "sounds/Pads/Warm.kvi"});
        auto view = open<KorvaneSoundView>();
        QSignalSpy load(view.get(), SIGNAL(LoadSound(QString)));
        QSignalSpy folder(view.get(), SIGNAL(giveFolderName(QString)));
        auto moves = [&] { return load.count() + folder.count(); };

        view->NextSound(); // nothing current yet
        QCOMPARE(moves(), 0);

        QFileSystemModel *model = view->fileModel();
        const QModelIndex root = model->index(sounds());
        QTRY_COMPARE(model->rowCount(root), 3);
        view->tree()->setCurrentIndex(model->index(0, 0, root));
        for (int r = 1; r < 3; ++r) {
            view->NextSound();
            const QString expected =
                QFileInfo(model->filePath(model->index(r, 0, root))).fileName();
            QCOMPARE(expected == "Pads" ? lastText(folder) : QFileInfo(lastText(load)).fileName(),
                     expected);
        }
        const int before = moves();
        view->NextSound(); // last entry: no wrap
        QCOMPARE(moves(), before);
        view->PrevSound();
        view->PrevSound();
        QCOMPARE(view->tree()->currentIndex().row(), 0);
        view->PrevSound();
        QCOMPARE(view->tree()->currentIndex().row(), 0);
        QCOMPARE(moves(), before + 2);
    }

private:
    QString sounds() const { return data->path() + QStringLiteral("/sounds/"); }
    QString maps() const { return data->path() + QStringLiteral("/maps/"); }
    // Writes each "path" (or "path=bytes") below the data folder.
    void write(const QStringList &files)
    {
        for (const QString &f : files)
            QVERIFY(testfiles::write(data->path() + "/" + f.section('=', 0, 0),
                                     f.contains('=') ? f.section('=', 1).toUtf8() : "x"));
    }
    // The browser on the data folder, shown and exposed.
    template <typename View> std::unique_ptr<View> open()
    {
        auto view = std::make_unique<View>();
        view->UpdateDirectory(data->path());
        view->resize(420, 560);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
            qWarning("browser not exposed");
        return view;
    }
    std::unique_ptr<QTemporaryDir> data;
};

QTEST_MAIN(TestBrowsers)
#include "tst_browsers.moc"
