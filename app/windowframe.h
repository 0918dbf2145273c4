// What surrounds the main window's tabs: the menus, the status bar with the device's state,
// the choice of which status line stays in view, and the window's remembered size, position
// and tab. GUI thread only.
#pragma once

#include "app/statusmessagefilter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class DeviceStatusPart;
class KorvaneCore;
class MainMenus;
class QMainWindow;
struct MainWindowForm;

class WindowFrame : public QObject
{
    Q_OBJECT
public:
    // window, ui and hub must outlive the frame; the window's place is restored at once.
    WindowFrame(QMainWindow *window, MainWindowForm *ui, KorvaneCore *hub, const QString &dataPath);

    MainMenus *menus() const { return menuSet; }
    DeviceStatusPart *deviceStatus() const { return status; }
    // True when the status line is to show message now (see StatusMessageFilter).
    bool acceptMessage(const QString &message);
    // Writes the window's size and position; also done when the window closes.
    void saveGeometry();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QMainWindow *window;
    QString dataPath;
    MainMenus *menuSet = nullptr;
    DeviceStatusPart *status = nullptr;
    StatusMessageFilter filter;
    QElapsedTimer clock;
};
