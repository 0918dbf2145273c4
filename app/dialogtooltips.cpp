#include "app/dialogtooltips.h"

#include "app/mainwindow.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QSet>

#include <utility>
#include <vector>

namespace {

using Tips = std::vector<std::pair<const char *, const char *>>;

// Gives each button without a mnemonic the first letter of its text (word starts first) that
// no other button of the window uses yet.
void addMnemonics(QWidget *dialog)
{
    QList<QAbstractButton *> buttons;
    for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
        if (!qobject_cast<QDialogButtonBox *>(b->parentWidget()))
            buttons << b;
    QSet<QChar> used;
    for (QAbstractButton *b : buttons) {
        const int amp = b->text().indexOf(QLatin1Char('&'));
        if (amp >= 0 && amp + 1 < b->text().size())
            used.insert(b->text().at(amp + 1).toLower());
    }
    for (QAbstractButton *b : buttons) {
        QString text = b->text();
        if (text.contains(QLatin1Char('&')))
            continue;
        int pick = -1;
        for (int pass = 0; pass < 2 && pick < 0; ++pass)
            for (int i = 0; i < text.size() && pick < 0; ++i) {
                const bool wordStart = i == 0 || text.at(i - 1).isSpace();
                if (text.at(i).isLetter() && (pass == 1 || wordStart) &&
                    !used.contains(text.at(i).toLower()))
                    pick = i;
            }
        if (pick < 0)
            continue; // "+", "-": nothing to underline
        used.insert(text.at(pick).toLower());
        text.insert(pick, QLatin1Char('&'));
        b->setText(text);
    }
}

void apply(QWidget *dialog, const Tips &tips)
{
    for (const auto &tip : tips)
        if (QWidget *w = dialog->findChild<QWidget *>(QString::fromLatin1(tip.first)))
            w->setToolTip(QString::fromUtf8(tip.second));
    addMnemonics(dialog);
}

} // namespace

void applyDialogToolTips(MainWindow *window)
{
    const std::vector<std::pair<QWidget *, Tips>> dialogs = {
        {window->nodeView(),
         {
             {"typeBox", "What the sensor sends: a note, a controller, an action, a gyro "
                         "controller, a gyro bend or a gyro action; or nothing."
                         " The sensor's mapping is sent to the device at once."},
             {"actionBox", "The action the sensor starts (transpose, next or previous sound, "
                           "bend, reverse...)."
                           " The sensor's mapping is sent to the device at once."},
             {"noteDownButton", "One semitone lower."
                                " The sensor's mapping is sent to the device at once."},
             {"noteUpButton", "One semitone higher."
                              " The sensor's mapping is sent to the device at once."},
             {"noteNameEdit", "The note the sensor plays, typed as a name such as C4 or F#3."
                              " The sensor's mapping is sent to the device at once."},
             {"CCSPin", "The controller number the sensor sends."
                        " The sensor's mapping is sent to the device at once."},
             {"halfwayBox", "Bend only half way. Sent to the device's bend settings at once."},
             {"bendDelayspinBox", "How long before a held bend starts. Sent to the device's "
                                  "bend settings at once."},
             {"bendSpeedspinBox", "How fast the bend moves. Sent to the device's bend "
                                  "settings at once."},
             {"releaseDelayspinBox", "How long before a released bend returns. Sent to the "
                                     "device's bend settings at once."},
             {"releaseSpeedspinBox", "How fast a released bend returns. Sent to the device's "
                                     "bend settings at once."},
             {"gyroComboBOx", "The direction the gyro bends."
                              " The sensor's mapping is sent to the device at once."},
             {"gyroActioncomboBox", "The action a tilt of the hand starts."
                                    " The sensor's mapping is sent to the device at once."},
             {"gyroTHSpin", "How far the hand must tilt before the gyro acts. Sent to the "
                            "device's gyro settings at once."},
             {"gyroRateSpin", "How often the gyro reports. Sent to the device's gyro settings "
                              "at once."},
             {"gyroModeBox", "The axes the gyro follows. Sent to the device's gyro settings "
                             "at once."},
         }},
        {window->patchView(),
         {
             {"listView", "The stored maps and their folders."},
             {"loadButton", "Loads the selected map and sends it to the device."},
             {"renameButton", "Renames the selected map file."},
             {"deleteButton", "Deletes the selected map file."},
             {"deselectButton", "Clears the selection."},
             {"newFolderButton", "Makes a new folder for maps."},
             {"nameFolderButton", "Renames the selected folder."},
             {"deleteFolderButton", "Deletes the selected folder."},
             {"syxButton", "Writes the selected map (or the current one) as a .syx file of "
                           "the device's own messages."},
             {"closeButton", "Closes the map browser."},
         }},
        {window->soundView(),
         {
             {"comboBox", "The folder of instruments shown below."},
             {"treeView", "The instruments and their folders."},
             {"loadButton", "Loads the selected instrument into the test sound's sampler. "
                            "Nothing is sent to the device."},
             {"saveButton", "Saves the instrument playing now into the chosen folder."},
             {"renameButton", "Renames the selected instrument file."},
             {"deleteButton", "Deletes the selected instrument file."},
             {"deselectButton", "Clears the selection."},
             {"editButton", "Opens the sound editor on the instrument playing now."},
             {"cutButton", "Takes the selected instrument to move it into another folder."},
             {"pasteButton", "Moves the instrument taken with Cut into the chosen folder."},
             {"newFolderButton", "Makes a new folder for instruments."},
             {"nameFolderButton", "Renames the selected folder."},
             {"deleteFolderButton", "Deletes the selected folder."},
             {"closeButton", "Closes the sound browser."},
         }},
        {window->soundEditView(),
         {
             {"samplerwidget", "The instrument's samples with their keys and tuning."},
             {"recordingView", "The last recording's level and spectrum, with the cut and the "
                               "pitch found."},
             {"recIndicator", "Lights while the sampler records from the sound card."},
             {"samplerModeBox", "How notes choose their samples: automatically by pitch, or "
                                "by the keys you set."},
             {"attackSlider", "How fast each note fades in."},
             {"releaseSlider", "How long each note rings after it is let go."},
             {"reverbSlider", "How much reverb the test sound has."},
             {"flushMemButton", "Starts a new, empty instrument (asks first when the current "
                                "one is not saved)."},
             {"importButton", "Adds audio files to the instrument as samples."},
             {"importMonoBox", "Mixes imported stereo files to one channel."},
             {"exportButton", "Writes the instrument as WAV files and an SFZ file."},
             {"soundSaveAsButton", "Saves the instrument under a new name."},
         }},
        {window->nameDialog(), {{"lineEdit", "The name; / \\ and .. are not allowed."}}},
        {window->numberEditor(),
         {{"numberBox", "The sample's base frequency in hertz: what pitch it plays at."}}},
    };
    for (const auto &dialog : dialogs)
        apply(dialog.first, dialog.second);
}
