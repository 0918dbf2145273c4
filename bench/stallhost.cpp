// The program as it starts for a user, with its window's thread stalled on purpose: every
// 300 ms the GUI thread busies itself for 100 ms (as a heavy repaint or a slow file would).
// The latency probe runs it in place of the program to show whether the device's notes still
// sound on time while the window is stuck.
#include "app/mainwindow.h"
#include "core/datapaths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QSurfaceFormat>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int quitSockets[2] = {-1, -1};

void requestQuit(int)
{
    const char byte = 1;
    const ssize_t written = ::write(quitSockets[1], &byte, 1);
    (void)written;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // SIGTERM ends the event loop, so the JACK clients are released on the way out.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, quitSockets) == 0) {
        auto *notifier = new QSocketNotifier(quitSockets[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QApplication::quit);
        struct sigaction action = {};
        action.sa_handler = requestQuit;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
    }
    DataPaths::setApplicationNames();
    QApplication::setApplicationDisplayName(QStringLiteral("VARNO Control"));
    QSurfaceFormat format;
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);

    auto *window = new MainWindow();
    window->show();
    QTimer stall;
    QObject::connect(&stall, &QTimer::timeout, [] {
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 100) {
        }
    });
    stall.start(300);
    const int result = app.exec();
    delete window;
    return result;
}
