#include "app/settingstabcontroller.h"
#include "dialogs/fixedspinbox.h"
#include "tests/window/formfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QWheelEvent>
#include <QtTest>

#include <iterator>

namespace {

// Status lines that mean the hub saved its settings (and so sent them to the device).
int savedCount(const QSignalSpy &status)
{
    int n = 0;
    for (const auto &args : status)
        n += args.at(0).toString() == QLatin1String("Settings saved.") ? 1 : 0;
    return n;
}

// A control of the tab, the value set there and the calibration field it reaches.
struct Control
{
    const char *tag;
    const char *widget;
    int value;
    int (*field)(const KorvaneCalibration &);
    int expected;
};

const Control kControls[] = {
    {"velocity curve", "velocityCurveBox", 0, [](auto &c) { return c.velocityCurveType; }, 0},
    {"linear table", "velocityCurveBox", 0, [](auto &c) { return int(c.velocityCurve[0]); }, 5},
    {"control curve", "controlCurveBox", 3, [](auto &c) { return c.aftertouchCurveType; }, 3},
    {"delay", "aftertouchSpinbox", 33, [](auto &c) { return int(c.aftertouchDelay); }, 33},
    {"cc", "ccNumberspinBox", 11, [](auto &c) { return int(c.globalCC); }, 11},
    {"channel", "midiChannelBox", 5, [](auto &c) { return int(c.midiChannel); }, 5},
    {"velocity", "velocitySlider", 64, [](auto &c) { return int(c.velocityScale); }, 64},
    {"control", "controlSlider", 100, [](auto &c) { return int(c.aftertouchScale); }, 100},
};

} // namespace

class TestSettingsTab : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void thresholdRule();
    void keysAndWheelCommitOnceSettled();
    void calibrationFromDeviceSendsNothingBack();
    void controlsReachTheHub_data();
    void controlsReachTheHub();
    void pitchBendRemovesBendAssignmentsFirst();
    void buttons();

private:
    std::unique_ptr<FormFixture> f;
    std::unique_ptr<SettingsTabController> tab;
    KorvaneCore *hub = nullptr;
};

void TestSettingsTab::init()
{
    f = std::make_unique<FormFixture>();
    hub = f->hub.get();
    tab = std::make_unique<SettingsTabController>(&f->form, hub);
    // As the window does: the hub's calibration is shown on the tab.
    connect(hub, &KorvaneCore::UpdateSettingsUI, tab.get(),
            &SettingsTabController::showCalibration);
}

void TestSettingsTab::cleanup()
{
    tab.reset();
    f.reset();
}

void TestSettingsTab::thresholdRule()
{
    KorvaneCalibration c = hub->getCalibration();
    c.onThreshold = 40;
    c.offThreshold = 30;
    hub->setCalibration(c);
    auto *on = f->child<QSlider>("onThresholdSlider");
    auto *off = f->child<QSlider>("offThresholdSlider");

    // Note-on released at or below note-off moves just above it.
    on->setValue(30);
    emit on->sliderReleased();
    QCOMPARE(int(hub->getCalibration().onThreshold), 31);
    QCOMPARE(on->value(), 31);
    QCOMPARE(f->child<QLabel>("noteOnLabel")->text(), QString("31"));
    on->setValue(60);
    emit on->sliderReleased();
    QCOMPARE(int(hub->getCalibration().onThreshold), 60);

    // Note-off released at or above note-on moves just below it.
    off->setValue(75);
    emit off->sliderReleased();
    QCOMPARE(int(hub->getCalibration().offThreshold), 59);
    QCOMPARE(off->value(), 59);
    QCOMPARE(f->child<QLabel>("noteOffLabel")->text(), QString("59"));
    off->setValue(12);
    emit off->sliderReleased();
    QCOMPARE(int(hub->getCalibration().offThreshold), 12);
}

// A key held or a wheel spun commits once, when the slider settles, through the same rule.
void TestSettingsTab::keysAndWheelCommitOnceSettled()
{
    KorvaneCalibration c = hub->getCalibration();
    c.onThreshold = 16;
    c.offThreshold = 8;
    c.velocityScale = 1.0f;
    hub->setCalibration(c);
    tab->showCalibration(c);
    QSignalSpy status(hub, &KorvaneCore::sendStatusMessage);
    auto *on = f->child<QSlider>("onThresholdSlider");
    auto *off = f->child<QSlider>("offThresholdSlider");
    auto *velocity = f->child<QSlider>("velocitySlider");
    auto wheelNotch = [](QWidget *w) {
        QWheelEvent e(QPointF(5, 5), w->mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
    };

    for (int i = 0; i < 5; ++i)
        QTest::keyClick(on, Qt::Key_Right);
    QCOMPARE(f->child<QLabel>("noteOnLabel")->text(), QString("21"));
    QTRY_COMPARE(int(hub->getCalibration().onThreshold), 21);
    QCOMPARE(savedCount(status), 1);

    QTest::keyClick(velocity, Qt::Key_PageUp);
    QCOMPARE(f->child<QLabel>("velocitySensitivyLabel")->text(),
             QString::number(velocity->value()));
    QTRY_COMPARE(int(hub->getCalibration().velocityScale), velocity->value());
    QVERIFY(velocity->value() > 1);

    // Ten notches take note-off past note-on: the rule puts it just below.
    for (int i = 0; i < 10; ++i)
        wheelNotch(off);
    QTRY_COMPARE(int(hub->getCalibration().offThreshold), 20);
    QCOMPARE(off->value(), 20);
    QCOMPARE(f->child<QLabel>("noteOffLabel")->text(), QString("20"));
    QCOMPARE(savedCount(status), 3);
    QVERIFY(hub->LoadSettings());
    QCOMPARE(int(hub->getCalibration().offThreshold), 20);

    // The device's calibration arriving meanwhile wins over a change still waiting.
    QTest::keyClick(on, Qt::Key_Right);
    c = hub->getCalibration();
    c.onThreshold = 50;
    hub->LoadCalibrationFromSysEx(c);
    QTest::qWait(500);
    QCOMPARE(int(hub->getCalibration().onThreshold), 50);
    QCOMPARE(on->value(), 50);
    QCOMPARE(savedCount(status), 3);
}

void TestSettingsTab::calibrationFromDeviceSendsNothingBack()
{
    QVERIFY(hub->SaveSettings());
    QFile file(hub->GetDataPath() + "/settings.ini");
    QVERIFY(file.open(QFile::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
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

    QCOMPARE(f->child<FixedSpinBox>("aftertouchSpinbox")->value(), 70);
    QCOMPARE(f->child<QSlider>("onThresholdSlider")->value(), 44);
    QCOMPARE(f->child<QSlider>("offThresholdSlider")->value(), 22);
    QCOMPARE(f->child<QLabel>("noteOffLabel")->text(), QString("22"));
    QCOMPARE(f->child<QSlider>("velocitySlider")->value(), 99);
    QCOMPARE(f->child<QLabel>("velocitySensitivyLabel")->text(), QString("99"));
    QCOMPARE(f->child<QSlider>("controlSlider")->value(), 12);
    QCOMPARE(f->child<QLabel>("controlAmountLabel_2")->text(), QString("12"));
    QCOMPARE(f->child<QComboBox>("defaultControlBox")->currentIndex(), 2);
    QCOMPARE(f->child<FixedSpinBox>("ccNumberspinBox")->value(), 74);
    QCOMPARE(f->child<QComboBox>("velocityCurveBox")->currentIndex(), 3);
    QCOMPARE(f->child<QComboBox>("controlCurveBox")->currentIndex(), 1);
    QCOMPARE(f->child<QComboBox>("midiChannelBox")->currentIndex(), 9);

    // Nothing went back: no save (which is what sends), the settings file is as it was.
    QCOMPARE(savedCount(status), 0);
    QVERIFY(file.open(QFile::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void TestSettingsTab::controlsReachTheHub_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kControls)); ++i)
        QTest::newRow(kControls[i].tag) << i;
}

void TestSettingsTab::controlsReachTheHub()
{
    QFETCH(int, row);
    const Control &c = kControls[row];
    const QString widget = c.widget;
    const int value = c.value;
    QSignalSpy status(hub, &KorvaneCore::sendStatusMessage);
    QWidget *w = f->child<QWidget>(qPrintable(widget));
    if (auto *box = qobject_cast<QComboBox *>(w)) {
        box->setCurrentIndex(value);
    } else if (auto *spin = qobject_cast<QSpinBox *>(w)) {
        spin->setValue(value);
    } else if (auto *slider = qobject_cast<QSlider *>(w)) {
        // A slider reaches the hub when released; its number follows while it moves.
        slider->setValue(value);
        emit slider->sliderMoved(value);
        emit slider->sliderReleased();
        const char *label =
            widget == "velocitySlider" ? "velocitySensitivyLabel" : "controlAmountLabel_2";
        QCOMPARE(f->child<QLabel>(label)->text(), QString::number(value));
    }
    QCOMPARE(c.field(hub->getCalibration()), c.expected);
    // Each change is saved (and so sent) once, and survives in the data folder.
    QCOMPARE(savedCount(status), 1);
    QVERIFY(hub->LoadSettings());
    QCOMPARE(c.field(hub->getCalibration()), c.expected);
}

void TestSettingsTab::pitchBendRemovesBendAssignmentsFirst()
{
    KorvaneSensorNode bend = hub->GetNode(3);
    bend.type = 4;
    hub->SetNode(bend, 3);
    KorvaneSensorNode bendUp = hub->GetNode(6);
    bendUp.type = 2;
    bendUp.action = 7;
    hub->SetNode(bendUp, 6);

    QStringList events;
    connect(hub, &KorvaneCore::SendStateUI, this, [&] { events << "state"; });
    connect(hub, &KorvaneCore::sendStatusMessage, this, [&](QString m) {
        if (m == "Settings saved.")
            events << "settings";
    });
    auto *control = f->child<QComboBox>("defaultControlBox");
    control->setCurrentIndex(2);

    QCOMPARE(hub->GetNode(3).type, 2);
    QCOMPARE(hub->GetNode(3).action, 0);
    QCOMPARE(hub->GetNode(6).action, 0);
    QCOMPARE(hub->getCalibration().globalControl, 2);
    QCOMPARE(events, QStringList({"state", "settings"}));

    // Another kind leaves the map alone.
    events.clear();
    control->setCurrentIndex(1);
    QCOMPARE(events, QStringList({"settings"}));

    // removeGlobalBend resets the choice silently only while it is "Pitch Bend".
    tab->removeGlobalBend();
    QCOMPARE(hub->getCalibration().globalControl, 1);
    control->setCurrentIndex(2);
    tab->removeGlobalBend();
    QCOMPARE(hub->getCalibration().globalControl, 0);
    QCOMPARE(control->currentIndex(), 0);
}

void TestSettingsTab::buttons()
{
    QSignalSpy version(tab.get(), &SettingsTabController::versionRequested);
    f->child<QPushButton>("versionButton")->click();
    QCOMPARE(version.count(), 1);
}

QTEST_MAIN(TestSettingsTab)
#include "tst_settingstab.moc"
