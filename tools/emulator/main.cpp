// varno-device-emulator: plays the hand-worn controller on virtual MIDI ports whose names
// contain "KVRN", so VARNO Control can be tried (and tested) without the hardware.
// Commands come from standard input and, with --control NAME, from a local socket.

#include "emulateddevice.h"

#include "device/rtmidibackend.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTextStream>
#include <QThread>

#include <rtmidi/RtMidi.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>

namespace {

const char *const kHelp =
    "Commands:\n"
    "  dump | print              show what the device holds\n"
    "  save FILE                 write the same to a file\n"
    "  received [N]              the last N messages received (default all), with times in ms\n"
    "  clear                     forget the received messages\n"
    "  note CH NOTE VEL          note on (CH 0..15)\n"
    "  off CH NOTE VEL           note off\n"
    "  cc CH NUMBER VALUE        control change\n"
    "  aftertouch CH NOTE VALUE  polyphonic aftertouch\n"
    "  bend CH VALUE             pitch bend, 0..16383 (8192 centre)\n"
    "  action NAME [VALUE]       next | prev | reverse-on | reverse-off | rec-start NOTE |\n"
    "                            rec-end | speed-up V | speed-down V | scratch V\n"
    "  offset N                  send a temporal offset reply (-64..63)\n"
    "  raw HEX...                send raw bytes, e.g. raw F0 7D 0E 01 F7\n"
    "  flood N [SEED] [BYTES]    N messages as fast as the MIDI system carries them: notes,\n"
    "                            aftertouch, bends, controllers and, every 250th, the info\n"
    "                            replies with a changed mapping; reports the last of each.\n"
    "                            At most BYTES (default 900) of JACK MIDI buffer per 512-frame\n"
    "                            period at 44.1 kHz: JACK drops what does not fit a period\n"
    "  sync                      send the info replies unasked\n"
    "  set version N | set type N | set slot K TYPE VALUE\n"
    "  set cal FIELD VALUE       FIELD as in the dump: delay, on, off, velocity-type,\n"
    "                            velocity-scale, aftertouch-type, aftertouch-scale, control,\n"
    "                            cc, channel\n"
    "  reset                     back to the state at start (what was uploaded is lost)\n"
    "  unplug | plug             close or reopen the MIDI ports (hot-plug)\n"
    "  reconnect                 after the MIDI system restarted: open new ports, leaving the\n"
    "                            old ones unclosed (closing a port of a stopped JACK server\n"
    "                            crashes inside the library)\n"
    "  quit\n";

class Emulator : public QObject
{
public:
    Emulator(QString name, bool logMessages) : name_(std::move(name)), log_(logMessages)
    {
        clock_.start();
    }
    ~Emulator() override
    {
        unplug();
        for (auto &p : abandoned_)
            (void)p.release();
        for (auto &p : abandonedOut_)
            (void)p.release();
    }

    bool plug(QString *error)
    {
        if (out_)
            return true;
        try {
            const std::string base = name_.toStdString();
            auto in = RtMidiBackend::createWithFallback<RtMidiIn>(
                [&](RtMidi::Api api) { return new RtMidiIn(api, base + " In", 1000); });
            // The output uses the API the input started with.
            auto out = std::make_unique<RtMidiOut>(in->getCurrentApi(), base + " Out");
            in->ignoreTypes(false, true, true);
            in->setCallback(&Emulator::incoming, this);
            in->openVirtualPort("MIDI in");
            out->openVirtualPort("MIDI out");
            api_ = RtMidi::getApiDisplayName(out->getCurrentApi());
            in_ = std::move(in);
            out_ = std::move(out);
            return true;
        } catch (const std::exception &e) {
            *error = QString::fromUtf8(e.what());
            return false;
        }
    }

    void unplug()
    {
        in_.reset();
        out_.reset();
    }

    QString apiName() const { return QString::fromStdString(api_); }

    // Executes one command line; returns the reply text.
    QString command(const QString &line, bool *quit)
    {
        const QStringList w = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (w.isEmpty())
            return QString();
        const QString c = w[0].toLower();
        auto num = [&](int i, int def = 0) { return i < w.size() ? w[i].toInt() : def; };
        auto channel = [&](int status, int ch) { return uint8_t(status | (ch & 0x0F)); };

        if (c == "help")
            return QString::fromLatin1(kHelp);
        if (c == "dump" || c == "print")
            return QString::fromStdString(device_.dump());
        if (c == "save") {
            if (w.size() < 2)
                return "error: save needs a file name\n";
            QFile f(w[1]);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                f.write(device_.dump().c_str()) < 0 || !f.flush())
                return "error: cannot write " + w[1] + "\n";
            return "saved " + w[1] + "\n";
        }
        if (c == "received") {
            std::lock_guard<std::mutex> lock(receivedMutex_);
            const int n = w.size() > 1 ? num(1) : int(received_.size());
            QString out;
            for (size_t i = received_.size() - size_t(std::min<int>(n, int(received_.size())));
                 i < received_.size(); ++i)
                out += QString::number(received_[i].first) + " " +
                       QString::fromStdString(hexText(received_[i].second)) + "\n";
            return out;
        }
        if (c == "clear") {
            std::lock_guard<std::mutex> lock(receivedMutex_);
            received_.clear();
            return "cleared\n";
        }
        if (c == "note")
            return send({channel(0x90, num(1)), uint8_t(num(2)), uint8_t(num(3))});
        if (c == "off")
            return send({channel(0x80, num(1)), uint8_t(num(2)), uint8_t(num(3))});
        if (c == "cc")
            return send({channel(0xB0, num(1)), uint8_t(num(2)), uint8_t(num(3))});
        if (c == "aftertouch")
            return send({channel(0xA0, num(1)), uint8_t(num(2)), uint8_t(num(3))});
        if (c == "bend") {
            const int v = std::max(0, std::min(16383, num(2, 8192)));
            return send({channel(0xE0, num(1)), uint8_t(v & 0x7F), uint8_t(v >> 7)});
        }
        if (c == "action") {
            const QString a = w.value(1).toLower();
            const int v = num(2);
            if (a == "prev")
                return send({0xB0, 127, 1});
            if (a == "next")
                return send({0xB0, 127, 2});
            if (a == "reverse-on")
                return send({0xB0, 127, 3});
            if (a == "reverse-off")
                return send({0xB0, 127, 4});
            if (a == "rec-start")
                return send({0xB0, 123, uint8_t(v ? v : 60)});
            if (a == "rec-end")
                return send({0xB0, 123, 0});
            if (a == "speed-up")
                return send({0xB0, 126, uint8_t(v)});
            if (a == "speed-down")
                return send({0xB0, 125, uint8_t(v)});
            if (a == "scratch")
                return send({0xB0, 124, uint8_t(v)});
            return "error: unknown action\n";
        }
        if (c == "offset")
            return send({0xF0, 0x7D, 0x16, uint8_t(std::max(0, std::min(127, num(1) + 64))), 0xF7});
        if (c == "raw") {
            std::vector<uint8_t> bytes;
            for (int i = 1; i < w.size(); ++i)
                bytes.push_back(uint8_t(w[i].toUInt(nullptr, 16)));
            return send(bytes);
        }
        if (c == "flood")
            return flood(num(1, 100000), unsigned(num(2, 1)), num(3, 900));
        if (c == "sync") {
            QString out;
            for (const auto &m : device_.infoReplies())
                out += send(m);
            return out;
        }
        if (c == "set") {
            const QString what = w.value(1).toLower();
            if (what == "version")
                device_.version = num(2);
            else if (what == "type")
                device_.deviceType = num(2);
            else if (what == "start-type") // the values "reset" returns to
                initialType_ = device_.deviceType = num(2);
            else if (what == "start-version")
                initialVersion_ = device_.version = num(2);
            else if (what == "slot" && num(2, -1) >= 0 && num(2) < 24)
                device_.mapping[size_t(num(2))] = {uint8_t(num(3)), uint8_t(num(4))};
            else if (what == "cal" && calibrationField(w.value(2)))
                *calibrationField(w.value(2)) = uint8_t(num(3));
            else
                return "error: set version N | set type N | set slot K TYPE VALUE | "
                       "set cal FIELD VALUE\n";
            return "ok\n";
        }
        if (c == "reset") {
            const int version = initialVersion_, type = initialType_;
            device_ = EmulatedDevice();
            device_.version = version;
            device_.deviceType = type;
            return "reset\n";
        }
        if (c == "unplug") {
            unplug();
            return "unplugged\n";
        }
        if (c == "reconnect") {
            abandoned_.push_back(std::move(in_));
            abandonedOut_.push_back(std::move(out_));
            QString error;
            return plug(&error) ? "plugged\n" : "error: " + error + "\n";
        }
        if (c == "plug") {
            QString error;
            return plug(&error) ? "plugged\n" : "error: " + error + "\n";
        }
        if (c == "quit") {
            *quit = true;
            return "bye\n";
        }
        return "error: unknown command (try help)\n";
    }

    // A message arrived (moved to the main thread).
    void handle(const std::vector<uint8_t> &m)
    {
        std::string event;
        const auto replies = device_.handle(m, &event);
        if (log_)
            std::printf("<- %s\n", hexText(m).c_str());
        if (!event.empty())
            std::printf("%s\n", event.c_str());
        for (const auto &r : replies)
            send(r);
        std::fflush(stdout);
    }

private:
    // Calibration fields by the names the dump uses.
    uint8_t *calibrationField(const QString &name)
    {
        EmulatedDevice &d = device_;
        const std::pair<const char *, uint8_t *> fields[] = {
            {"delay", &d.aftertouchDelay},
            {"on", &d.onThreshold},
            {"off", &d.offThreshold},
            {"velocity-type", &d.velocityCurveType},
            {"velocity-scale", &d.velocityScale},
            {"aftertouch-type", &d.aftertouchCurveType},
            {"aftertouch-scale", &d.aftertouchScale},
            {"control", &d.globalControl},
            {"cc", &d.globalCC},
            {"channel", &d.midiChannel},
        };
        for (const auto &f : fields)
            if (name == QLatin1String(f.first))
                return f.second;
        return nullptr;
    }

    static void incoming(double, std::vector<unsigned char> *message, void *self)
    {
        auto *e = static_cast<Emulator *>(self);
        const std::vector<uint8_t> m(message->begin(), message->end());
        {
            std::lock_guard<std::mutex> lock(e->receivedMutex_);
            e->received_.emplace_back(e->clock_.elapsed(), m);
            if (e->received_.size() > 100000)
                e->received_.pop_front();
        }
        QMetaObject::invokeMethod(
            e, [e, m] { e->handle(m); }, Qt::QueuedConnection);
    }

    // Sends and waits while the MIDI system's buffer is full, so nothing is dropped here.
    bool sendWaiting(const std::vector<uint8_t> &m)
    {
        for (int tries = 0; tries < 20000; ++tries) {
            full_ = false;
            try {
                out_->sendMessage(m.data(), m.size());
            } catch (const std::exception &) {
                return false;
            }
            if (!full_)
                return true;
            QThread::usleep(500);
        }
        return false;
    }
    static void outputError(RtMidiError::Type type, const std::string &text, void *self)
    {
        if (type == RtMidiError::WARNING && text.find("full") != std::string::npos)
            static_cast<Emulator *>(self)->full_ = true;
        else
            std::fprintf(stderr, "%s\n", text.c_str());
    }

    QString flood(int count, unsigned seed, int bytesPerPeriod)
    {
        if (!out_)
            return "error: unplugged\n";
        out_->setErrorCallback(&Emulator::outputError, this);
        uint32_t x = seed ? seed : 1;
        auto next = [&x] {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            return x;
        };
        QElapsedTimer timer;
        timer.start();
        // JACK hands a port one buffer per period; an event costs its bytes and a 12-byte
        // header. Spending at most the budget per period's worth of wall time keeps even two
        // windows that land in one period inside the buffer.
        const qint64 periodNs = 512LL * 1000000000LL / 44100;
        qint64 window = 0;
        int spent = 0;
        int sent = 0, bend = -1, offset = 0, notesOn = 0;
        std::vector<uint8_t> lastMapping;
        for (int i = 0; i < count; ++i) {
            const uint32_t r = next();
            const uint8_t ch = uint8_t(r & 0x0F);
            const uint8_t a = uint8_t((r >> 8) & 0x7F), b = uint8_t((r >> 16) & 0x7F);
            std::vector<std::vector<uint8_t>> batch;
            if (i % 250 == 249) {
                // The device changes one slot and answers an info request.
                device_.mapping[size_t(i / 250 % 24)] = {uint8_t(r % 2), uint8_t(a)};
                batch = device_.infoReplies();
                lastMapping = batch[1];
            } else if (i % 250 == 124) {
                offset = int(a % 128) - 64;
                batch.push_back({0xF0, 0x7D, 0x16, uint8_t(offset + 64), 0xF7});
            } else {
                switch (r % 5) {
                case 0:
                    batch.push_back({uint8_t(0x90 | ch), a, uint8_t(b | 1)});
                    ++notesOn;
                    break;
                case 1:
                    batch.push_back({uint8_t(0x80 | ch), a, 0});
                    break;
                case 2:
                    batch.push_back({uint8_t(0xA0 | ch), a, b});
                    break;
                case 3:
                    bend = a | (b << 7);
                    batch.push_back({uint8_t(0xE0 | ch), a, b});
                    break;
                default:
                    batch.push_back({uint8_t(0xB0 | ch), uint8_t(a % 120), b});
                    break;
                }
            }
            for (const auto &m : batch) {
                const int cost = 12 + int(m.size());
                if (spent + cost > bytesPerPeriod) {
                    while (timer.nsecsElapsed() / periodNs == window)
                        QThread::usleep(200);
                    window = timer.nsecsElapsed() / periodNs;
                    spent = 0;
                }
                spent += cost;
                if (!sendWaiting(m)) {
                    out_->setErrorCallback(nullptr, nullptr);
                    return QStringLiteral("error: the MIDI system took only %1 messages\n")
                        .arg(sent);
                }
            }
            ++sent;
        }
        out_->setErrorCallback(nullptr, nullptr);
        QString reply =
            QStringLiteral("flooded %1 messages in %2 ms\n").arg(sent).arg(timer.elapsed());
        reply += QStringLiteral("notes-on %1\nlast-bend %2\nlast-offset %3\nlast-mapping %4\n")
                     .arg(notesOn)
                     .arg(bend)
                     .arg(offset)
                     .arg(QString::fromStdString(hexText(lastMapping)));
        return reply;
    }

    QString send(const std::vector<uint8_t> &m)
    {
        if (!out_)
            return "error: unplugged\n";
        try {
            out_->sendMessage(m.data(), m.size());
        } catch (const std::exception &e) {
            return QStringLiteral("error: %1\n").arg(QString::fromUtf8(e.what()));
        }
        if (log_)
            std::printf("-> %s\n", hexText(m).c_str());
        return QString::fromStdString("sent " + hexText(m) + "\n");
    }

    QString name_;
    bool log_;
    std::string api_;
    EmulatedDevice device_;
    int initialType_ = 0;
    int initialVersion_ = 15;
    QElapsedTimer clock_;
    std::mutex receivedMutex_;
    std::deque<std::pair<qint64, std::vector<uint8_t>>> received_;
    std::unique_ptr<RtMidiIn> in_;
    std::unique_ptr<RtMidiOut> out_;
    bool full_ = false;
    // Ports of a MIDI system that went away, never closed.
    std::vector<std::unique_ptr<RtMidiIn>> abandoned_;
    std::vector<std::unique_ptr<RtMidiOut>> abandonedOut_;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("varno-device-emulator");
    QCommandLineParser args;
    args.setApplicationDescription(
        "Plays the VARNO hand controller on virtual MIDI ports (JACK, or ALSA where the "
        "sequencer exists) for VARNO Control.\n\n" +
        QString::fromLatin1(kHelp));
    args.addHelpOption();
    QCommandLineOption nameOpt("name", "Client name; must contain KVRN.", "name", "KVRN Emulator");
    QCommandLineOption controlOpt("control", "Also take commands on this local socket.", "socket");
    QCommandLineOption typeOpt("type", "Device type reported (0 standard, 1 vesko).", "n", "0");
    QCommandLineOption versionOpt("version-number", "Version reported.", "n", "15");
    QCommandLineOption logOpt("log", "Print every message in and out.");
    QCommandLineOption noStdinOpt("no-stdin", "Do not read commands from standard input.");
    args.addOptions({nameOpt, controlOpt, typeOpt, versionOpt, logOpt, noStdinOpt});
    args.process(app);

    const QString name = args.value(nameOpt);
    if (!name.contains("KVRN"))
        std::fprintf(stderr, "warning: VARNO Control only finds ports whose name contains KVRN\n");

    Emulator emu(name, args.isSet(logOpt));
    bool quit = false;
    emu.command("set start-type " + args.value(typeOpt), &quit);
    emu.command("set start-version " + args.value(versionOpt), &quit);
    QString error;
    if (!emu.plug(&error)) {
        std::fprintf(stderr, "cannot open MIDI ports: %s\n", qPrintable(error));
        return 1;
    }

    auto run = [&](const QString &line) {
        bool q = false;
        const QString reply = emu.command(line, &q);
        if (q)
            QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        return reply;
    };

    QLocalServer server;
    if (args.isSet(controlOpt)) {
        QLocalServer::removeServer(args.value(controlOpt));
        if (!server.listen(args.value(controlOpt))) {
            std::fprintf(stderr, "cannot listen on %s: %s\n", qPrintable(args.value(controlOpt)),
                         qPrintable(server.errorString()));
            return 1;
        }
        // One command per line; every reply ends with a line holding a single dot.
        QObject::connect(&server, &QLocalServer::newConnection, [&] {
            while (QLocalSocket *s = server.nextPendingConnection()) {
                QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
                QObject::connect(s, &QLocalSocket::readyRead, s, [s, &run] {
                    while (s->canReadLine()) {
                        const QString line = QString::fromUtf8(s->readLine()).trimmed();
                        s->write((run(line) + ".\n").toUtf8());
                    }
                });
            }
        });
    }

    std::unique_ptr<QSocketNotifier> stdinNotifier;
    if (!args.isSet(noStdinOpt)) {
        stdinNotifier = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
        QObject::connect(stdinNotifier.get(), &QSocketNotifier::activated, [&] {
            char buf[1024];
            if (!std::fgets(buf, sizeof buf, stdin)) {
                stdinNotifier->setEnabled(false); // end of input: keep running on the socket
                if (!args.isSet(controlOpt))
                    QCoreApplication::quit();
                return;
            }
            std::fputs(qPrintable(run(QString::fromLocal8Bit(buf))), stdout);
            std::fflush(stdout);
        });
    }

    std::printf("%s ready on %s: ports \"%s In:MIDI in\" and \"%s Out:MIDI out\". Type help.\n",
                qPrintable(name), qPrintable(emu.apiName()), qPrintable(name), qPrintable(name));
    std::fflush(stdout);
    return app.exec();
}
