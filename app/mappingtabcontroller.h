// The "Mapping" tab: key and octave buttons, the scale choice, the test sound, mute, the map
// name above the hand, and the hand picture kept in step with the hub's map. Counts key and
// octave the way the map does, so a scale chosen after a load keeps the loaded octave.
// GUI thread only.
#pragma once

#include "app/editcommands.h"
#include "base/korvanerecords.h"

#include <QObject>
#include <QString>

#include <functional>

class KorvaneCore;
struct MainWindowForm;

class MappingTabController : public QObject
{
    Q_OBJECT
public:
    // Binds to the form's mapping widgets; ui and hub must outlive the controller.
    MappingTabController(MainWindowForm *ui, KorvaneCore *hub, const QString &dataPath,
                         QObject *parent = nullptr);

    int keyOffset() const { return key; }
    int octaveCounter() const { return octave; }
    // What the tab shows besides the map, and putting it back (an edit undone or redone):
    // the scale box with its signals blocked, the name, the hand from the hub's map.
    MappingView view() const;
    void showView(const MappingView &view);
    // Each edit of the map then runs through the recorder as one undo step.
    void setRecorder(EditRecorder recorder) { this->recorder = std::move(recorder); }

    // The preset instrument that the test-sound choice index plays.
    static QString testSoundFile(const QString &dataPath, int index);

    void generateScale(int scale);
    // The map browser's scale choice, one octave lower than the tab's.
    void generateScaleFromBrowser(int scale);
    // A map arrived from a file (sent on to the device) or from the device.
    void showMapLoaded(bool fromFile);
    void setNode(const KorvaneSensorNode &node, int index);
    void setPatchName(const QString &filename);
    void showMute(bool on); // the hub's mute, not sent back
    void setRemoteMapping(int mapping);
    void refreshHand();
    // What loads the test sound; returns false when the instrument in memory stays (the
    // choice then shows it again). The hub's LoadSound when none is set.
    void setSoundLoader(std::function<bool(const QString &)> loader);
    // Stops every voice and darkens every lit sensor (a note-off lost with the device).
    void panic();

signals:
    void mapBrowserRequested();
    void mapSaveRequested();
    void soundBrowserRequested();
    void soundEditorRequested();
    void statusMessage(const QString &message);

private:
    void transpose(int keySteps, int octaveSteps);
    void scaleChosen(int index);
    void testSoundChosen(int index);
    void muteToggled(bool checked);
    void showKeyOctave();
    void recorded(const QString &text, const std::function<void()> &edit);

    MainWindowForm *ui;
    KorvaneCore *hub;
    QString dataPath;
    EditRecorder recorder;
    int key = 0;
    int octave = 4;
    int scale = 0; // the box's choice; the box has moved already when its signal arrives
    std::function<bool(const QString &)> soundLoader;
    int shownSound = 0; // the test-sound choice of the instrument loaded through it
};
