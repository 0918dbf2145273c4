#include "app/mappingtabcontroller.h"
#include "audio/korvaneaudioengine.h"
#include "audio/korvanesampler.h"
#include "tests/window/formfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestMappingTab : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void muteFromHubAndFromUser();
    void scaleChoiceSpellsMinorKeys();
    void testSoundChoice();
    void octaveKeptAfterMapLoad();
    void transposeAndNodeEditsRefreshTheHand();
    void buttonsAskForTheBrowsers();
    void stepsStayInTheMidiRange();
    void panicStopsVoicesAndLights();

private:
    std::unique_ptr<FormFixture> f;
    std::unique_ptr<MappingTabController> tab;
    KorvaneCore *hub = nullptr;
    KorvaneHandWidget *hand = nullptr;
};

void TestMappingTab::init()
{
    f = std::make_unique<FormFixture>();
    hub = f->hub.get();
    hand = f->form.widget;
    tab = std::make_unique<MappingTabController>(&f->form, hub, hub->GetDataPath());
    hand->UpdateFromState(hub->GetState(0));
}

void TestMappingTab::cleanup()
{
    tab.reset();
    f.reset();
}

void TestMappingTab::muteFromHubAndFromUser()
{
    auto *mute = f->child<QCheckBox>("muteBox");
    int saved = 0;
    connect(hub, &KorvaneCore::sendStatusMessage, this,
            [&](const QString &m) { saved += m == "Settings saved." ? 1 : 0; });
    const int note = hub->GetState(0).nodes[5].note;

    // Set by the hub: the box follows, the hub is not called back.
    hand->Trigger(note, true, 100);
    tab->showMute(true);
    QVERIFY(mute->isChecked());
    QVERIFY(!hub->GetMute());
    QCOMPARE(saved, 0);
    QVERIFY(hand->node(5).triggered);

    // Set by the user: the hub mutes and saves, the lit sensors go dark.
    mute->click();
    QVERIFY(!mute->isChecked());
    QCOMPARE(saved, 1);
    hand->Trigger(note, true, 100);
    mute->click();
    QVERIFY(mute->isChecked());
    QVERIFY(hub->GetMute());
    QVERIFY(!hand->node(5).triggered);
}

void TestMappingTab::scaleChoiceSpellsMinorKeys()
{
    auto *scales = f->child<QComboBox>("comboBox");
    for (int i : {1, 2, 5, 7}) {
        scales->setCurrentIndex(i);
        QVERIFY2(!hand->majorScale(), qPrintable(scales->itemText(i)));
        QCOMPARE(hub->GetState(0).scale, i);
        QCOMPARE(f->child<QLabel>("patchNameLine")->text(), scales->itemText(i));
    }
    for (int i : {3, 0, 4, 6, 23}) {
        scales->setCurrentIndex(i);
        QVERIFY2(hand->majorScale(), qPrintable(scales->itemText(i)));
    }
    // The map browser's choice is one octave lower.
    const int octave = hub->GetState(0).octave;
    tab->generateScaleFromBrowser(3);
    QCOMPARE(hub->GetState(0).octave, octave - 1);
}

void TestMappingTab::testSoundChoice()
{
    const QString dp = hub->GetDataPath();
    QCOMPARE(MappingTabController::testSoundFile(dp, 0), dp + "/sounds/Electric Piano.kvi");
    QCOMPARE(MappingTabController::testSoundFile(dp, 1), dp + "/sounds/Marimba.kvi");
    QCOMPARE(MappingTabController::testSoundFile(dp, 2), dp + "/sounds/Flute.kvi");
    QCOMPARE(MappingTabController::testSoundFile(dp, 7), dp + "/sounds/Electric Piano.kvi");

    // The choice loads that preset: the sampler now holds its samples.
    QSignalSpy loaded(hub, &KorvaneCore::SendLoadedSoundName);
    auto *box = f->child<QComboBox>("testSoundBox");
    const struct
    {
        int index;
        const char *name;
        int samples;
    } choices[] = {{1, "Marimba", 6}, {2, "Flute", 7}, {0, "Electric Piano", 1}};
    for (const auto &c : choices) {
        loaded.clear();
        box->setCurrentIndex(c.index);
        QCOMPARE(loaded.value(0).value(0).toString(), QString(c.name));
        QCOMPARE(hub->audio()->sampleCount(), c.samples);
    }
}

void TestMappingTab::octaveKeptAfterMapLoad()
{
    // A map saved at octave 5 ...
    hub->ScaleRequest(-1, 5, -1);
    const QString path = hub->GetDataPath() + "/maps/High.kvs";
    QVERIFY(hub->SaveState(path));
    const KorvaneSensorsState saved = hub->GetState(0);
    hub->ScaleRequest(-1, 3, -1);

    // ... loads with the tab counting octave 5, so a scale chosen next stays there.
    QVERIFY(hub->LoadState(path));
    tab->showMapLoaded(true);
    QCOMPARE(tab->octaveCounter(), 5);
    QCOMPARE(f->child<QLabel>("patchNameLine")->text(), QString("High"));
    QCOMPARE(hand->node(1).note, saved.nodes[1].note);
    auto *scales = f->child<QComboBox>("comboBox");
    scales->setCurrentIndex(1);
    scales->setCurrentIndex(0);
    QCOMPARE(hub->GetState(0).octave, 5);
    QCOMPARE(hub->GetState(0).nodes[1].note, saved.nodes[1].note);

    // A map from the device counts the same way.
    KorvaneSensorsState fromDevice = saved;
    fromDevice.octave = 2;
    hub->UpdateState(fromDevice);
    tab->showMapLoaded(false);
    QCOMPARE(tab->octaveCounter(), 2);
}

void TestMappingTab::transposeAndNodeEditsRefreshTheHand()
{
    const int note = hub->GetState(0).nodes[4].note;
    f->child<QPushButton>("transposeUp")->click();
    QCOMPARE(tab->keyOffset(), 1);
    QCOMPARE(hand->node(4).note, note + 1);
    f->child<QPushButton>("oupButton")->click();
    QCOMPARE(tab->octaveCounter(), 5);
    QCOMPARE(hand->node(4).note, note + 13);
    f->child<QPushButton>("odownButton")->click();
    f->child<QPushButton>("transPoseDown")->click();
    QCOMPARE(hand->node(4).note, note);
    QCOMPARE(tab->keyOffset(), 0);

    KorvaneSensorNode cc(2, 1);
    cc.cc = 21;
    tab->setNode(cc, 2);
    QCOMPARE(hub->GetNode(2).type, 1);
    QCOMPARE(hand->nodeLabel(2), QString("CC21"));

    // The device's layout choice reaches the hand.
    tab->setRemoteMapping(2);
    QCOMPARE(hand->deviceType(), 2);
    QCOMPARE(hand->nodeCount(), 16);
}

void TestMappingTab::buttonsAskForTheBrowsers()
{
    QSignalSpy maps(tab.get(), &MappingTabController::mapBrowserRequested);
    QSignalSpy save(tab.get(), &MappingTabController::mapSaveRequested);
    QSignalSpy sounds(tab.get(), &MappingTabController::soundBrowserRequested);
    f->child<QPushButton>("patchPushButton")->click();
    f->child<QPushButton>("mapSaveButton")->click();
    f->child<QPushButton>("mapSaveButton")->click();
    f->child<QPushButton>("soundsButton")->click();
    QCOMPARE(QList<int>({maps.count(), save.count(), sounds.count()}), QList<int>({1, 2, 1}));
}

// A step that would take a sensor's note outside 0..127 is refused whole, with a status line.
void TestMappingTab::stepsStayInTheMidiRange()
{
    QSignalSpy status(tab.get(), &MappingTabController::statusMessage);
    auto notes = [this] {
        QList<int> out;
        for (const auto &n : hub->GetState(0).nodes)
            out << n.note;
        return out;
    };
    const struct
    {
        const char *button;
        int lowest, highest; // the map's note range before the steps
    } cases[] = {{"odownButton", 3, 40},
                 {"transPoseDown", 0, 40},
                 {"oupButton", 60, 120},
                 {"transposeUp", 60, 127}};
    for (const auto &c : cases) {
        KorvaneSensorsState s = hub->GetState(0);
        for (int i = 0; i < int(s.nodes.size()); ++i) {
            s.nodes[i].type = NodeNote;
            s.nodes[i].note = i == 0 ? c.lowest : i == 1 ? c.highest : (c.lowest + c.highest) / 2;
        }
        // A controller's unused note does not count.
        s.nodes[2].type = NodeControlChange;
        s.nodes[2].note = 0;
        hub->UpdateState(s);
        tab->showMapLoaded(false);
        const QList<int> before = notes();
        const int key = tab->keyOffset(), octave = tab->octaveCounter();
        status.clear();
        for (int i = 0; i < 6; ++i)
            f->child<QPushButton>(c.button)->click();
        QCOMPARE(notes(), before);
        QCOMPARE(tab->keyOffset(), key);
        QCOMPARE(tab->octaveCounter(), octave);
        QCOMPARE(status.count(), 6);
    }
    // Within the range a step still moves every note.
    status.clear();
    f->child<QPushButton>("transPoseDown")->click();
    QCOMPARE(hub->GetState(0).nodes[1].note, 126);
    QCOMPARE(status.count(), 0);
}

void TestMappingTab::panicStopsVoicesAndLights()
{
    f->child<QComboBox>("testSoundBox")->setCurrentIndex(1);
    const KorvaneSampler &sampler = hub->audio()->sampler();
    auto sounding = [&] {
        int n = 0;
        for (int i = 0; i < sampler.voiceCount(); ++i)
            n += sampler.voiceSlot(i).voice.playing() ? 1 : 0;
        return n;
    };
    const int note = hub->GetState(0).nodes[5].note;
    auto play = [&] {
        hub->audio()->noteOn(0, note, 100);
        hub->audio()->noteOn(0, note + 3, 100);
        hand->Trigger(note, true, 100);
        QCOMPARE(sounding(), 2);
        QVERIFY(hand->node(5).triggered);
    };
    play();
    f->child<QPushButton>("panicButton")->click();
    QCOMPARE(sounding(), 0);
    QVERIFY(!hand->node(5).triggered);

    // Escape with the window active does the same.
    f->host.show();
    QVERIFY(QTest::qWaitForWindowActive(&f->host));
    play();
    QTest::keyClick(&f->host, Qt::Key_Escape);
    QCOMPARE(sounding(), 0);
    QVERIFY(!hand->node(5).triggered);
}

QTEST_MAIN(TestMappingTab)
#include "tst_mappingtab.moc"
