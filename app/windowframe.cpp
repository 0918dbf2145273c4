#include "app/windowframe.h"

#include "app/devicestatuspart.h"
#include "app/mainmenus.h"
#include "app/mainwindowform.h"
#include "app/windowmemory.h"

#include <QEvent>
#include <QMainWindow>
#include <QStatusBar>
#include <QTabWidget>

WindowFrame::WindowFrame(QMainWindow *window, MainWindowForm *ui, KorvaneCore *hub,
                         const QString &dataPath)
    : QObject(window), window(window), dataPath(dataPath)
{
    menuSet = new MainMenus(window, ui, this);
    status = new DeviceStatusPart(hub, window);
    window->statusBar()->setObjectName(QStringLiteral("statusBar"));
    window->statusBar()->addPermanentWidget(status);
    clock.start();
    WindowMemory::restore(window, ui->tabWidget, dataPath);
    window->installEventFilter(this);
}

bool WindowFrame::acceptMessage(const QString &message)
{
    return filter.offer(message, clock.elapsed());
}

void WindowFrame::saveGeometry()
{
    WindowMemory::saveGeometry(window, dataPath);
}

bool WindowFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window && event->type() == QEvent::Close)
        saveGeometry();
    return QObject::eventFilter(watched, event);
}
