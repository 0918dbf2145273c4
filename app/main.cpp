#include "app/mainwindow.h"
#include "core/datapaths.h"
#include "core/debuglog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <QSurfaceFormat>

#include <csignal>
#include <cstdio>
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

// Reads the command line before any window system is needed, so --help and --version work
// without a display. Returns -1 to go on, else the exit code.
int readCommandLine(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    DataPaths::setApplicationNames();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Companion of the VARNO hand-worn MIDI controller: maps, calibration "
                       "and a sampler that plays what the device plays."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Keep maps, instruments and settings in <dir> instead of the per-user "
                       "data folder."),
        QStringLiteral("dir"));
    parser.addOption(dataDir);
    // Qt's own options (-platform xcb, -style ...) are left to QApplication; an unknown
    // option in the long form is an error.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.parse(app.arguments());
    for (const QString &arg : app.arguments()) {
        if (arg == QLatin1String("--"))
            break;
        const QString name = arg.mid(2).section(QLatin1Char('='), 0, 0);
        if (arg.startsWith(QLatin1String("--")) && parser.unknownOptionNames().contains(name)) {
            std::fprintf(stderr, "Unknown option '%s'.\n%s", qPrintable(name),
                         qPrintable(parser.helpText()));
            return 2;
        }
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (parser.isSet(dataDir)) {
        if (parser.value(dataDir).isEmpty()) {
            std::fputs("--data-dir needs a folder\n", stderr);
            return 2;
        }
        DataPaths::setDataPath(parser.value(dataDir));
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    DebugLog::install();
    const int done = readCommandLine(argc, argv);
    if (done >= 0)
        return done;
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
