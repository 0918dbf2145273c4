// The "Settings" tab: the calibration's sliders, curves and numbers, the device buttons and
// the volume. Shows the hub's calibration without sending it back; a user's change goes to the
// hub at once (sliders when released or, moved by key or wheel, once they settle). GUI thread
// only.
#pragma once

#include "app/editcommands.h"
#include "base/korvanerecords.h"

#include <QList>
#include <QObject>

#include <functional>

class KorvaneCore;
class QLabel;
class QSlider;
class QTimer;
struct MainWindowForm;

class SettingsTabController : public QObject
{
    Q_OBJECT
public:
    // Binds to the form's settings widgets; ui and hub must outlive the controller.
    SettingsTabController(MainWindowForm *ui, KorvaneCore *hub, QObject *parent = nullptr);

    void showCalibration(const KorvaneCalibration &calib);
    // Leaves "Pitch Bend" as the global aftertouch, quietly, for a sensor that bends.
    void removeGlobalBend();
    // Each change of the calibration then runs through the recorder as one undo step.
    void setRecorder(EditRecorder recorder) { this->recorder = std::move(recorder); }

signals:
    void versionRequested();

private:
    void bindSlider(QSlider *slider, QLabel *label, std::function<void()> commit);
    void onThresholdReleased();
    void offThresholdReleased();
    void commitOnThreshold();
    void commitOffThreshold();
    // Changes one field of the calibration; settings also save (and so reach the device).
    template <typename Change> void changeCalibration(Change change);
    template <typename Change> void changeSettings(Change change);
    void globalControlChosen(int index);
    void recorded(const std::function<void()> &edit);

    MainWindowForm *ui;
    KorvaneCore *hub;
    EditRecorder recorder;
    QList<QTimer *> settleTimers; // one per slider, running while a key or wheel change waits
};
