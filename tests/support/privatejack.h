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
        jackd.setProcessChannelMode(QProcess::MergedChannels);
        jackd.start(QStringLiteral("jackd"), {"--no-realtime", "--sync", "--timeout", "10000", "-n",
                                              server, "-d", "dummy", "-r", "44100", "-p", "512"});
        if (!jackd.waitForStarted(5000))
            return false;
        return waitFor([this] { return ports().contains(QLatin1String("system:")); }, 10000);
    }
    void stopServer()
    {
        if (jackd.state() == QProcess::NotRunning)
            return;
        jackd.terminate();
        if (!jackd.waitForFinished(5000)) {
            jackd.kill();
            jackd.waitForFinished(2000);
        }
    }
    bool startEmulator()
    {
        emulator.setProcessChannelMode(QProcess::MergedChannels);
        emulator.start(QStringLiteral(VARNO_EMULATOR_PATH), {"--control", control, "--no-stdin"});
        if (!emulator.waitForStarted(5000))
            return false;
        return waitFor([this] { return ports().contains(QLatin1String("KVRN")); }, 10000);
    }
    void stopEmulator()
    {
        if (emulator.state() == QProcess::NotRunning)
            return;
        emulator.terminate();
        if (!emulator.waitForFinished(5000)) {
            emulator.kill();
            emulator.waitForFinished(2000);
        }
    }
    // Every port of the server, one per line (empty when the server is not there).
    QString ports() const
    {
        QProcess lsp;
        lsp.start(QStringLiteral("jack_lsp"), {"-s", server});
        lsp.waitForFinished(5000);
        return QString::fromUtf8(lsp.readAllStandardOutput());
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
