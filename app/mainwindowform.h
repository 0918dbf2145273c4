// The widgets of the main window, built in code. Object names are the ones the window's
// slots are bound to by name.
#pragma once

class FixedSpinBox;
class KorvaneHandWidget;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMainWindow;
class QMenu;
class QMenuBar;
class QPushButton;
class QSlider;
class QTabWidget;
class QWidget;

struct MainWindowForm
{
    void setupUi(QMainWindow *window);

    QMenuBar *menuBar = nullptr;
    QMenu *menuAbout = nullptr;
    QAction *actionAbout_Korvane_Control = nullptr;
    QTabWidget *tabWidget = nullptr;

    // "Mapping"
    QWidget *tab = nullptr;
    QLabel *patchNameLine = nullptr;
    QPushButton *odownButton = nullptr;
    QPushButton *transPoseDown = nullptr;
    QPushButton *transposeUp = nullptr;
    QPushButton *oupButton = nullptr;
    QComboBox *comboBox = nullptr;
    QLabel *keyOctaveLabel = nullptr; // the key and octave beside the scale
    QPushButton *patchPushButton = nullptr;
    QPushButton *mapSaveButton = nullptr;
    QPushButton *bleButton = nullptr;
    QPushButton *disconButton = nullptr;
    QLabel *label_4 = nullptr;
    QComboBox *testSoundBox = nullptr;
    QPushButton *soundsButton = nullptr;
    QPushButton *soundEditButton = nullptr;
    QPushButton *panicButton = nullptr;
    QCheckBox *muteBox = nullptr;
    KorvaneHandWidget *widget = nullptr;
    QLabel *mainmessages = nullptr;

    // "Settings"
    QWidget *tab_3 = nullptr;
    QLabel *onThresholdLabel = nullptr;
    QSlider *onThresholdSlider = nullptr;
    QLabel *noteOnLabel = nullptr;
    QLabel *offThresholdLabel = nullptr;
    QSlider *offThresholdSlider = nullptr;
    QLabel *noteOffLabel = nullptr;
    QLabel *velocityAmountLabel = nullptr;
    QSlider *velocitySlider = nullptr;
    QLabel *velocitySensitivyLabel = nullptr;
    QLabel *velocityCurveLabel = nullptr;
    QComboBox *velocityCurveBox = nullptr;
    QPushButton *syncButton = nullptr;
    QPushButton *ROMButton = nullptr;
    QLabel *defaultControlLabel = nullptr;
    QComboBox *defaultControlBox = nullptr;
    QLabel *label_3 = nullptr;
    FixedSpinBox *ccNumberspinBox = nullptr;
    QLabel *controlAmountLabel = nullptr;
    QSlider *controlSlider = nullptr;
    QLabel *controlAmountLabel_2 = nullptr;
    QLabel *controlCurveLabel = nullptr;
    QComboBox *controlCurveBox = nullptr;
    QLabel *aftertouchLabel = nullptr;
    FixedSpinBox *aftertouchSpinbox = nullptr;
    QLabel *label_5 = nullptr;
    QLabel *midiChannelLabel = nullptr;
    QComboBox *midiChannelBox = nullptr;
    QLabel *statuslabel = nullptr;
    QPushButton *reConButton = nullptr;
    QPushButton *versionButton = nullptr;
    QLabel *label = nullptr;
    QSlider *volSlider = nullptr;
    QFrame *line = nullptr;
    QFrame *line_2 = nullptr;
    QFrame *line_3 = nullptr;
    QFrame *line_4 = nullptr;
};
