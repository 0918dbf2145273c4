#include "app/mainwindowform.h"

#include "app/mainwindowtooltips.h"
#include "dialogs/fixedspinbox.h"
#include "hand/korvanehandwidget.h"
#include "scales/scales.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

template <typename T> T *make(QWidget *parent, const char *name)
{
    auto *w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *l = make<QLabel>(parent, name);
    l->setText(text);
    return l;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, bool focus = true)
{
    auto *b = make<QPushButton>(parent, name);
    b->setText(text);
    if (!focus)
        b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QSlider *slider(QWidget *parent, const char *name, int min, int max, int value)
{
    auto *s = make<QSlider>(parent, name);
    s->setOrientation(Qt::Horizontal);
    s->setFocusPolicy(Qt::StrongFocus);
    s->setRange(min, max);
    s->setValue(value);
    return s;
}

// The number right of a slider.
QLabel *valueLabel(QWidget *parent, const char *name, int value)
{
    auto *l = makeLabel(parent, name, QString::number(value));
    l->setMaximumWidth(30);
    return l;
}

QComboBox *combo(QWidget *parent, const char *name, const QStringList &items, int current = 0)
{
    auto *c = make<QComboBox>(parent, name);
    c->addItems(items);
    c->setCurrentIndex(current);
    return c;
}

QFrame *hline(QWidget *parent, const char *name)
{
    auto *f = make<QFrame>(parent, name);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

} // namespace

void MainWindowForm::setupUi(QMainWindow *window)
{
    window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(578, 994);
    window->setMinimumSize(0, 0);
    QFont font = window->font();
    font.setPointSize(13);
    window->setFont(font);
    window->setWindowTitle(QStringLiteral("VARNO Control"));

    menuBar = make<QMenuBar>(window, "menuBar");
    menuAbout = make<QMenu>(menuBar, "menuAbout");
    menuAbout->setTitle(QStringLiteral("About"));
    actionAbout_Korvane_Control = make<QAction>(window, "actionAbout_Korvane_Control");
    actionAbout_Korvane_Control->setText(QStringLiteral("About Korvane Control"));
    menuAbout->addAction(actionAbout_Korvane_Control);
    menuBar->addMenu(menuAbout);
    window->setMenuBar(menuBar);

    tabWidget = make<QTabWidget>(window, "tabWidget");
    tabWidget->setTabPosition(QTabWidget::North);
    tabWidget->setTabShape(QTabWidget::Rounded);
    tabWidget->setElideMode(Qt::ElideNone);
    window->setCentralWidget(tabWidget);

    // Mapping: map name, transpose and octave, scale, maps, test sound, then the hand.
    tab = make<QWidget>(tabWidget, "tab");
    auto *mapping = new QVBoxLayout(tab);
    patchNameLine = makeLabel(tab, "patchNameLine", QStringLiteral("Major"));
    patchNameLine->setAlignment(Qt::AlignCenter);
    mapping->addWidget(patchNameLine);
    auto *transpose = new QHBoxLayout();
    odownButton = button(tab, "odownButton", QStringLiteral("<<"), false);
    transPoseDown = button(tab, "transPoseDown", QStringLiteral("-"), false);
    transposeUp = button(tab, "transposeUp", QStringLiteral("+"), false);
    oupButton = button(tab, "oupButton", QStringLiteral(">>"), false);
    for (QWidget *w : {odownButton, transPoseDown, transposeUp, oupButton})
        transpose->addWidget(w);
    mapping->addLayout(transpose);
    auto *scale = new QHBoxLayout();
    comboBox = combo(tab, "comboBox", Scales::scaleNames());
    keyOctaveLabel = makeLabel(tab, "keyOctaveLabel", QString());
    scale->addWidget(comboBox, 1);
    scale->addWidget(keyOctaveLabel);
    mapping->addLayout(scale);
    auto *maps = new QHBoxLayout();
    patchPushButton = button(tab, "patchPushButton", QStringLiteral("&Load Map"), false);
    mapSaveButton = button(tab, "mapSaveButton", QStringLiteral("&Save Map"), false);
    bleButton = button(tab, "bleButton", QStringLiteral("Connect via &BLE"), false);
    disconButton = button(tab, "disconButton", QStringLiteral("Dis&connect"));
    // No Bluetooth LE of our own: the device is reached through MIDI ports only.
    bleButton->setEnabled(false);
    for (QWidget *w : {patchPushButton, mapSaveButton, bleButton, disconButton})
        maps->addWidget(w);
    mapping->addLayout(maps);
    auto *sound = new QHBoxLayout();
    label_4 = makeLabel(tab, "label_4", QStringLiteral("Test sound:"));
    testSoundBox =
        combo(tab, "testSoundBox",
              {QStringLiteral("E Piano"), QStringLiteral("Marimba"), QStringLiteral("Flute")});
    // Opens the sound browser, the way to the instruments and the sound editor.
    soundsButton = button(tab, "soundsButton", QStringLiteral("So&unds…"), false);
    // Opens the sound editor on the instrument playing now, without loading it again.
    soundEditButton = button(tab, "soundEditButton", QStringLiteral("Ed&it Sound…"), false);
    panicButton = button(tab, "panicButton", QStringLiteral("&Panic"), false);
    muteBox = make<QCheckBox>(tab, "muteBox");
    muteBox->setText(QStringLiteral("&Mute"));
    muteBox->setFocusPolicy(Qt::NoFocus);
    sound->addWidget(label_4);
    sound->addWidget(testSoundBox, 1);
    sound->addWidget(soundsButton);
    sound->addWidget(soundEditButton);
    sound->addWidget(panicButton);
    sound->addWidget(muteBox);
    mapping->addLayout(sound);
    widget = make<KorvaneHandWidget>(tab, "widget");
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    mapping->addWidget(widget, 1);
    mainmessages = makeLabel(tab, "mainmessages", QString());
    mainmessages->setWordWrap(true);
    mapping->addWidget(mainmessages);
    tabWidget->addTab(tab, QStringLiteral("Mapping"));

    // Settings: one row per control, top to bottom.
    tab_3 = make<QWidget>(tabWidget, "tab_3");
    auto *settings = new QGridLayout(tab_3);
    int row = 0;
    auto sliderRow = [&](QLabel *caption, QSlider *s, QLabel *value) {
        settings->addWidget(caption, row, 0);
        settings->addWidget(s, row, 1);
        settings->addWidget(value, row, 2);
        ++row;
    };
    auto comboRow = [&](QLabel *caption, QWidget *w, QWidget *after = nullptr) {
        settings->addWidget(caption, row, 0);
        settings->addWidget(w, row, 1, 1, after ? 1 : 2);
        if (after)
            settings->addWidget(after, row, 2);
        ++row;
    };
    auto fullRow = [&](QWidget *w) { settings->addWidget(w, row++, 0, 1, 3); };
    auto buttonRow = [&](QPushButton *a, QPushButton *b) {
        auto *h = new QHBoxLayout();
        h->addWidget(a);
        h->addWidget(b);
        settings->addLayout(h, row++, 0, 1, 3);
    };
    const QStringList curves = {QStringLiteral("Linear"), QStringLiteral("Slow"),
                                QStringLiteral("Fast"), QStringLiteral("Sudden")};

    onThresholdLabel = makeLabel(tab_3, "onThresholdLabel", QStringLiteral("Note On sensitivity:"));
    onThresholdSlider = slider(tab_3, "onThresholdSlider", 1, 99, 25);
    noteOnLabel = valueLabel(tab_3, "noteOnLabel", 25);
    sliderRow(onThresholdLabel, onThresholdSlider, noteOnLabel);
    offThresholdLabel =
        makeLabel(tab_3, "offThresholdLabel", QStringLiteral("Note Off sensitivity:"));
    offThresholdSlider = slider(tab_3, "offThresholdSlider", 1, 99, 20);
    noteOffLabel = valueLabel(tab_3, "noteOffLabel", 20);
    sliderRow(offThresholdLabel, offThresholdSlider, noteOffLabel);
    velocityAmountLabel =
        makeLabel(tab_3, "velocityAmountLabel", QStringLiteral("Velocity sensitivity:"));
    velocitySlider = slider(tab_3, "velocitySlider", 1, 128, 1);
    velocitySensitivyLabel = valueLabel(tab_3, "velocitySensitivyLabel", 1);
    sliderRow(velocityAmountLabel, velocitySlider, velocitySensitivyLabel);
    velocityCurveLabel =
        makeLabel(tab_3, "velocityCurveLabel", QStringLiteral("Sensitivity curve:"));
    velocityCurveBox = combo(tab_3, "velocityCurveBox", curves, 2);
    comboRow(velocityCurveLabel, velocityCurveBox);
    line = hline(tab_3, "line");
    fullRow(line);
    syncButton = button(tab_3, "syncButton", QStringLiteral("&Sync from Device"));
    ROMButton = button(tab_3, "ROMButton", QStringLiteral("Sa&ve as Default"));
    buttonRow(syncButton, ROMButton);
    line_2 = hline(tab_3, "line_2");
    fullRow(line_2);
    defaultControlLabel =
        makeLabel(tab_3, "defaultControlLabel", QStringLiteral("Global Aftertouch :"));
    defaultControlBox =
        combo(tab_3, "defaultControlBox",
              {QStringLiteral("None"), QStringLiteral("Channel Volume"),
               QStringLiteral("Pitch Bend"), QStringLiteral("Poly Aftertouch"),
               QStringLiteral("Control Change"), QStringLiteral("Channel Aftertouch")});
    comboRow(defaultControlLabel, defaultControlBox);
    label_3 = makeLabel(tab_3, "label_3", QStringLiteral("Global CC number:"));
    ccNumberspinBox = make<FixedSpinBox>(tab_3, "ccNumberspinBox");
    ccNumberspinBox->setRange(1, 128);
    ccNumberspinBox->setButtonSymbols(QAbstractSpinBox::PlusMinus);
    ccNumberspinBox->setMinimumWidth(100);
    comboRow(label_3, ccNumberspinBox);
    controlAmountLabel =
        makeLabel(tab_3, "controlAmountLabel", QStringLiteral("Aftertouch sensitivity:"));
    controlSlider = slider(tab_3, "controlSlider", 1, 128, 1);
    controlAmountLabel_2 = valueLabel(tab_3, "controlAmountLabel_2", 1);
    sliderRow(controlAmountLabel, controlSlider, controlAmountLabel_2);
    controlCurveLabel = makeLabel(tab_3, "controlCurveLabel", QStringLiteral("Sensitivty curve:"));
    controlCurveBox = combo(tab_3, "controlCurveBox", curves, 2);
    comboRow(controlCurveLabel, controlCurveBox);
    aftertouchLabel = makeLabel(tab_3, "aftertouchLabel", QStringLiteral("Aftertouch delay:"));
    aftertouchSpinbox = make<FixedSpinBox>(tab_3, "aftertouchSpinbox");
    aftertouchSpinbox->setRange(1, 99);
    aftertouchSpinbox->setValue(55);
    aftertouchSpinbox->setButtonSymbols(QAbstractSpinBox::PlusMinus);
    aftertouchSpinbox->setKeyboardTracking(true);
    aftertouchSpinbox->setFocusPolicy(Qt::WheelFocus);
    label_5 = makeLabel(tab_3, "label_5", QStringLiteral("ms"));
    comboRow(aftertouchLabel, aftertouchSpinbox, label_5);
    midiChannelLabel = makeLabel(tab_3, "midiChannelLabel", QStringLiteral("MIDI channel:"));
    QStringList channels;
    for (int c = 1; c <= 16; ++c)
        channels << QString::number(c);
    midiChannelBox = combo(tab_3, "midiChannelBox", channels);
    comboRow(midiChannelLabel, midiChannelBox);
    line_3 = hline(tab_3, "line_3");
    fullRow(line_3);
    statuslabel = makeLabel(tab_3, "statuslabel", QString());
    statuslabel->setWordWrap(true);
    fullRow(statuslabel);
    reConButton = button(tab_3, "reConButton", QStringLiteral("&Reconnect"), false);
    versionButton = button(tab_3, "versionButton", QStringLiteral("&About..."));
    buttonRow(reConButton, versionButton);
    line_4 = hline(tab_3, "line_4");
    fullRow(line_4);
    label = make<QLabel>(tab_3, "label");
    label->setText(QStringLiteral("Test sound volume:"));
    volSlider = slider(tab_3, "volSlider", 0, 99, 50);
    comboRow(label, volSlider);
    settings->setRowStretch(row, 1);
    settings->setColumnStretch(1, 1);
    tabWidget->addTab(tab_3, QStringLiteral("Settings"));

    tabWidget->setCurrentIndex(0);
    applyMainWindowToolTips(this);
    QMetaObject::connectSlotsByName(window);
}
