// The mapping and settings tabs' controllers on the bare form with a hub of their own, as the
// window sets them up, without the rest of the window.
#include "app/mappingtabcontroller.h"
#include "app/settingstabcontroller.h"
#include "audio/korvaneaudioengine.h"
#include "audio/korvanesampler.h"
#include "dialogs/fixedspinbox.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowtestenv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>

#include <algorithm>
#include <iterator>

namespace {

// Status lines that mean the hub saved its settings (and so sent them to the device).
int savedCount(const QSignalSpy &status)
{
    return int(std::count_if(status.begin(), status.end(), [](const QList<QVariant> &args) {
        return args.at(0).toString() == QLatin1String("Settings saved.");
    }));
}

// What a control of the tab shows: a number, a choice or a label's number.
int shownValue(QWidget *w)
{
    if (auto *box = qobject_cast<QComboBox *>(w))
        return box->currentIndex();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text().toInt();
    if (auto *spin = qobject_cast<QSpinBox *>(w))
        return spin->value();
    return qobject_cast<QAbstractSlider *>(w)->value();
}

// A control of the settings tab, the value set there and the calibration field it reaches; a
// slider's label shows its number. Note-off set at or above note-on (16) moves just below it.
struct Control
{
    const char *tag;
    const char *widget;
    int value;
    int (*field)(const KorvaneCalibration &);
    int expected;
    const char *label = nullptr;
};

const Control kControls[] = {
    {"velocity curve", "velocityCurveBox", 0, [](auto &c) { return c.velocityCurveType; }, 0},
    {"linear table", "velocityCurveBox", 0, [](auto &c) { return int(c.velocityCurve[0]); }, 5},
    {"control curve", "controlCurveBox", 3, [](auto &c) { return c.aftertouchCurveType; }, 3},
    {"delay", "aftertouchSpinbox", 33, [](auto &c) { return int(c.aftertouchDelay); }, 33},
    {"cc", "ccNumberspinBox", 11, [](auto &c) { return int(c.globalCC); }, 11},
    {"channel", "midiChannelBox", 5, [](auto &c) { return int(c.midiChannel); }, 5},
    {"velocity", "velocitySlider", 64, [](auto &c) { return int(c.velocityScale); }, 64,
     "velocitySensitivyLabel"},
    {"control", "controlSlider", 100, [](auto &c) { return int(c.aftertouchScale); }, 100,
     "controlAmountLabel_2"},
    {"on", "onThresholdSlider", 60, [](auto &c) { return int(c.onThreshold); }, 60, "noteOnLabel"},
    {"off", "offThresholdSlider", 4, [](auto &c) { return int(c.offThreshold); }, 4,
     "noteOffLabel"},
    {"off above on", "offThresholdSlider", 30, [](auto &c) { return int(c.offThreshold); }, 15,
     "noteOffLabel"},
};

} // namespace

class TestTabs : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        f = std::make_unique<FormFixture>();
        hub = f->hub.get();
        hand = f->form.widget;
        tab = std::make_unique<MappingTabController>(&f->form, hub, hub->GetDataPath());
        settings = std::make_unique<SettingsTabController>(&f->form, hub);
        // As the window does: the hub's map and calibration are shown on the tabs.
        hand->UpdateFromState(hub->GetState(0));
        connect(hub, &KorvaneCore::UpdateSettingsUI, settings.get(),
                &SettingsTabController::showCalibration);
    }
    void cleanup()
    {
        settings.reset();
        tab.reset();
        f.reset();
    }
    // The mapping tab.
    void muteFromHubAndFromUser()
    {
        auto *mute = get<QCheckBox>("muteBox");
        QSignalSpy status(hub, &KorvaneCore::sendStatusMessage);
        const int note = hub->GetState(0).nodes[5].note;

        // Set by the hub: the box follows, the hub is not called back.
        hand->Trigger(note, true, 100);
        tab->showMute(true);
        QVERIFY(mute->isChecked());
        QVERIFY(!hub->GetMute());
        QCOMPARE(savedCount(status), 0);
        QVERIFY(hand->node(5).triggered);

        // Set by the user: the hub mutes and saves, the lit sensors go dark.
        mute->click();
        QVERIFY(!mute->isChecked());
        QCOMPARE(savedCount(status), 1);
        hand->Trigger(note, true, 100);
        mute->click();
        QVERIFY(mute->isChecked());
        QVERIFY(hub->GetMute());
        QVERIFY(!hand->node(5).triggered);
    }
    void scaleChoiceSpellsMinorKeys()
    {
        auto *scales = get<QComboBox>("comboBox");
        for (int i : {1, 2, 5, 7, 3, 0, 4, 6, 23}) {
            scales->setCurrentIndex(i);
            const bool minor = i == 1 || i == 2 || i == 5 || i == 7;
            QVERIFY2(hand->majorScale() != minor, qPrintable(scales->itemText(i)));
            QCOMPARE(hub->GetState(0).scale, i);
            QCOMPARE(f->text("patchNameLine"), scales->itemText(i));
        }
        // The map browser's choice is one octave lower.
        const int octave = hub->GetState(0).octave;
        tab->generateScaleFromBrowser(3);
        QCOMPARE(hub->GetState(0).octave, octave - 1);
    }
    // The choice loads that preset (what a load puts in the sampler is the store's to check;
    // Marimba and Flute are loaded through this box by the window's guard tests).
    void testSoundChoice()
    {
        const QString dp = hub->GetDataPath();
        QCOMPARE(MappingTabController::testSoundFile(dp, 7), dp + "/sounds/Electric Piano.kvi");
        QSignalSpy loaded(hub, &KorvaneCore::SendLoadedSoundName);
        get<QComboBox>("testSoundBox")->setCurrentIndex(1);
        get<QComboBox>("testSoundBox")->setCurrentIndex(0);
        QCOMPARE(loaded.last().value(0).toString(), QString("Electric Piano"));
    }
    void octaveKeptAfterMapLoad()
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
        QCOMPARE(f->text("patchNameLine"), QString("High"));
        QCOMPARE(hand->node(1).note, saved.nodes[1].note);
        get<QComboBox>("comboBox")->setCurrentIndex(1);
        get<QComboBox>("comboBox")->setCurrentIndex(0);
        QCOMPARE(hub->GetState(0).octave, 5);
        QCOMPARE(hub->GetState(0).nodes[1].note, saved.nodes[1].note);

        // A map from the device counts the same way.
        KorvaneSensorsState fromDevice = saved;
        fromDevice.octave = 2;
        fromDevice.key = 7;
        hub->UpdateState(fromDevice);
        tab->showMapLoaded(false);
        QCOMPARE(tab->octaveCounter(), 2);
        QCOMPARE(f->text("keyOctaveLabel"), QString("Key G · Octave 2"));
    }
    void transposeAndNodeEditsRefreshTheHand()
    {
        // Each step moves the hand's notes and the key and octave shown beside the scale.
        const int note = hub->GetState(0).nodes[4].note;
        QCOMPARE(f->text("keyOctaveLabel"), QString("Key C · Octave 4"));
        // {the button, then the key, the octave, how far note 4 moved, the label}
        const std::tuple<const char *, int, int, int, const char *> steps[] = {
            {"transposeUp", 1, 4, 1, "Key D♭ · Octave 4"},
            {"oupButton", 1, 5, 13, "Key D♭ · Octave 5"},
            {"transPoseDown", 0, 5, 12, "Key C · Octave 5"},
            {"transPoseDown", -1, 5, 11, "Key B · Octave 5"},
            {"odownButton", -1, 4, -1, "Key B · Octave 4"}};
        for (const auto &[button, key, octave, moved, shown] : steps) {
            click(button);
            QCOMPARE(tab->keyOffset(), key);
            QCOMPARE(tab->octaveCounter(), octave);
            QCOMPARE(hand->node(4).note, note + moved);
            QCOMPARE(f->text("keyOctaveLabel"), QString::fromUtf8(shown));
        }

        KorvaneSensorNode cc(2, 1);
        cc.cc = 21;
        tab->setNode(cc, 2);
        QCOMPARE(hub->GetNode(2).type, 1);
        QCOMPARE(hand->nodeLabel(2), QString("CC21"));
    }
    // A step that would take a sensor's note outside 0..127 is refused whole, with a status line.
    void stepsStayInTheMidiRange()
    {
        QSignalSpy status(tab.get(), &MappingTabController::statusMessage);
        auto notes = [this] {
            QList<int> out;
            for (const auto &n : hub->GetState(0).nodes)
                out << n.note;
            return out;
        };
        // {the button, the map's lowest and highest note before the steps}
        const std::tuple<const char *, int, int> cases[] = {{"transPoseDown", 0, 40},
                                                            {"transposeUp", 60, 127}};
        for (const auto &[button, lowest, highest] : cases) {
            KorvaneSensorsState s = hub->GetState(0);
            for (int i = 0; i < int(s.nodes.size()); ++i) {
                s.nodes[i].type = NodeNote;
                s.nodes[i].note = i == 0 ? lowest : i == 1 ? highest : (lowest + highest) / 2;
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
                click(button);
            QCOMPARE(notes(), before);
            QCOMPARE(tab->keyOffset(), key);
            QCOMPARE(tab->octaveCounter(), octave);
            QCOMPARE(status.count(), 6);
        }
        // Within the range a step still moves every note.
        status.clear();
        click("transPoseDown");
        QCOMPARE(hub->GetState(0).nodes[1].note, 126);
        QCOMPARE(status.count(), 0);
    }
    void panicStopsVoicesAndLights()
    {
        get<QComboBox>("testSoundBox")->setCurrentIndex(1);
        const KorvaneSampler &sampler = hub->audio()->sampler();
        const int note = hub->GetState(0).nodes[5].note;
        // Escape with the window active does what the button does.
        for (bool escape : {false, true}) {
            hub->audio()->noteOn(0, note, 100);
            hub->audio()->noteOn(0, note + 3, 100);
            hand->Trigger(note, true, 100);
            QVERIFY(hand->node(5).triggered);
            int sounding = 0;
            for (int i = 0; i < sampler.voiceCount(); ++i)
                sounding += sampler.voiceSlot(i).voice.playing() ? 1 : 0;
            QCOMPARE(sounding, 2);
            if (escape) {
                f->host.show();
                QVERIFY(QTest::qWaitForWindowActive(&f->host));
                QTest::keyClick(&f->host, Qt::Key_Escape);
            } else {
                click("panicButton");
            }
            for (int i = 0; i < sampler.voiceCount(); ++i)
                QVERIFY(!sampler.voiceSlot(i).voice.playing());
            QVERIFY(!hand->node(5).triggered);
        }
    }
    // The settings tab.
    // A key held (or a wheel spun: the same change of value) commits once, when the slider
    // settles, through the same rule as a release.
    void keysCommitOnceSettled()
    {
        settings->showCalibration(hub->getCalibration()); // note-on 16, note-off 8
        QSignalSpy status(hub, &KorvaneCore::sendStatusMessage);
        auto *on = get<QSlider>("onThresholdSlider");
        // Ten steps take note-on past note-off: the rule puts it just above.
        for (int i = 0; i < 10; ++i)
            QTest::keyClick(on, Qt::Key_Left);
        QTRY_COMPARE(int(hub->getCalibration().onThreshold), 9);
        QCOMPARE(on->value(), 9);
        QCOMPARE(f->text("noteOnLabel"), QString("9"));
        QCOMPARE(savedCount(status), 1);

        // The device's calibration arriving meanwhile wins over a change still waiting.
        QTest::keyClick(on, Qt::Key_Right);
        KorvaneCalibration c = hub->getCalibration();
        c.onThreshold = 50;
        hub->LoadCalibrationFromSysEx(c);
        QTest::qWait(500);
        QCOMPARE(int(hub->getCalibration().onThreshold), 50);
        QCOMPARE(on->value(), 50);
        QCOMPARE(savedCount(status), 1);
    }
    void calibrationFromDeviceSendsNothingBack()
    {
        QVERIFY(hub->SaveSettings());
        const QByteArray before = testfiles::read(hub->GetDataPath() + "/settings.ini");
        QSignalSpy status(hub, &KorvaneCore::sendStatusMessage);

        KorvaneCalibration c;
        c.aftertouchDelay = 70;
        c.onThreshold = 44;
        c.offThreshold = 22;
        c.velocityScale = 99.0f;
        c.aftertouchScale = 12.0f;
        c.globalControl = 2;
        c.globalCC = 74;
        c.setVelocityCurveType(3);
        c.setAftertouchCurveType(1);
        c.midiChannel = 9;
        hub->LoadCalibrationFromSysEx(c);
        const QList<QPair<const char *, int>> shown = {
            {"aftertouchSpinbox", 70}, {"onThresholdSlider", 44},    {"offThresholdSlider", 22},
            {"noteOffLabel", 22},      {"velocitySlider", 99},       {"velocitySensitivyLabel", 99},
            {"controlSlider", 12},     {"controlAmountLabel_2", 12}, {"defaultControlBox", 2},
            {"ccNumberspinBox", 74},   {"velocityCurveBox", 3},      {"controlCurveBox", 1},
            {"midiChannelBox", 9}};
        for (const auto &s : shown)
            QVERIFY2(shownValue(get(s.first)) == s.second, s.first);

        // Nothing went back: no save (which is what sends), the settings file is as it was.
        QCOMPARE(savedCount(status), 0);
        QCOMPARE(testfiles::read(hub->GetDataPath() + "/settings.ini"), before);
    }
    void controlsReachTheHub_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kControls)); ++i)
            QTest::newRow(kControls[i].tag) << i;
    }
    void controlsReachTheHub()
    {
        QFETCH(int, row);
        const Control &c = kControls[row];
        QSignalSpy status(hub, &KorvaneCore::sendStatusMessage);
        QWidget *w = get(c.widget);
        if (auto *box = qobject_cast<QComboBox *>(w)) {
            box->setCurrentIndex(c.value);
        } else if (auto *spin = qobject_cast<QSpinBox *>(w)) {
            spin->setValue(c.value);
        } else if (auto *slider = qobject_cast<QSlider *>(w)) {
            // A slider reaches the hub when released; its number follows while it moves.
            slider->setValue(c.value);
            emit slider->sliderMoved(c.value);
            emit slider->sliderReleased();
            QCOMPARE(slider->value(), c.expected);
            QCOMPARE(f->text(c.label), QString::number(c.expected));
        }
        QCOMPARE(c.field(hub->getCalibration()), c.expected);
        // Each change is saved (and so sent) once, and survives in the data folder.
        QCOMPARE(savedCount(status), 1);
        QVERIFY(hub->LoadSettings());
        QCOMPARE(c.field(hub->getCalibration()), c.expected);
    }
    // That Pitch Bend takes the bend assignments out of the map before the save is caught by
    // the undo tests' uploads; here, that no other kind touches them.
    void onlyPitchBendRemovesBendAssignments()
    {
        KorvaneSensorNode bend = hub->GetNode(3);
        bend.type = 4;
        hub->SetNode(bend, 3);
        auto *control = get<QComboBox>("defaultControlBox");
        control->setCurrentIndex(1);
        QCOMPARE(hub->GetNode(3).type, 4);

        // removeGlobalBend resets the choice silently only while it is "Pitch Bend".
        settings->removeGlobalBend();
        QCOMPARE(hub->getCalibration().globalControl, 1);
        control->setCurrentIndex(2);
        settings->removeGlobalBend();
        QCOMPARE(hub->getCalibration().globalControl, 0);
        QCOMPARE(control->currentIndex(), 0);
    }

private:
    template <typename T = QWidget> T *get(const char *name) { return f->get<T>(name); }
    void click(const char *button) { get<QPushButton>(button)->click(); }

    std::unique_ptr<FormFixture> f;
    std::unique_ptr<MappingTabController> tab;
    std::unique_ptr<SettingsTabController> settings;
    KorvaneCore *hub = nullptr;
    KorvaneHandWidget *hand = nullptr;
};

QTEST_MAIN(TestTabs)
#include "tst_tabs.moc"
