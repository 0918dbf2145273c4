// Quitting loses no upload without a word: what is queued leaves first while a progress
// dialog shows it, "Quit Now" stops at once and says what did not leave, and the write count
// follows exactly the ROM writes that left. The device is a scripted MIDI system.
#include "app/mainwindow.h"
#include "core/korvanecore.h"
#include "device/korvanemidiengine.h"
#include "device/sysexcodec.h"
#include "tests/support/scriptedmidibackend.h"
#include "tests/support/windowtestenv.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>

using Messages = std::vector<std::vector<uint8_t>>;

namespace {
// Watches for the quit progress dialog; presses its cancel button ("Quit Now") when asked to.
class ProgressWatcher : public QObject
{
public:
    explicit ProgressWatcher(bool quitNow) : quitNow(quitNow)
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<QProgressDialog *>(w);
                if (!dialog || !dialog->isVisible())
                    continue;
                if (auto *button = dialog->findChild<QPushButton *>())
                    buttonText = button->text();
                seen = true;
                if (this->quitNow && dialog->value() >= 1)
                    dialog->findChild<QPushButton *>()->click();
            }
        });
        timer.start(5);
    }
    bool seen = false;
    QString buttonText;

private:
    bool quitNow;
    QTimer timer;
};
} // namespace

class TestQuitGuard : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { window.reset(); }
    void quittingSendsEverythingQueued();
    void quitNowSaysWhatWasNotSent();
    void romWriteThatLeftIsCounted();
    void noDeviceSaysSoAndQuits();

private:
    // The mapping and ROM write messages that reached the device, in order.
    Messages sentUploads() const;
    // The write count a new start reads from the data folder.
    int storedWriteCount();
    Messages mapping() const { return KorvaneSysex::mappingRemote(hub->GetState(), false); }

    HubTestEnv data;
    std::shared_ptr<ScriptedMidiSystem> sys;
    std::unique_ptr<MainWindow> window;
    KorvaneCore *hub = nullptr;
};

void TestQuitGuard::init()
{
    data.renew();
    sys = std::make_shared<ScriptedMidiSystem>();
    sys->setInputPorts({"KVRN Glove"});
    sys->setOutputPorts({"KVRN Glove"});
    window = std::make_unique<MainWindow>(std::make_unique<ScriptedMidiBackend>(sys));
    waitForTheStream(window.get());
    hub = window->core();
    QVERIFY(hub->midi()->isOutputOpen());
    QVERIFY(hub->midi()->waitForUploads(2000));
    sys->clearSent();
    window->show();
}

Messages TestQuitGuard::sentUploads() const
{
    Messages out;
    for (const auto &s : sys->sent())
        if (s.bytes != KorvaneSysex::infoRequest())
            out.push_back(s.bytes);
    return out;
}

int TestQuitGuard::storedWriteCount()
{
    window.reset();
    KorvaneCore again(std::make_unique<ScriptedMidiBackend>(sys));
    again.LoadWriteCount();
    again.ShutDown();
    return again.GetWriteCount();
}

void TestQuitGuard::quittingSendsEverythingQueued()
{
    hub->midi()->setPauses(std::chrono::milliseconds(20), std::chrono::milliseconds(20));
    const Messages expected = [this] {
        Messages m = mapping();
        m.push_back(KorvaneSysex::eepromWrite());
        return m;
    }();
    hub->SendState();
    hub->SendWriteCommand();
    ProgressWatcher watcher(false);
    QVERIFY(window->close());
    QVERIFY(watcher.seen);
    QCOMPARE(watcher.buttonText, QStringLiteral("Quit Now"));
    QCOMPARE(sentUploads().size(), expected.size());
    QVERIFY(sentUploads() == expected);
    QCOMPARE(hub->GetWriteCount(), 1);
    QCOMPARE(storedWriteCount(), 1);
}

void TestQuitGuard::quitNowSaysWhatWasNotSent()
{
    hub->midi()->setPauses(std::chrono::milliseconds(150), std::chrono::milliseconds(150));
    hub->SendState();
    hub->SendWriteCommand();
    ProgressWatcher watcher(true);
    BoxAnswerer ok(QMessageBox::Ok);
    QVERIFY(window->close());
    QVERIFY(watcher.seen);
    const Messages sent = sentUploads();
    QVERIFY(!sent.empty() && sent.size() < mapping().size());
    QCOMPARE(ok.texts.size(), 1);
    const QString lost = ok.informative.value(0);
    QVERIFY2(lost.contains(QStringLiteral("mapping (%1 of %2 messages)")
                               .arg(mapping().size() - sent.size())
                               .arg(mapping().size())),
             qPrintable(lost));
    QVERIFY2(lost.contains("ROM write"), qPrintable(lost));
    QCOMPARE(storedWriteCount(), 0);
}

void TestQuitGuard::romWriteThatLeftIsCounted()
{
    // Quit Now during the pause after the ROM write left: it counts, and nothing is missing.
    hub->midi()->setPauses(std::chrono::milliseconds(3000), std::chrono::milliseconds(3000));
    hub->SendWriteCommand();
    QTRY_COMPARE(sentUploads().size(), size_t(1));
    ProgressWatcher watcher(true);
    BoxAnswerer ok(QMessageBox::Ok);
    QVERIFY(window->close());
    QVERIFY(ok.texts.isEmpty());
    QCOMPARE(storedWriteCount(), 1);

    // It has left and the sender is idle; its report waits in the event queue, which no
    // loop runs again.
    init(); // a fresh data folder
    hub->SendWriteCommand();
    QVERIFY(hub->midi()->waitForUploads(2000));
    QVERIFY(window->close());
    QCOMPARE(storedWriteCount(), 1);
}

void TestQuitGuard::noDeviceSaysSoAndQuits()
{
    hub->midi()->setPauses(std::chrono::milliseconds(3000), std::chrono::milliseconds(3000));
    hub->SendState();
    hub->SendWriteCommand();
    QTRY_COMPARE(sentUploads().size(), size_t(1));
    sys->setInputPorts({});
    sys->setOutputPorts({});
    QVERIFY(hub->midi()->DropVanishedPorts());
    BoxAnswerer ok(QMessageBox::Ok);
    QVERIFY(window->close());
    QCOMPARE(ok.texts.size(), 1);
    QVERIFY2(ok.texts.first().startsWith("No device connected"), qPrintable(ok.texts.first()));
    QVERIFY2(
        ok.informative.first().contains(QStringLiteral("mapping (%1 of").arg(mapping().size() - 1)),
        qPrintable(ok.informative.first()));
    QCOMPARE(sentUploads().size(), size_t(1));
    QCOMPARE(storedWriteCount(), 0);
}

QTEST_MAIN(TestQuitGuard)
#include "tst_quitguard.moc"
