#include "app/mainwindowtooltips.h"

#include "app/mainwindowform.h"
#include "dialogs/fixedspinbox.h"
#include "hand/korvanehandwidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <utility>
#include <vector>

void applyMainWindowToolTips(MainWindowForm *ui)
{
    const QString sendsMap = QStringLiteral(" The map is sent to the device at once.");
    const QString sendsCalibration =
        QStringLiteral(" Sent to the device's calibration when you let go, and saved.");
    const QString sendsSettings =
        QStringLiteral(" Sent to the device's MIDI settings at once, and saved.");
    const QString localOnly = QStringLiteral(" Nothing is sent to the device.");
    const std::vector<std::pair<QWidget *, QString>> tips = {
        // Mapping
        {ui->patchNameLine,
         QStringLiteral("The chosen scale, or the name of the map loaded or found on the device")},
        {ui->keyOctaveLabel,
         QStringLiteral("The key and octave the sensors' notes are built on (change them with "
                        "- + and << >>)")},
        {ui->odownButton, QStringLiteral("Octave down: every note 12 semitones lower.") + sendsMap},
        {ui->transPoseDown, QStringLiteral("Transpose down one semitone.") + sendsMap},
        {ui->transposeUp, QStringLiteral("Transpose up one semitone.") + sendsMap},
        {ui->oupButton, QStringLiteral("Octave up: every note 12 semitones higher.") + sendsMap},
        {ui->comboBox,
         QStringLiteral("Scale: writes every sensor's note from the key, the octave and this "
                        "scale.") +
             sendsMap},
        {ui->patchPushButton,
         QStringLiteral("Opens the map browser to load a stored map (Ctrl+O); a loaded map is "
                        "sent to the device")},
        {ui->mapSaveButton,
         QStringLiteral("Saves the current map as a file in the maps folder (Ctrl+S).") +
             localOnly},
        {ui->bleButton,
         QStringLiteral("Not available: this program has no Bluetooth LE support of its own. "
                        "It reaches the device through MIDI ports only (USB, or a Bluetooth "
                        "MIDI link your system offers as a MIDI port).")},
        {ui->disconButton,
         QStringLiteral("Closes the device's MIDI ports and stops searching for the device "
                        "until you press Reconnect.") +
             localOnly},
        {ui->testSoundBox,
         QStringLiteral("The test sound: loads this preset instrument into the built-in "
                        "sampler that plays what the device plays.") +
             localOnly},
        {ui->soundsButton,
         QStringLiteral("Opens the sound browser to load, save and organise instruments")},
        {ui->soundEditButton,
         QStringLiteral("Opens the sound editor on the instrument playing now: samples, "
                        "recording, envelope and reverb")},
        {ui->panicButton,
         QStringLiteral("Stop every sound (Esc): silences the test sound and darkens the "
                        "hand.") +
             localOnly},
        {ui->muteBox,
         QStringLiteral("Silences the test sound; the device keeps sending its MIDI.") + localOnly},
        {ui->widget,
         QStringLiteral("The device's sensors, each with what it sends; click one to edit it. "
                        "A sensor lights while its note sounds.")},
        {ui->mainmessages, QStringLiteral("The latest result or error")},
        // Settings
        {ui->onThresholdSlider,
         QStringLiteral("How hard a sensor must be pressed to send its note on (always above "
                        "Note Off).") +
             sendsCalibration},
        {ui->offThresholdSlider,
         QStringLiteral("How far a sensor must be released to send its note off (always below "
                        "Note On).") +
             sendsCalibration},
        {ui->velocitySlider,
         QStringLiteral("How strongly pressure turns into note velocity.") + sendsCalibration},
        {ui->velocityCurveBox,
         QStringLiteral("The curve from pressure to velocity.") + sendsCalibration},
        {ui->syncButton,
         QStringLiteral("Asks the device for its map, calibration and settings, and shows "
                        "them")},
        {ui->ROMButton,
         QStringLiteral("Makes the device store its current configuration as its default, kept "
                        "when it is switched off (a ROM write, counted in the status bar)")},
        {ui->defaultControlBox,
         QStringLiteral("What each sensor's pressure sends while held (global aftertouch).") +
             sendsSettings},
        {ui->ccNumberspinBox,
         QStringLiteral("The controller number that \"Control Change\" aftertouch sends.") +
             sendsSettings},
        {ui->controlSlider,
         QStringLiteral("How strongly pressure turns into aftertouch.") + sendsCalibration},
        {ui->controlCurveBox,
         QStringLiteral("The curve from pressure to aftertouch.") + sendsCalibration},
        {ui->aftertouchSpinbox,
         QStringLiteral("How long a sensor is held before aftertouch starts, in "
                        "milliseconds. Sent to the device's calibration at once, and saved.")},
        {ui->midiChannelBox,
         QStringLiteral("The MIDI channel the device sends on.") + sendsSettings},
        {ui->statuslabel, QStringLiteral("The latest result or error")},
        {ui->reConButton,
         QStringLiteral("Searches the MIDI ports for the device again and connects to it; asks "
                        "a newly found device for its configuration")},
        {ui->versionButton,
         QStringLiteral("Shows the program's version and asks the device for its firmware "
                        "version")},
        {ui->volSlider, QStringLiteral("The test sound's volume.") + localOnly},
    };
    for (const auto &tip : tips)
        tip.first->setToolTip(tip.second);
}
