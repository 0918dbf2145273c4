#include "app/mainwindow.h"
#include "core/datapaths.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QSurfaceFormat>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT end the event loop like closing the window, so the sound and MIDI
// ports are released properly (a JACK server stalls on a client that simply vanishes).
int quitSockets[2] = {-1, -1};

void requestQuit(int)
{
    const char byte = 1;
    const ssize_t written = ::write(quitSockets[1], &byte, 1);
    (void)written;
}

void quitOnSignals(QApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, quitSockets) != 0)
        return;
    auto *notifier = new QSocketNotifier(quitSockets[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QApplication::quit);
    struct sigaction action = {};
    action.sa_handler = requestQuit;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    quitOnSignals(app);
    DataPaths::setApplicationNames();
    QApplication::setApplicationDisplayName(QStringLiteral("VARNO Control"));

    // Multisampling for every GL view; must be set before the first GL widget exists.
    QSurfaceFormat format;
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);

    auto *window = new MainWindow();
    window->show();
    const int result = app.exec();
    delete window; // shuts the engines down
    return result;
}
