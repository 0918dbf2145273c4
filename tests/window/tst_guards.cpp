// Nothing is lost on the way out or on a load. Unsaved instrument changes are never thrown away
// by a load: every load the window starts asks first (Save, Discard, Cancel), a load the device
// starts keeps the changes in a recovery file without a dialog, and quitting asks the same
// question. Quitting loses no upload without a word: what is queued leaves first while a
// progress dialog shows it, "Quit Now" stops at once and says what did not leave, and the write
// count follows exactly the ROM writes that left. The device is a scripted MIDI system.
#include "audio/instrumentfile.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/korvanetreeview.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowtestenv.h"

#include <QComboBox>
#include <QFileSystemModel>
#include <QProgressDialog>

using Messages = std::vector<std::vector<uint8_t>>;

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

// Watches for the quit progress dialog; presses its cancel button ("Quit Now") when asked to.
class ProgressWatcher : public QObject
{
public:
    explicit ProgressWatcher(bool quitNow)
    {
        connect(&timer, &QTimer::timeout, this, [this, quitNow] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<QProgressDialog *>(w);
                if (!dialog || !dialog->isVisible())
                    continue;
                auto *button = dialog->findChild<QPushButton *>();
                buttonText = button->text();
                seen = true;
                if (quitNow && dialog->value() >= 1)
                    button->click();
            }
        });
        timer.start(5);
    }
    bool seen = false;
    QString buttonText;

private:
    QTimer timer;
};
} // namespace

class TestGuards : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        env.renew(true, true);
        hub = env.hub;
        testBox = env.get<QComboBox>("testSoundBox");
        QVERIFY(hub->midi()->isOutputOpen());
        QVERIFY(hub->midi()->waitForUploads(2000));
        env.sys->clearSent();
        env.window->show();
    }
    void cleanup() { env.reset(); }
    void windowLoadsAsk_data()
    {
        QTest::addColumn<int>("path");
        QTest::addColumn<int>("answer");
        const std::pair<const char *, Path> paths[] = {{"test sound box", TestSoundBox},
                                                       {"browser Load", BrowserLoad},
                                                       {"browser combo box", BrowserCombo},
                                                       {"Edit Instrument", BrowserEdit}};
        const std::pair<const char *, QMessageBox::StandardButton> answers[] = {
            {"Save", QMessageBox::Save},
            {"Discard", QMessageBox::Discard},
            {"Cancel", QMessageBox::Cancel}};
        // What Save does after the question is the same on every path.
        for (const auto &p : paths)
            for (const auto &a : answers)
                if (a.second != QMessageBox::Save || p.second == BrowserEdit)
                    QTest::addRow("%s, %s", p.first, a.first) << int(p.second) << int(a.second);
    }
    void windowLoadsAsk()
    {
        QFETCH(int, path);
        QFETCH(int, answer);
        editMarimba();
        const QByteArray marimbaFile = testfiles::read(sounds() + "Marimba.kvi");
        KorvaneSoundView *view = env.window->soundView();
        auto *combo = view->findChild<QComboBox *>("comboBox");
        if (path != TestSoundBox)
            view->show();
        if (path == BrowserLoad || path == BrowserEdit) {
            const QModelIndex index = view->fileModel()->index(sounds() + "Flute.kvi");
            view->tree()->setCurrentIndex(index);
            QMetaObject::invokeMethod(view, "on_treeView_clicked", Q_ARG(QModelIndex, index));
            QCOMPARE(view->selectedFile(), sounds() + "Flute.kvi");
        }
        {
            BoxAnswerer box{QMessageBox::StandardButton(answer)};
            if (path == TestSoundBox)
                testBox->setCurrentIndex(2);
            else if (path == BrowserCombo) {
                QCOMPARE(combo->currentIndex(), -1); // nothing chosen yet
                combo->setCurrentIndex(combo->findText("Flute.kvi"));
            } else {
                view->findChild<QPushButton *>(path == BrowserLoad ? "loadButton" : "editButton")
                    ->click();
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
            QVERIFY(!env.window->soundEditView()->isVisible());
            QCOMPARE(testfiles::read(sounds() + "Marimba.kvi"), marimbaFile);
            return;
        }
        QCOMPARE(hub->GetSoundName(), QStringLiteral("Flute.kvi"));
        QCOMPARE(env.window->soundEditView()->isVisible(), path == BrowserEdit);
        if (answer == QMessageBox::Save)
            QCOMPARE(samplesIn(sounds() + "Marimba.kvi"), 5);
        else
            QCOMPARE(testfiles::read(sounds() + "Marimba.kvi"), marimbaFile);
    }
    void deviceStepKeepsARecoveryCopy()
    {
        editMarimba();
        QFileSystemModel *model = env.window->soundView()->fileModel();
        QTRY_COMPARE(model->rowCount(model->index(sounds())), 3);
        env.window->soundView()->tree()->setCurrentIndex(model->index(sounds() + "Marimba.kvi"));
        BoxAnswerer box(QMessageBox::Cancel);
        hub->midi()->ProcessMessage({0xB0, 127, 1}); // the device's "previous sound" action
        QCOMPARE(hub->GetSoundName(), QStringLiteral("Flute.kvi"));

        // No dialog on stage; the edited Marimba waits in a file of its own, and the user is told.
        QTRY_VERIFY(env.text("mainmessages").contains("Marimba (recovered "));
        QVERIFY(box.texts.isEmpty());
        const QString kept = env.text("mainmessages").section('"', 1, 1);
        QCOMPARE(samplesIn(sounds() + kept), 5);
    }
    void quittingAsks()
    {
        editMarimba();
        {
            BoxAnswerer cancel(QMessageBox::Cancel);
            QVERIFY(!env.window->close());
            QCOMPARE(cancel.texts, QStringList{"Marimba has unsaved changes."});
        }
        QVERIFY(env.window->isVisible());
        QCOMPARE(hub->audio()->sampleCount(), 5);
        BoxAnswerer save(QMessageBox::Save);
        QVERIFY(env.window->close());
        QCOMPARE(samplesIn(sounds() + "Marimba.kvi"), 5);
        // Once confirmed, a second way out (a menu, then the window) does not ask again.
        QVERIFY(env.window->confirmQuit());
        QCOMPARE(save.texts.size(), 1);
    }
    void quittingSendsEverythingQueued()
    {
        hub->midi()->setPauses(std::chrono::milliseconds(20), std::chrono::milliseconds(20));
        Messages expected = mapping();
        expected.push_back(KorvaneSysex::eepromWrite());
        hub->SendState();
        hub->SendWriteCommand();
        ProgressWatcher watcher(false);
        QVERIFY(env.window->close());
        QVERIFY(watcher.seen);
        QCOMPARE(watcher.buttonText, QStringLiteral("Quit Now"));
        QVERIFY(env.sent() == expected);
        QCOMPARE(storedWriteCount(), 1);
    }
    void quitNowSaysWhatWasNotSent()
    {
        hub->midi()->setPauses(std::chrono::milliseconds(150), std::chrono::milliseconds(150));
        hub->SendState();
        hub->SendWriteCommand();
        ProgressWatcher watcher(true);
        BoxAnswerer ok(QMessageBox::Ok);
        QVERIFY(env.window->close());
        QVERIFY(watcher.seen);
        const size_t sent = env.sent().size(), all = mapping().size();
        QVERIFY(sent > 0 && sent < all);
        QCOMPARE(ok.texts.size(), 1);
        const QString lost = ok.informative.value(0);
        QVERIFY2(
            lost.contains(QStringLiteral("mapping (%1 of %2 messages)").arg(all - sent).arg(all)),
            qPrintable(lost));
        QVERIFY2(lost.contains("ROM write"), qPrintable(lost));
        QCOMPARE(storedWriteCount(), 0);
    }
    void romWriteThatLeftIsCounted()
    {
        // Quit Now during the pause after the ROM write left: it counts, and nothing is missing.
        hub->midi()->setPauses(std::chrono::milliseconds(3000), std::chrono::milliseconds(3000));
        hub->SendWriteCommand();
        QTRY_COMPARE(env.sent().size(), size_t(1));
        ProgressWatcher watcher(true);
        BoxAnswerer ok(QMessageBox::Ok);
        QVERIFY(env.window->close());
        QVERIFY(ok.texts.isEmpty());
        QCOMPARE(storedWriteCount(), 1);

        // It has left and the sender is idle; its report waits in the event queue, which no
        // loop runs again.
        init(); // a fresh data folder
        hub->SendWriteCommand();
        QVERIFY(hub->midi()->waitForUploads(2000));
        QVERIFY(env.window->close());
        QCOMPARE(storedWriteCount(), 1);
    }
    void noDeviceSaysSoAndQuits()
    {
        hub->midi()->setPauses(std::chrono::milliseconds(3000), std::chrono::milliseconds(3000));
        hub->SendState();
        hub->SendWriteCommand();
        QTRY_COMPARE(env.sent().size(), size_t(1));
        env.plug(false);
        QVERIFY(hub->midi()->DropVanishedPorts());
        BoxAnswerer ok(QMessageBox::Ok);
        QVERIFY(env.window->close());
        QCOMPARE(ok.texts.size(), 1);
        QVERIFY2(ok.texts.first().startsWith("No device connected"), qPrintable(ok.texts.first()));
        const QString lost = ok.informative.first();
        QVERIFY2(lost.contains(QStringLiteral("mapping (%1 of").arg(mapping().size() - 1)),
                 qPrintable(lost));
        QCOMPARE(env.sent().size(), size_t(1));
        QCOMPARE(storedWriteCount(), 0);
    }

private:
    QString sounds() const { return hub->GetDataPath() + "/sounds/"; }
    // Marimba loaded through the test-sound box, then one of its samples deleted.
    void editMarimba()
    {
        testBox->setCurrentIndex(1);
        QCOMPARE(hub->GetSoundName(), QStringLiteral("Marimba.kvi"));
        QVERIFY(!hub->IsSoundModified());
        hub->FlushSelected(0);
        QCOMPARE(hub->audio()->sampleCount(), 5);
    }
    // The write count a new start reads from the data folder.
    int storedWriteCount()
    {
        env.reset();
        KorvaneCore again(std::make_unique<ScriptedMidiBackend>(env.sys));
        again.LoadWriteCount();
        again.ShutDown();
        return again.GetWriteCount();
    }
    Messages mapping() const { return KorvaneSysex::mappingRemote(hub->GetState(), false); }

    WindowTestEnv env;
    KorvaneCore *hub = nullptr;
    QComboBox *testBox = nullptr;
};

QTEST_MAIN(TestGuards)
#include "tst_guards.moc"
