// Unsaved instrument changes are never thrown away by a load: every load the window starts
// asks first (Save, Discard, Cancel), and a load the device starts keeps the changes in a
// recovery file without a dialog. Quitting asks the same question.
#include "app/mainwindow.h"
#include "audio/instrumentfile.h"
#include "audio/korvaneaudioengine.h"
#include "core/korvanecore.h"
#include "device/korvanemidiengine.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/korvanetreeview.h"
#include "tests/support/scriptedmidibackend.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowtestenv.h"

#include <QComboBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {
enum Path
{
    TestSoundBox,
    BrowserLoad,
    BrowserCombo,
    BrowserEdit
};

int samplesIn(const QString &file)
{
    KorvaneInstrument ins;
    return readInstrumentFile(file, ins, nullptr) ? int(ins.samples.size()) : -1;
}
} // namespace

class TestLoadGuard : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { window.reset(); }
    void windowLoadsAsk_data();
    void windowLoadsAsk();
    void deviceStepKeepsARecoveryCopy();
    void quittingAsks();

private:
    QString sounds() const { return hub->GetDataPath() + "/sounds/"; }
    QString status() const { return window->findChild<QLabel *>("mainmessages")->text(); }
    // Marimba loaded through the test-sound box, then one of its samples deleted.
    void editMarimba();
    void select(const QString &file);

    HubTestEnv data;
    std::unique_ptr<MainWindow> window;
    KorvaneCore *hub = nullptr;
    QComboBox *testBox = nullptr;
};

void TestLoadGuard::init()
{
    data.renew();
    window = std::make_unique<MainWindow>(
        std::make_unique<ScriptedMidiBackend>(std::make_shared<ScriptedMidiSystem>()));
    waitForTheStream(window.get());
    hub = window->core();
    testBox = window->findChild<QComboBox *>("testSoundBox");
    if (!QFile::exists(sounds() + "Marimba.kvi"))
        QSKIP("this build carries no preset instruments");
}

void TestLoadGuard::editMarimba()
{
    testBox->setCurrentIndex(1);
    QCOMPARE(hub->GetSoundName(), QStringLiteral("Marimba.kvi"));
    QVERIFY(!hub->IsSoundModified());
    hub->FlushSelected(0);
    QCOMPARE(hub->audio()->sampleCount(), 5);
}

void TestLoadGuard::select(const QString &file)
{
    KorvaneSoundView *view = window->soundView();
    const QModelIndex index = view->fileModel()->index(file);
    QVERIFY(index.isValid());
    view->tree()->setCurrentIndex(index);
    QMetaObject::invokeMethod(view, "on_treeView_clicked", Q_ARG(QModelIndex, index));
    QCOMPARE(view->selectedFile(), file);
}

void TestLoadGuard::windowLoadsAsk_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<int>("answer");
    const struct
    {
        const char *name;
        Path path;
    } paths[] = {{"test sound box", TestSoundBox},
                 {"browser Load", BrowserLoad},
                 {"browser combo box", BrowserCombo},
                 {"Edit Instrument", BrowserEdit}};
    const struct
    {
        const char *name;
        QMessageBox::StandardButton button;
    } answers[] = {{"Save", QMessageBox::Save},
                   {"Discard", QMessageBox::Discard},
                   {"Cancel", QMessageBox::Cancel}};
    for (const auto &p : paths)
        for (const auto &a : answers)
            QTest::addRow("%s, %s", p.name, a.name) << int(p.path) << int(a.button);
}

void TestLoadGuard::windowLoadsAsk()
{
    QFETCH(int, path);
    QFETCH(int, answer);
    editMarimba();
    const QByteArray marimbaFile = testfiles::read(sounds() + "Marimba.kvi");
    KorvaneSoundView *view = window->soundView();
    auto *combo = view->findChild<QComboBox *>("comboBox");
    const QString flute = sounds() + "Flute.kvi";
    if (path != TestSoundBox) {
        view->show();
        if (path != BrowserCombo)
            select(flute);
    }
    {
        BoxAnswerer box{QMessageBox::StandardButton(answer)};
        switch (path) {
        case TestSoundBox:
            testBox->setCurrentIndex(2);
            break;
        case BrowserLoad:
            view->findChild<QPushButton *>("loadButton")->click();
            break;
        case BrowserCombo:
            QCOMPARE(combo->currentIndex(), -1); // nothing chosen yet
            combo->setCurrentIndex(combo->findText("Flute.kvi"));
            break;
        case BrowserEdit:
            view->findChild<QPushButton *>("editButton")->click();
            break;
        }
        QCOMPARE(box.texts, QStringList{"Marimba has unsaved changes."});
    }

    if (answer == QMessageBox::Cancel) {
        // Nothing changed: the edited Marimba plays on, and the choices show it again.
        QCOMPARE(hub->GetSoundName(), QStringLiteral("Marimba.kvi"));
        QCOMPARE(hub->audio()->sampleCount(), 5);
        QVERIFY(hub->IsSoundModified());
        QCOMPARE(testBox->currentIndex(), 1);
        QCOMPARE(view->isVisible(), path != TestSoundBox);
        QCOMPARE(combo->currentIndex(), -1);
        QVERIFY(!window->soundEditView()->isVisible());
        QCOMPARE(testfiles::read(sounds() + "Marimba.kvi"), marimbaFile);
        return;
    }
    QCOMPARE(hub->GetSoundName(), QStringLiteral("Flute.kvi"));
    QCOMPARE(hub->audio()->sampleCount(), 7);
    QVERIFY(!hub->IsSoundModified());
    QCOMPARE(window->soundEditView()->isVisible(), path == BrowserEdit);
    if (answer == QMessageBox::Save)
        QCOMPARE(samplesIn(sounds() + "Marimba.kvi"), 5);
    else
        QCOMPARE(testfiles::read(sounds() + "Marimba.kvi"), marimbaFile);
}

void TestLoadGuard::deviceStepKeepsARecoveryCopy()
{
    editMarimba();
    QFileSystemModel *model = window->soundView()->fileModel();
    QTRY_COMPARE(model->rowCount(model->index(sounds())), 3);
    window->soundView()->tree()->setCurrentIndex(model->index(sounds() + "Marimba.kvi"));
    const QStringList before = QDir(sounds()).entryList(QDir::Files);
    BoxAnswerer box(QMessageBox::Cancel);
    hub->midi()->ProcessMessage({0xB0, 127, 1}); // the device's "previous sound" action
    QCOMPARE(hub->GetSoundName(), QStringLiteral("Flute.kvi"));

    // No dialog on stage; the edited Marimba waits in a file of its own, and the user is told.
    QTest::qWait(30);
    QVERIFY(box.texts.isEmpty());
    QStringList added = QDir(sounds()).entryList(QDir::Files);
    for (const QString &f : before)
        added.removeOne(f);
    QCOMPARE(added.size(), 1);
    QVERIFY2(added.first().startsWith("Marimba (recovered "), qPrintable(added.first()));
    QCOMPARE(samplesIn(sounds() + added.first()), 5);
    QVERIFY2(status().contains(added.first()), qPrintable(status()));
}

void TestLoadGuard::quittingAsks()
{
    editMarimba();
    window->show();
    {
        BoxAnswerer cancel(QMessageBox::Cancel);
        QVERIFY(!window->close());
        QCOMPARE(cancel.texts, QStringList{"Marimba has unsaved changes."});
    }
    QVERIFY(window->isVisible());
    QCOMPARE(hub->audio()->sampleCount(), 5);
    BoxAnswerer save(QMessageBox::Save);
    QVERIFY(window->close());
    QCOMPARE(samplesIn(sounds() + "Marimba.kvi"), 5);
    // Once confirmed, a second way out (a menu, then the window) does not ask again.
    QVERIFY(window->confirmQuit());
    QCOMPARE(save.texts.size(), 1);
}

QTEST_MAIN(TestLoadGuard)
#include "tst_loadguard.moc"
