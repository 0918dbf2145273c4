// The main window's menu bar: File, Edit, Device and Help, with the desktop's standard keys.
// Each action goes the way its button on the tabs goes; the actions that have no button say
// so by a signal of their own. GUI thread only.
#pragma once

#include <QObject>

class QAction;
class QMainWindow;
class QMenu;
struct MainWindowForm;

class MainMenus : public QObject
{
    Q_OBJECT
public:
    // Fills the form's menu bar; window and ui must outlive the menus.
    MainMenus(QMainWindow *window, MainWindowForm *ui, QObject *parent = nullptr);

    // The Edit menu between File and Device: hidden until something is put into it.
    QMenu *addEditMenu();

    QMenu *fileMenu() const { return file; }
    QMenu *deviceMenu() const { return device; }
    QAction *loadMapAction() const { return loadMap; }
    QAction *saveMapAction() const { return saveMap; }
    QAction *soundsAction() const { return sounds; }
    QAction *importAction() const { return importSamples; }
    QAction *quitAction() const { return quit; }
    QAction *reconnectAction() const { return reconnect; }
    QAction *syncAction() const { return sync; }
    QAction *backupAction() const { return backup; }
    QAction *restoreAction() const { return restore; }
    QAction *panicAction() const { return panic; }

signals:
    void importSamplesRequested();
    // Back up the device's configuration to a .syx file / send one back to the device.
    void backupRequested();
    void restoreRequested();

private:
    QAction *addAction(QMenu *menu, const QString &text, const QString &tip);

    QMenu *file = nullptr;
    QMenu *edit = nullptr;
    QMenu *device = nullptr;
    QAction *loadMap = nullptr;
    QAction *saveMap = nullptr;
    QAction *sounds = nullptr;
    QAction *importSamples = nullptr;
    QAction *quit = nullptr;
    QAction *reconnect = nullptr;
    QAction *sync = nullptr;
    QAction *backup = nullptr;
    QAction *restore = nullptr;
    QAction *panic = nullptr;
};
