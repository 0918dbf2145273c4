#include "app/settingstabcontroller.h"

#include "app/mainwindowform.h"
#include "core/korvanecore.h"
#include "dialogs/fixedspinbox.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

namespace {

// A key held down or a spinning wheel moves a slider many times a second; the change is sent
// once the slider has rested this long.
constexpr int kSettleMs = 300;

} // namespace

SettingsTabController::SettingsTabController(MainWindowForm *ui, KorvaneCore *hub, QObject *parent)
    : QObject(parent), ui(ui), hub(hub)
{
    bindSlider(ui->onThresholdSlider, ui->noteOnLabel, [this] { onThresholdReleased(); });
    bindSlider(ui->offThresholdSlider, ui->noteOffLabel, [this] { offThresholdReleased(); });
    bindSlider(ui->velocitySlider, ui->velocitySensitivyLabel, [this] {
        changeCalibration([this](KorvaneCalibration &c) {
            c.velocityScale = float(this->ui->velocitySlider->value());
        });
    });
    bindSlider(ui->controlSlider, ui->controlAmountLabel_2, [this] {
        changeCalibration([this](KorvaneCalibration &c) {
            c.aftertouchScale = float(this->ui->controlSlider->value());
        });
    });
    const auto indexChanged = QOverload<int>::of(&QComboBox::currentIndexChanged);
    connect(ui->velocityCurveBox, indexChanged, this, [this](int index) {
        changeCalibration([index](KorvaneCalibration &c) { c.setVelocityCurveType(index); });
    });
    connect(ui->controlCurveBox, indexChanged, this, [this](int index) {
        changeCalibration([index](KorvaneCalibration &c) { c.setAftertouchCurveType(index); });
    });
    connect(ui->aftertouchSpinbox, QOverload<int>::of(&FixedSpinBox::valueChanged), this,
            [this](int value) {
                changeCalibration(
                    [value](KorvaneCalibration &c) { c.aftertouchDelay = uint8_t(value); });
            });
    connect(ui->defaultControlBox, indexChanged, this, &SettingsTabController::globalControlChosen);
    connect(ui->ccNumberspinBox, QOverload<int>::of(&FixedSpinBox::valueChanged), this,
            [this](int value) {
                changeSettings([value](KorvaneCalibration &c) { c.globalCC = uint8_t(value); });
            });
    connect(ui->midiChannelBox, indexChanged, this, [this](int index) {
        changeSettings([index](KorvaneCalibration &c) { c.midiChannel = uint8_t(index); });
    });

    connect(ui->syncButton, &QPushButton::clicked, hub, [hub] { hub->SyncToDevice(); });
    connect(ui->ROMButton, &QPushButton::clicked, hub, [hub] { hub->SendWriteCommand(); });
    connect(ui->reConButton, &QPushButton::clicked, hub, [hub] { hub->ReconnectMIDI(); });
    connect(ui->disconButton, &QPushButton::clicked, hub, [hub] { hub->DisconnectMIDI(); });
    connect(ui->versionButton, &QPushButton::clicked, this,
            &SettingsTabController::versionRequested);
    connect(ui->volSlider, &QSlider::valueChanged, hub,
            [hub](int v) { hub->setSamplerVolume(float(v * 0.010101010101010102)); });
}

// The number right of a slider follows it whatever moves it. A drag commits on release; a key
// or the wheel (the slider is not down) commits once the slider has settled, so a held key
// sends one upload, not one per step.
void SettingsTabController::bindSlider(QSlider *slider, QLabel *label, std::function<void()> commit)
{
    auto *settle = new QTimer(this);
    settle->setSingleShot(true);
    settle->setInterval(kSettleMs);
    settleTimers << settle;
    auto run = [slider, commit = std::move(commit), settle] {
        settle->stop();
        // The threshold rule may move the slider back: that is not a new change.
        const QSignalBlocker block(slider);
        commit();
    };
    connect(settle, &QTimer::timeout, this, run);
    connect(slider, &QSlider::sliderReleased, this, run);
    connect(slider, &QSlider::sliderMoved, label,
            [label](int value) { label->setText(QString::number(value)); });
    connect(slider, &QSlider::valueChanged, this, [slider, label, settle](int value) {
        label->setText(QString::number(value));
        if (!slider->isSliderDown())
            settle->start();
    });
}

void SettingsTabController::recorded(const std::function<void()> &edit)
{
    // The step is named from the field that changed.
    if (recorder)
        recorder(QString(), edit);
    else
        edit();
}

template <typename Change> void SettingsTabController::changeCalibration(Change change)
{
    recorded([&] {
        KorvaneCalibration calib = hub->getCalibration();
        change(calib);
        hub->setCalibration(calib);
    });
}

template <typename Change> void SettingsTabController::changeSettings(Change change)
{
    recorded([&] {
        KorvaneCalibration calib = hub->getCalibration();
        change(calib);
        hub->setSettings(calib);
    });
}

// Note-on must stay above note-off: a release on the wrong side moves the slider back.
void SettingsTabController::onThresholdReleased()
{
    recorded([this] { commitOnThreshold(); });
}

void SettingsTabController::commitOnThreshold()
{
    KorvaneCalibration calib = hub->getCalibration();
    const int off = calib.offThreshold;
    int on = ui->onThresholdSlider->value();
    if (off >= on) {
        on = off + 1;
        ui->onThresholdSlider->setValue(on);
        ui->noteOnLabel->setText(QString::number(on));
    }
    calib.onThreshold = uint8_t(on);
    hub->setCalibration(calib);
}

void SettingsTabController::offThresholdReleased()
{
    recorded([this] { commitOffThreshold(); });
}

void SettingsTabController::commitOffThreshold()
{
    KorvaneCalibration calib = hub->getCalibration();
    const int on = calib.onThreshold;
    int off = ui->offThresholdSlider->value();
    if (on <= off) {
        off = on - 1;
        ui->offThresholdSlider->setValue(off);
        ui->noteOffLabel->setText(QString::number(off));
    }
    calib.offThreshold = uint8_t(off);
    hub->setCalibration(calib);
}

void SettingsTabController::globalControlChosen(int index)
{
    // Pitch bend as the global aftertouch leaves no room for bend assignments; one step
    // takes back both.
    recorded([&] {
        if (index == 2)
            hub->RemoveGlobalBend();
        changeSettings([index](KorvaneCalibration &c) { c.globalControl = index; });
    });
}

void SettingsTabController::showCalibration(const KorvaneCalibration &calib)
{
    // Mirrors the calibration without sending it back; a key or wheel change still waiting
    // gives way to it.
    for (QTimer *settle : qAsConst(settleTimers))
        settle->stop();
    const QSignalBlocker b1(ui->velocitySlider), b2(ui->velocityCurveBox), b3(ui->controlSlider),
        b4(ui->controlCurveBox), b5(ui->midiChannelBox), b6(ui->offThresholdSlider),
        b7(ui->onThresholdSlider), b8(ui->defaultControlBox), b9(ui->ccNumberspinBox),
        b10(ui->aftertouchSpinbox);
    ui->aftertouchSpinbox->setValue(calib.aftertouchDelay);
    ui->velocityCurveBox->setCurrentIndex(calib.velocityCurveType);
    ui->velocitySlider->setValue(int(calib.velocityScale));
    ui->velocitySensitivyLabel->setText(QString::number(int(calib.velocityScale)));
    ui->controlCurveBox->setCurrentIndex(calib.aftertouchCurveType);
    ui->controlSlider->setValue(int(calib.aftertouchScale));
    ui->controlAmountLabel_2->setText(QString::number(int(calib.aftertouchScale)));
    ui->midiChannelBox->setCurrentIndex(calib.midiChannel);
    ui->offThresholdSlider->setValue(calib.offThreshold);
    ui->noteOffLabel->setText(QString::number(calib.offThreshold));
    ui->onThresholdSlider->setValue(calib.onThreshold);
    ui->noteOnLabel->setText(QString::number(calib.onThreshold));
    ui->defaultControlBox->setCurrentIndex(calib.globalControl);
    ui->ccNumberspinBox->setValue(calib.globalCC);
}

void SettingsTabController::removeGlobalBend()
{
    if (hub->getCalibration().globalControl != 2)
        return;
    recorded([this] {
        KorvaneCalibration calib = hub->getCalibration();
        {
            const QSignalBlocker block(ui->defaultControlBox);
            ui->defaultControlBox->setCurrentIndex(0);
        }
        calib.globalControl = 0;
        hub->setSettings(calib);
    });
}
