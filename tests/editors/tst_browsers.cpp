#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/korvanetreeview.h"
#include "tests/support/testfiles.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileSystemModel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
void clickRow(QAbstractItemView *list, int row)
{
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
}

void press(QDialog &d, const char *button)
{
    d.findChild<QPushButton *>(button)->click();
}
} // namespace

class TestBrowsers : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void mapBrowserEmptyFolder();
    void mapRowsKeepTheirFiles();
    void mapRenameAndDeleteClearSelection();
    void soundBrowserMovesStrayInstruments();
    void soundSaveFolderAndCombo();
    void cutAndPaste();
    void deleteAndTreeClicks();
    void nextAndPreviousSound();

private:
    QString sounds() const { return data->path() + QStringLiteral("/sounds/"); }
    QString maps() const { return data->path() + QStringLiteral("/maps/"); }
    // Clicks the tree row of path, which must be visible.
    void clickTree(KorvaneSoundView &view, const QString &path);
    std::unique_ptr<QTemporaryDir> data;
};

void TestBrowsers::init()
{
    data = std::make_unique<QTemporaryDir>();
}

void TestBrowsers::clickTree(KorvaneSoundView &view, const QString &path)
{
    KorvaneTreeView *tree = view.tree();
    const QModelIndex index = view.fileModel()->index(path);
    QTRY_VERIFY(tree->visualRect(index).isValid());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                      tree->visualRect(index).center());
}

void TestBrowsers::mapBrowserEmptyFolder()
{
    KorvanePatchView view;
    view.UpdateDirectory(data->path());
    QVERIFY(QDir(maps()).exists());
    QCOMPARE(view.windowTitle(), QStringLiteral("Mappings"));
    QVERIFY(view.names().isEmpty());
    QSignalSpy load(&view, SIGNAL(LoadState(QString)));
    QSignalSpy rename(&view, SIGNAL(RenameState(QString)));
    QSignalSpy del(&view, SIGNAL(DeleteState(QString)));
    view.show();
    press(view, "loadButton");
    press(view, "renameButton");
    press(view, "deleteButton");
    QCOMPARE(load.count() + rename.count() + del.count(), 0);
    QVERIFY(view.isVisible());
    QVERIFY(!view.findChild<QPushButton *>("deselectButton")->isEnabled());
}

void TestBrowsers::mapRowsKeepTheirFiles()
{
    for (const char *name : {"a.kvs", "a.b.kvs", "X.KVS", "notes.txt"})
        QVERIFY(testfiles::write(maps() + name));
    KorvanePatchView view;
    view.UpdateDirectory(data->path());
    QStringList shown = view.names();
    shown.sort();
    QCOMPARE(shown, (QStringList{"X", "a", "a"}));

    view.show();
    QSignalSpy load(&view, SIGNAL(LoadState(QString)));
    QStringList opened;
    for (int row = 0; row < 3; ++row) {
        view.show();
        clickRow(view.list(), row);
        QVERIFY(view.hasSelection());
        press(view, "loadButton");
        QVERIFY(!view.isVisible());
        opened << load.last().at(0).toString();
    }
    opened.sort();
    QCOMPARE(opened, (QStringList{maps() + "X.KVS", maps() + "a.b.kvs", maps() + "a.kvs"}));
    for (const QString &path : opened)
        QVERIFY(QFileInfo::exists(path));
}

void TestBrowsers::mapRenameAndDeleteClearSelection()
{
    QVERIFY(testfiles::write(maps() + "Live.kvs"));
    QVERIFY(testfiles::write(maps() + "Studio.kvs"));
    KorvanePatchView view;
    view.UpdateDirectory(data->path());
    view.show();
    QSignalSpy rename(&view, SIGNAL(RenameState(QString)));
    QSignalSpy del(&view, SIGNAL(DeleteState(QString)));
    QSignalSpy fresh(&view, SIGNAL(NewState(QString)));

    clickRow(view.list(), 0);
    press(view, "renameButton");
    QCOMPARE(rename.count(), 1);
    QCOMPARE(rename.last().at(0).toString(), maps() + "Live.kvs");
    QVERIFY(!view.hasSelection());
    press(view, "deleteButton");
    QCOMPARE(del.count(), 0);

    clickRow(view.list(), 1);
    press(view, "deleteButton");
    press(view, "deleteButton");
    QCOMPARE(del.count(), 1);
    QCOMPARE(del.last().at(0).toString(), maps() + "Studio.kvs");

    view.Save();
    QCOMPARE(fresh.count(), 1);
    QCOMPARE(fresh.last().at(0).toString(), maps());
}

void TestBrowsers::soundBrowserMovesStrayInstruments()
{
    QVERIFY(testfiles::write(data->path() + "/Stray.KVI", "stray"));
    QVERIFY(testfiles::write(data->path() + "/Flute.kvi", "new flute"));
    QVERIFY(testfiles::write(sounds() + "Flute.kvi", "old flute"));
    KorvaneSoundView view;
    QSignalSpy status(&view, SIGNAL(sendStatusMessage(QString)));
    view.UpdateDirectory(data->path());

    QCOMPARE(testfiles::read(sounds() + "Stray.KVI"), QByteArray("stray"));
    QVERIFY(!QFileInfo::exists(data->path() + "/Stray.KVI"));
    // The name is taken in the sounds folder: both files stay as they were, and it is said.
    QCOMPARE(testfiles::read(sounds() + "Flute.kvi"), QByteArray("old flute"));
    QCOMPARE(testfiles::read(data->path() + "/Flute.kvi"), QByteArray("new flute"));
    QCOMPARE(status.count(), 1);
    QVERIFY(status.last().at(0).toString().contains("Flute.kvi"));
}

void TestBrowsers::soundSaveFolderAndCombo()
{
    QVERIFY(testfiles::write(sounds() + "Flute.kvi"));
    QVERIFY(testfiles::write(sounds() + "Marimba.KVI"));
    QVERIFY(testfiles::write(sounds() + "readme.txt"));
    KorvaneSoundView view;
    QSignalSpy load(&view, SIGNAL(LoadSound(QString)));
    QSignalSpy newSound(&view, SIGNAL(NewSound(QString)));
    QSignalSpy newFolder(&view, SIGNAL(NewFolder(QString)));
    QSignalSpy save(&view, SIGNAL(SaveSound(QString)));
    view.UpdateDirectory(data->path());
    QCOMPARE(view.rootPath(), sounds());

    // Filling the combo box loads nothing.
    QCOMPARE(view.comboEntries(), (QStringList{"Flute.kvi", "Marimba.KVI"}));
    QCOMPARE(load.count(), 0);

    // Nothing selected: Save and New Folder mean the root folder.
    press(view, "saveButton");
    press(view, "newFolderButton");
    press(view, "renameButton");
    press(view, "nameFolderButton");
    QCOMPARE(save.count(), 0);
    QCOMPARE(newSound.count(), 1);
    QCOMPARE(newSound.last().at(0).toString(), sounds());
    QCOMPARE(newFolder.last().at(0).toString(), sounds());

    view.show();
    view.findChild<QComboBox *>("comboBox")->setCurrentIndex(1);
    QCOMPARE(load.count(), 1);
    QCOMPARE(QFileInfo(load.last().at(0).toString()).canonicalFilePath(),
             QFileInfo(sounds() + "Marimba.KVI").canonicalFilePath());
    QVERIFY(!view.isVisible());
}

void TestBrowsers::cutAndPaste()
{
    QVERIFY(testfiles::write(sounds() + "Flute.kvi", "flute"));
    QVERIFY(testfiles::write(sounds() + "Pads/Warm.kvi", "warm"));
    QVERIFY(testfiles::write(sounds() + "Keys/Flute.kvi", "other flute"));
    KorvaneSoundView view;
    QSignalSpy status(&view, SIGNAL(sendStatusMessage(QString)));
    view.UpdateDirectory(data->path());
    view.resize(420, 560);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    // Paste without a cut does nothing.
    press(view, "pasteButton");
    QVERIFY(QFileInfo::exists(sounds() + "Flute.kvi"));
    QCOMPARE(status.count(), 0);

    clickTree(view, sounds() + "Flute.kvi");
    QCOMPARE(view.selectionKind(), int(KorvaneSoundView::FileSelected));
    press(view, "cutButton");
    QVERIFY(view.isCutPending());

    // Onto a folder that holds the name already: the source stays and it is said.
    clickTree(view, sounds() + "Keys");
    QCOMPARE(view.selectedFolder(), sounds() + "Keys");
    press(view, "pasteButton");
    QCOMPARE(testfiles::read(sounds() + "Flute.kvi"), QByteArray("flute"));
    QCOMPARE(testfiles::read(sounds() + "Keys/Flute.kvi"), QByteArray("other flute"));
    QCOMPARE(status.count(), 1);
    QVERIFY(view.isCutPending());

    clickTree(view, sounds() + "Pads");
    press(view, "pasteButton");
    QCOMPARE(testfiles::read(sounds() + "Pads/Flute.kvi"), QByteArray("flute"));
    QVERIFY(!QFileInfo::exists(sounds() + "Flute.kvi"));
    QVERIFY(!view.isCutPending());
    QCOMPARE(view.comboEntries(), (QStringList{"Flute.kvi", "Warm.kvi"}));
}

void TestBrowsers::deleteAndTreeClicks()
{
    QVERIFY(testfiles::write(sounds() + "Flute.kvi"));
    QVERIFY(testfiles::write(sounds() + "Pads/Warm.kvi"));
    KorvaneSoundView view;
    view.UpdateDirectory(data->path());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy load(&view, SIGNAL(LoadSound(QString)));
    QSignalSpy nameFolder(&view, SIGNAL(NameFolder(QString)));
    QSignalSpy edit(&view, SIGNAL(EditSound()));
    QStringList deleted;
    connect(&view, &KorvaneSoundView::DeleteSound, [&](const QString &path) {
        deleted << path;
        QFile::remove(path);
    });

    clickTree(view, sounds() + "Pads");
    press(view, "nameFolderButton");
    QCOMPARE(nameFolder.last().at(0).toString(), sounds() + "Pads");
    QCOMPARE(view.comboEntries(), QStringList{"Warm.kvi"});

    // A second press on the selected folder goes back to the root folder.
    clickTree(view, sounds() + "Pads");
    QCOMPARE(view.selectedFolder(), sounds());
    QCOMPARE(view.comboEntries(), QStringList{"Flute.kvi"});

    clickTree(view, sounds() + "Flute.kvi");
    press(view, "deleteButton");
    QCOMPARE(deleted, QStringList{sounds() + "Flute.kvi"});
    QCOMPARE(view.selectionKind(), int(KorvaneSoundView::FolderSelected));
    press(view, "loadButton");
    press(view, "editButton");
    QCOMPARE(load.count(), 0);
    QCOMPARE(edit.count(), 0);
    QVERIFY(view.comboEntries().isEmpty());

    // Edit loads, hides and asks for the editor.
    view.tree()->expand(view.fileModel()->index(sounds() + "Pads"));
    clickTree(view, sounds() + "Pads/Warm.kvi");
    press(view, "editButton");
    QCOMPARE(load.last().at(0).toString(), sounds() + "Pads/Warm.kvi");
    QCOMPARE(edit.count(), 1);
    QVERIFY(!view.isVisible());
}

void TestBrowsers::nextAndPreviousSound()
{
    QVERIFY(testfiles::write(sounds() + "A.kvi"));
    QVERIFY(testfiles::write(sounds() + "B.kvi"));
    QVERIFY(testfiles::write(sounds() + "Pads/Warm.kvi"));
    KorvaneSoundView view;
    view.UpdateDirectory(data->path());
    view.show();
    QSignalSpy load(&view, SIGNAL(LoadSound(QString)));
    QSignalSpy folder(&view, SIGNAL(giveFolderName(QString)));

    view.NextSound(); // nothing current yet
    QCOMPARE(load.count() + folder.count(), 0);

    QFileSystemModel *model = view.fileModel();
    const QModelIndex root = model->index(sounds());
    QTRY_COMPARE(model->rowCount(root), 3);
    QStringList order;
    for (int r = 0; r < 3; ++r)
        order << QFileInfo(model->filePath(model->index(r, 0, root))).fileName();

    view.tree()->setCurrentIndex(model->index(0, 0, root));
    for (int r = 1; r < 3; ++r) {
        view.NextSound();
        const QString expected = order.at(r);
        if (expected == "Pads")
            QCOMPARE(folder.last().at(0).toString(), QStringLiteral("Pads"));
        else
            QCOMPARE(QFileInfo(load.last().at(0).toString()).fileName(), expected);
    }
    const int before = load.count() + folder.count();
    view.NextSound(); // last entry: no wrap
    QCOMPARE(load.count() + folder.count(), before);
    view.PrevSound();
    view.PrevSound();
    QCOMPARE(view.tree()->currentIndex().row(), 0);
    view.PrevSound();
    QCOMPARE(view.tree()->currentIndex().row(), 0);
    QCOMPARE(load.count() + folder.count(), before + 2);
}

QTEST_MAIN(TestBrowsers)
#include "tst_browsers.moc"
