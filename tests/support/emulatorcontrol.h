// Talks to the running device emulator over its control socket (name in
// VARNO_EMULATOR_CONTROL), for the integration tests.
#pragma once

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStringList>

#include <cstdint>
#include <vector>

class EmulatorControl
{
public:
    bool connectToEmulator()
    {
        socket.connectToServer(QString::fromLocal8Bit(qgetenv("VARNO_EMULATOR_CONTROL")));
        return socket.waitForConnected(3000);
    }
    // Sends one command and returns its reply (without the closing dot line).
    QString command(const QString &line, int timeoutMs = 5000)
    {
        post(line);
        QElapsedTimer t;
        t.start();
        while (!replyReady() && t.elapsed() < timeoutMs)
            socket.waitForReadyRead(200);
        return takeReply();
    }
    // Sends a command without waiting for its reply, for commands that run long while the
    // caller's event loop keeps running; poll replyReady() between event-loop passes.
    void post(const QString &line)
    {
        pending.clear();
        socket.write((line + QLatin1Char('\n')).toUtf8());
        socket.flush();
    }
    bool replyReady()
    {
        pending += socket.readAll();
        return pending.endsWith("\n.\n") || pending == ".\n";
    }
    QString takeReply()
    {
        QByteArray r = pending;
        r.chop(2);
        pending.clear();
        return QString::fromUtf8(r);
    }

    struct Received
    {
        qint64 ms;
        std::vector<uint8_t> bytes;
    };
    std::vector<Received> received()
    {
        std::vector<Received> out;
        for (const QString &line : command(QStringLiteral("received")).split(QLatin1Char('\n'))) {
            const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (w.size() < 2)
                continue;
            Received r{w[0].toLongLong(), {}};
            for (int i = 1; i < w.size(); ++i)
                r.bytes.push_back(uint8_t(w[i].toUInt(nullptr, 16)));
            out.push_back(r);
        }
        return out;
    }
    // One line of the dump, after "key: ".
    QString held(const QString &key)
    {
        for (const QString &line : command(QStringLiteral("dump")).split(QLatin1Char('\n')))
            if (line.startsWith(key + QStringLiteral(": ")))
                return line.mid(key.size() + 2);
        return QString();
    }

    QLocalSocket socket;
    QByteArray pending;
};
