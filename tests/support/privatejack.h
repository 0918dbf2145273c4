// A private JACK server (dummy driver) and the device emulator, started and stopped by the
// test itself, for the tests that take the server away while the program runs.
#pragma once

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QtGlobal>

class PrivateJack
{
public:
    explicit PrivateJack(const QString &tag)
    {
        const QByteArray hash = QCryptographicHash::hash(QByteArray(VARNO_BUILD_DIR) + tag.toUtf8(),
                                                         QCryptographicHash::Md5)
                                    .toHex()
                                    .left(8);
        server = QStringLiteral("varno-%1-%2").arg(tag, QString::fromLatin1(hash));
        control = server + QStringLiteral("-control");
        qputenv("JACK_DEFAULT_SERVER", server.toUtf8());
        qputenv("JACK_NO_START_SERVER", "1");
        qputenv("JACK_NO_AUDIO_RESERVATION", "1");
        qputenv("VARNO_EMULATOR_CONTROL", control.toUtf8());
    }
    ~PrivateJack()
    {
        stopEmulator();
        stopServer();
    }

    bool startServer()
    {
        // Free the registry slots of dead servers first, as the fixtures do.
        QProcess::execute(QStringLiteral("bash"),
                          {"-c", QStringLiteral(". '%1'; with_jack_lock reclaim_jack_registry")
                                     .arg(QStringLiteral(VARNO_JACK_REGISTRY_SCRIPT))});
        return start(jackd, QStringLiteral("jackd"),
                     {"--no-realtime", "--sync", "--timeout", "10000", "-n", server, "-d", "dummy",
                      "-r", "44100", "-p", "512"},
                     QStringLiteral("system:"));
    }
    bool startEmulator()
    {
        return start(emulator, QStringLiteral(VARNO_EMULATOR_PATH),
                     {"--control", control, "--no-stdin"}, QStringLiteral("KVRN"));
    }
    void stopServer() { stop(jackd); }
    void stopEmulator() { stop(emulator); }
    // Every port of the server, one per line (empty when the server is not there).
    QString ports() const
    {
        QProcess lsp;
        lsp.start(QStringLiteral("jack_lsp"), {"-s", server});
        lsp.waitForFinished(5000);
        return QString::fromUtf8(lsp.readAllStandardOutput());
    }
    // Starts the program and waits until the server lists a port whose name holds portPart.
    bool start(QProcess &p, const QString &program, const QStringList &args,
               const QString &portPart)
    {
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        return p.waitForStarted(5000) && waitFor([&] { return ports().contains(portPart); }, 10000);
    }
    static void stop(QProcess &p)
    {
        if (p.state() == QProcess::NotRunning)
            return;
        p.terminate();
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished(2000);
        }
    }
    template <class F> static bool waitFor(F done, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms)
                return false;
            QThread::msleep(100);
        }
        return true;
    }

    QString server;
    QString control;
    QProcess jackd;
    QProcess emulator;
};
