#include "app/mainmenus.h"

#include "app/mainwindowform.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace {

// The action presses the button: one path for both, and a disabled button stays idle.
void pressing(QAction *action, QPushButton *button)
{
    QObject::connect(action, &QAction::triggered, button, &QPushButton::click);
}

} // namespace

MainMenus::MainMenus(QMainWindow *window, MainWindowForm *ui, QObject *parent) : QObject(parent)
{
    QMenuBar *bar = ui->menuBar;

    file = new QMenu(QStringLiteral("&File"), bar);
    file->setObjectName(QStringLiteral("menuFile"));
    loadMap = addAction(file, QStringLiteral("&Load Map…"),
                        QStringLiteral("Open the map browser to load a stored map and send it "
                                       "to the device"));
    loadMap->setShortcut(QKeySequence::Open);
    saveMap = addAction(file, QStringLiteral("&Save Map…"),
                        QStringLiteral("Save the current map as a file in the maps folder"));
    saveMap->setShortcut(QKeySequence::Save);
    file->addSeparator();
    sounds = addAction(file, QStringLiteral("S&ounds…"),
                       QStringLiteral("Open the sound browser to choose the test sound's "
                                      "instrument"));
    importSamples = addAction(file, QStringLiteral("&Import Samples…"),
                              QStringLiteral("Add audio files to the instrument as samples"));
    file->addSeparator();
    quit = addAction(file, QStringLiteral("&Quit"), QStringLiteral("Close VARNO Control"));
    // Platforms of the Windows kind bind no key to Quit; the desktop's Ctrl+Q then.
    QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    if (quitKeys.isEmpty())
        quitKeys << QKeySequence(Qt::CTRL | Qt::Key_Q);
    quit->setShortcuts(quitKeys);
    quit->setMenuRole(QAction::QuitRole);

    edit = new QMenu(QStringLiteral("&Edit"), bar);
    edit->setObjectName(QStringLiteral("menuEdit"));
    edit->menuAction()->setVisible(false);

    device = new QMenu(QStringLiteral("&Device"), bar);
    device->setObjectName(QStringLiteral("menuDevice"));
    reconnect = addAction(device, QStringLiteral("&Reconnect"),
                          QStringLiteral("Search the MIDI ports for the device and connect"));
    sync = addAction(device, QStringLiteral("&Sync from Device"),
                     QStringLiteral("Ask the device for its map and settings"));
    device->addSeparator();
    backup = addAction(device, QStringLiteral("&Back Up to .syx…"),
                       QStringLiteral("Write the device's map and settings into a .syx file"));
    restore = addAction(device, QStringLiteral("Res&tore from .syx…"),
                        QStringLiteral("Send a .syx backup to the device"));
    device->addSeparator();
    // Escape is the window's own key for it (a second binding would make both ambiguous);
    // the menu names it after the tab.
    panic = addAction(device, QStringLiteral("&Panic\tEsc"),
                      QStringLiteral("Stop every sound of the test sound (Esc)"));

    // The About menu becomes Help; its action keeps its text, now with a mnemonic.
    ui->menuAbout->setTitle(QStringLiteral("&Help"));
    ui->actionAbout_Korvane_Control->setText(QStringLiteral("&About Korvane Control"));
    ui->actionAbout_Korvane_Control->setStatusTip(
        QStringLiteral("The program's version and the device's firmware version"));

    bar->clear();
    bar->addMenu(file);
    bar->addMenu(edit);
    bar->addMenu(device);
    bar->addMenu(ui->menuAbout);

    pressing(loadMap, ui->patchPushButton);
    pressing(saveMap, ui->mapSaveButton);
    pressing(sounds, ui->soundsButton);
    pressing(reconnect, ui->reConButton);
    pressing(sync, ui->syncButton);
    pressing(panic, ui->panicButton);
    connect(importSamples, &QAction::triggered, this, &MainMenus::importSamplesRequested);
    connect(quit, &QAction::triggered, window, &QMainWindow::close);
    connect(backup, &QAction::triggered, this, &MainMenus::backupRequested);
    connect(restore, &QAction::triggered, this, &MainMenus::restoreRequested);
}

QMenu *MainMenus::addEditMenu()
{
    edit->menuAction()->setVisible(true);
    return edit;
}

QAction *MainMenus::addAction(QMenu *menu, const QString &text, const QString &tip)
{
    QAction *a = menu->addAction(text);
    a->setToolTip(tip);
    a->setStatusTip(tip);
    return a;
}

// A request nobody answers is said on the status line rather than lost.
