// The browsers from the keyboard and the mouse: Enter and double-click load, the arrow keys
// select, the sound browser's combo box loads its first entry, and the map browser's
// sub-folders are made, named and removed as the sound browser's are, and matched.
#include "app/filerequests.h"
#include "core/korvanecore.h"
#include "core/korvanemaplibrary.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/korvanetreeview.h"
#include "dialogs/namedialog.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowtestenv.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QtTest>

namespace {
void press(QDialog &d, const char *button)
{
    d.findChild<QPushButton *>(button)->click();
}
} // namespace

class TestBrowserKeys : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void enterAndDoubleClickLoad_data();
    void enterAndDoubleClickLoad();
    void arrowKeysSelect();
    void comboLoadsItsFirstEntry();
    void mapSubFolders();

private:
    QString maps() const { return hub->GetDataPath() + "/maps/"; }
    QString sounds() const { return hub->GetDataPath() + "/sounds/"; }
    // The index of path in the browser's tree, once the tree shows it.
    QModelIndex find(QAbstractItemView *tree, const QString &path);
    void answerName(const QString &text);

    std::unique_ptr<HubTestEnv> env;
    std::unique_ptr<KorvaneCore> hub;
    std::unique_ptr<NameDialog> name;
    std::unique_ptr<KorvanePatchView> mapBrowser;
    std::unique_ptr<KorvaneSoundView> soundBrowser;
    std::unique_ptr<FileRequests> requests;
};

void TestBrowserKeys::init()
{
    env = std::make_unique<HubTestEnv>();
    hub = std::make_unique<KorvaneCore>();
    name = std::make_unique<NameDialog>();
    mapBrowser = std::make_unique<KorvanePatchView>();
    soundBrowser = std::make_unique<KorvaneSoundView>();
    requests = std::make_unique<FileRequests>(hub.get(), name.get(), mapBrowser.get(),
                                              soundBrowser.get(), hub->GetDataPath(), nullptr);
    // As the main window wires them.
    connect(name.get(), &NameDialog::Send, requests.get(), &FileRequests::receiveName);
    KorvanePatchView *m = mapBrowser.get();
    FileRequests *r = requests.get();
    connect(m, &KorvanePatchView::NewFolder, r, &FileRequests::newFolder);
    connect(m, &KorvanePatchView::NameFolder, r, &FileRequests::renameFolder);
    connect(m, &KorvanePatchView::DeleteFolder, r, &FileRequests::deleteFolder);
    connect(m, &KorvanePatchView::NewState, r, &FileRequests::newMap);
    for (const char *file : {"maps/Live.kvs", "maps/Sets/Song.kvs", "sounds/Flute.kvi",
                             "sounds/Keys/Piano.kvi", "sounds/Keys/Organ.kvi"})
        QVERIFY(testfiles::write(hub->GetDataPath() + "/" + file));
    requests->updateDirectories();
}

void TestBrowserKeys::cleanup()
{
    requests.reset();
    soundBrowser.reset();
    mapBrowser.reset();
    name.reset();
    hub.reset();
    env.reset();
}

QModelIndex TestBrowserKeys::find(QAbstractItemView *tree, const QString &path)
{
    if (tree == soundBrowser->tree()) {
        const QModelIndex index = soundBrowser->fileModel()->index(path);
        soundBrowser->tree()->expand(index.parent());
        [&] { QTRY_VERIFY(tree->visualRect(index).isValid()); }();
        return index;
    }
    QAbstractItemModel *m = tree->model();
    QModelIndexList all =
        m->match(m->index(0, 0), Qt::UserRole, path, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return all.value(0);
}

void TestBrowserKeys::answerName(const QString &text)
{
    QVERIFY(name->isVisible());
    name->findChild<QLineEdit *>("lineEdit")->setText(text);
    name->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
}

void TestBrowserKeys::enterAndDoubleClickLoad_data()
{
    QTest::addColumn<bool>("maps");
    QTest::addColumn<bool>("enter");
    QTest::addColumn<QString>("file");
    QTest::newRow("map enter") << true << true << "maps/Sets/Song.kvs";
    QTest::newRow("map double-click") << true << false << "maps/Live.kvs";
    QTest::newRow("sound enter") << false << true << "sounds/Keys/Organ.kvi";
    QTest::newRow("sound double-click") << false << false << "sounds/Flute.kvi";
}

void TestBrowserKeys::enterAndDoubleClickLoad()
{
    QFETCH(bool, maps);
    QFETCH(bool, enter);
    QFETCH(QString, file);
    const QString path = hub->GetDataPath() + "/" + file;
    QDialog *dialog = maps ? static_cast<QDialog *>(mapBrowser.get()) : soundBrowser.get();
    KorvaneTreeView *tree = maps ? mapBrowser->list() : soundBrowser->tree();
    QSignalSpy load(dialog, maps ? SIGNAL(LoadState(QString)) : SIGNAL(LoadSound(QString)));
    QSignalSpy rename(dialog, maps ? SIGNAL(RenameState(QString)) : SIGNAL(RenameSound(QString)));
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

void TestBrowserKeys::arrowKeysSelect()
{
    // Map browser: the rows are Sets, Song (inside it), Live.
    mapBrowser->show();
    KorvaneTreeView *tree = mapBrowser->list();
    tree->setCurrentIndex(find(tree, maps() + "Sets"));
    QTest::keyClick(tree, Qt::Key_Down);
    QVERIFY(mapBrowser->hasSelection());
    QCOMPARE(mapBrowser->selectedPath(), maps() + "Sets/Song.kvs");
    QTest::keyClick(tree, Qt::Key_Up);
    QVERIFY(!mapBrowser->hasSelection());
    QCOMPARE(mapBrowser->selection().chosenFolder(), maps() + "Sets");

    // Sound browser: a folder reached by the keys fills the combo box.
    soundBrowser->show();
    tree = soundBrowser->tree();
    tree->setCurrentIndex(find(tree, sounds() + "Keys/Organ.kvi"));
    QTest::keyClick(tree, Qt::Key_Left); // to the folder holding it
    QCOMPARE(QFileInfo(soundBrowser->selectedFolder()).fileName(), QString("Keys"));
    QCOMPARE(soundBrowser->comboEntries(), (QStringList{"Organ.kvi", "Piano.kvi"}));
}

void TestBrowserKeys::comboLoadsItsFirstEntry()
{
    soundBrowser->show();
    QSignalSpy load(soundBrowser.get(), SIGNAL(LoadSound(QString)));
    auto *combo = soundBrowser->findChild<QComboBox *>("comboBox");
    QCOMPARE(load.count(), 0); // filling it loads nothing
    combo->setCurrentIndex(0);
    QCOMPARE(load.count(), 1);
    QCOMPARE(QFileInfo(load.last().at(0).toString()).fileName(),
             soundBrowser->comboEntries().value(0));
}

void TestBrowserKeys::mapSubFolders()
{
    // New Folder with nothing selected makes a folder in the maps folder, shown at once.
    press(*mapBrowser, "newFolderButton");
    answerName("Gigs");
    QVERIFY(QFileInfo(maps() + "Gigs").isDir());
    QVERIFY(mapBrowser->names().contains("Gigs"));

    // Name Folder and Delete Folder act on the selected folder; the maps folder stays.
    mapBrowser->show();
    mapBrowser->list()->setCurrentIndex(find(mapBrowser->list(), maps() + "Gigs"));
    QTest::keyClick(mapBrowser->list(), Qt::Key_Down); // onto Sets
    QTest::keyClick(mapBrowser->list(), Qt::Key_Up);   // back onto Gigs
    press(*mapBrowser, "nameFolderButton");
    answerName("Tour");
    QVERIFY(QFileInfo(maps() + "Tour").isDir() && !QFileInfo::exists(maps() + "Gigs"));
    mapBrowser->list()->setCurrentIndex(find(mapBrowser->list(), maps() + "Tour"));
    QTest::keyClick(mapBrowser->list(), Qt::Key_Down);
    QTest::keyClick(mapBrowser->list(), Qt::Key_Up);
    {
        BoxAnswerer yes(QMessageBox::Yes);
        press(*mapBrowser, "deleteFolderButton");
        QCOMPARE(yes.texts.size(), 1);
    }
    QVERIFY(!QFileInfo::exists(maps() + "Tour"));
    QVERIFY(!mapBrowser->names().contains("Tour"));
    press(*mapBrowser, "nameFolderButton");
    QVERIFY(!name->isVisible());

    // Save with a sub-folder selected saves there, and the device's map is matched with it.
    mapBrowser->list()->setCurrentIndex(find(mapBrowser->list(), maps() + "Sets/Song.kvs"));
    QTest::keyClick(mapBrowser->list(), Qt::Key_Up);
    mapBrowser->Save();
    answerName("Encore");
    QVERIFY(QFileInfo::exists(maps() + "Sets/Encore.kvs"));
    KorvaneMapLibrary library(hub->GetDataPath(), hub->GetMapVersion());
    QCOMPARE(library.match(hub->GetState().nodes).matched, QString("Encore"));
}

QTEST_MAIN(TestBrowserKeys)
#include "tst_browserkeys.moc"
