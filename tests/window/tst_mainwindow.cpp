#include "app/mainwindow.h"
#include "audio/korvaneaudioengine.h"
#include "core/korvanecore.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/fixedspinbox.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startsWithTheFormDefaults();
    void buttonsReachTheirWindows();
    void requestsReachTheWindow();
    void editorOpensOnTheInstrumentInMemory();
    void sensorDialogStartsFromTheLastBend();

private:
    template <typename T> T *child(const char *name)
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("missing %s", name);
        return w;
    }

    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<MainWindow> window;
    KorvaneCore *hub = nullptr;
};

void TestMainWindow::init()
{
    QCoreApplication::setApplicationName(QStringLiteral("varno-control-test"));
    data = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", data->path().toUtf8());
    window = std::make_unique<MainWindow>();
    hub = window->core();
}

void TestMainWindow::cleanup()
{
    window.reset();
    data.reset();
}

void TestMainWindow::startsWithTheFormDefaults()
{
    QCOMPARE(window->windowTitle(), QString("VARNO Control"));
    QCOMPARE(window->objectName(), QString("MainWindow"));
    QCOMPARE(child<QComboBox>("comboBox")->count(), 24);
    QCOMPARE(child<QComboBox>("comboBox")->itemText(20), QString("Ukranian Dorian"));
    QCOMPARE(child<QComboBox>("testSoundBox")->itemText(0), QString("E Piano"));
    QCOMPARE(child<QComboBox>("midiChannelBox")->itemText(15), QString("16"));
    QCOMPARE(child<QSlider>("velocitySlider")->maximum(), 128);
    QCOMPARE(child<QSlider>("volSlider")->value(), 50);
    QCOMPARE(child<FixedSpinBox>("aftertouchSpinbox")->maximum(), 99);
    QCOMPARE(child<QLabel>("controlCurveLabel")->text(), QString("Sensitivty curve:"));
    QCOMPARE(window->getOctaveCounter(), 4);
    QCOMPARE(window->getKeyOffset(), 0);
    // The calibration the hub loaded is shown: the defaults of a fresh data folder.
    QCOMPARE(child<QSlider>("onThresholdSlider")->value(), 16);
    QCOMPARE(child<QLabel>("noteOnLabel")->text(), QString("16"));
    QCOMPARE(child<QComboBox>("defaultControlBox")->currentIndex(), 4);
    QVERIFY(window->styleSheetText().contains("QPushButton"));
    QCOMPARE(window->styleSheet(), window->styleSheetText());
    // Status lines reach both labels.
    emit hub->sendStatusMessage("hello");
    QCOMPARE(child<QLabel>("mainmessages")->text(), QString("hello"));
    QCOMPARE(child<QLabel>("statuslabel")->text(), QString("hello"));
}

void TestMainWindow::buttonsReachTheirWindows()
{
    auto *browser = window->findChild<KorvaneSoundView *>();
    QVERIFY(browser);
    QVERIFY(!browser->isVisible());
    QTest::mouseClick(child<QPushButton>("soundsButton"), Qt::LeftButton);
    QVERIFY(browser->isVisible());
    browser->hide();
    child<QPushButton>("patchPushButton")->click();
    QVERIFY(window->patchView()->isVisible());
    child<QPushButton>("mapSaveButton")->click();
    QVERIFY(window->nameDialog()->isVisible());
    QCOMPARE(window->nameDialog()->getMode(), 0);
    for (const char *about : {"versionButton", "actionAbout_Korvane_Control"}) {
        window->aboutDialog()->hide();
        if (auto *b = window->findChild<QPushButton *>(about))
            b->click();
        else
            child<QAction>(about)->trigger();
        QVERIFY2(window->aboutDialog()->isVisible(), about);
    }

    // The tabs' state reads through the window.
    child<QPushButton>("oupButton")->click();
    QCOMPARE(window->getOctaveCounter(), 5);
    emit hub->SendMute(true);
    QVERIFY(child<QCheckBox>("muteBox")->isChecked());
}

void TestMainWindow::requestsReachTheWindow()
{
    // The editor's changes mark the instrument unsaved.
    QVERIFY(!window->isUnsaved());
    emit window->soundEditView()->SendEnvelopeAttack(40);
    QVERIFY(window->isUnsaved());
    // A map saved under a new name is named above the hand; refusals reach the status line.
    const QString maps = hub->GetDataPath() + "/maps";
    window->NewState(maps);
    window->ReceiveName(0, "Gig");
    QVERIFY(QFileInfo::exists(maps + "/Gig.kvs"));
    QCOMPARE(child<QLabel>("patchNameLine")->text(), QString("Gig"));
    window->DeleteFolder(maps);
    QVERIFY(child<QLabel>("statuslabel")->text().contains("top folder"));
}

void TestMainWindow::editorOpensOnTheInstrumentInMemory()
{
    QSignalSpy loaded(hub, &KorvaneCore::SendLoadedSoundName);
    const int samples = hub->audio()->sampleCount();
    emit window->soundEditView()->SendEnvelopeAttack(40);
    // Twice: after closing, the same instrument opens again, edits and all.
    for (int i = 0; i < 2; ++i) {
        window->soundEditView()->hide();
        child<QPushButton>("soundEditButton")->click();
        QVERIFY(window->soundEditView()->isVisible());
    }
    QCOMPARE(loaded.count(), 0);
    QVERIFY(window->isUnsaved());
    QCOMPARE(hub->audio()->sampleCount(), samples);
    QCOMPARE(hub->audio()->currentInstrument().envelope.attack, 40);
}

void TestMainWindow::sensorDialogStartsFromTheLastBend()
{
    KorvaneBendSettings last;
    last.bendSpeed = 77;
    last.releaseDelay = 5;
    hub->SendBendSettings(last);
    window->OpenNodeView(3);
    QSignalSpy sent(window->nodeView(), &KorvaneNodeView::SendBendSettings);
    child<QCheckBox>("halfwayBox")->click();
    QCOMPARE(sent.count(), 1);
    const auto bend = sent.at(0).at(0).value<KorvaneBendSettings>();
    QCOMPARE(int(bend.bendSpeed), 77);
    QCOMPARE(int(bend.releaseDelay), 5);
    QCOMPARE(int(bend.halfway), last.halfway ? 0 : 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
