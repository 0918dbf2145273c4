// The MIDI engine's inside, shared by its source files: korvanemidiengine.cpp (construction,
// input dispatch, uploads) and midiportsearch.cpp (finding the device's ports, the
// vanished-port check, on the port thread).
#pragma once

#include "korvanemidiengine.h"

#include "midiportbackend.h"
#include "midiportthread.h"
#include "midisender.h"
#include "rtmidibackend.h"
#include "sysexcodec.h"
#include "sysexparser.h"

#include <QDebug>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>

namespace {

const char *const kInputClient = "RtMidi Input Client";
const char *const kOutputClient = "RtMidi Output Client";
const char *const kInputPortName = "RtMidi Input";
const char *const kOutputPortName = "RtMidi Output";
const char *const kProbeClient = "VARNO Control port check";
constexpr unsigned kQueueLimit = 100;

const QString kSuccess = QStringLiteral(".. success?");
const QString kNoDevice = QStringLiteral("No device connected: nothing was sent");

inline bool isDevicePort(const QString &name)
{
    return name.contains(QLatin1String("KVRN")) || name.contains(QLatin1String("QMITT"));
}

inline bool isSkippedPort(const QString &name)
{
    return name == QLatin1String("Network Session 1") || name == QLatin1String("IAC Driver Bus 1");
}

} // namespace

struct ExtraPort
{
    std::unique_ptr<MidiInputPort> input;
    std::unique_ptr<MidiOutputPort> output;
    QString name;
    int index = 0;
};

struct KorvaneMidiEngine::Private : SysexReplyListener
{
    explicit Private(KorvaneMidiEngine *q) : q(q) {}

    KorvaneMidiEngine *q;
    std::unique_ptr<MidiPortBackend> backend;

    // Reply parser, records under assembly and the play-event sink; one input thread at a
    // time.
    std::mutex parserMutex;
    SysexReplyParser parser;
    PlayEventSink playSink;

    // The main output is used by the port thread (discovery) and by the sender thread.
    mutable std::mutex portMutex;
    std::unique_ptr<MidiOutputPort> mainOut;
    std::string mainOutPort; // the system port it is connected to
    // Main input, extra ports and the search state are touched on the port thread only.
    std::unique_ptr<MidiInputPort> mainIn;
    std::string mainInPort;
    std::vector<ExtraPort> extras;
    bool firstSearch = true;

    std::chrono::milliseconds remotePause{30};
    std::chrono::milliseconds palmettoPause{8000};
    std::unique_ptr<MidiSender> sender;
    // Port objects of a MIDI system that went away; never closed or destroyed (see
    // DropVanishedPorts).
    std::vector<std::shared_ptr<MidiPort>> abandoned;
    // Where the port side's status lines go: emitted from the port thread, or collected and
    // emitted by the caller of a synchronous call (portCall).
    std::function<void(const QString &)> portStatus = [this](const QString &s) { status(s); };
    std::atomic<bool> checking{false};
    // Runs every port task; the engine's destructor stops it before the rest goes.
    std::unique_ptr<MidiPortThread> portThread;

    void status(const QString &text) { emit q->SendStatusMessage(text); }

    // Runs f on the port thread and waits; its status lines are emitted afterwards on the
    // calling thread, in order.
    void portCall(const std::function<void()> &f);
    void findDevices();
    bool dropVanishedPorts();
    void releasePorts();
    bool outputOpen() const;

    // Port thread: runs one port call; a failure becomes a status line and false.
    template <class F> bool guarded(F f)
    {
        QString error;
        try {
            f();
            return true;
        } catch (const std::exception &e) {
            error = QString::fromUtf8(e.what());
        }
        portStatus(QStringLiteral("MIDI error: ") + error);
        return false;
    }
    // The same for calls on the main output, which the sender thread shares.
    template <class F> bool guardedOut(F f)
    {
        QString error;
        {
            std::lock_guard<std::mutex> lock(portMutex);
            if (!mainOut)
                return false;
            try {
                f(*mainOut);
                return true;
            } catch (const std::exception &e) {
                error = QString::fromUtf8(e.what());
            }
        }
        portStatus(QStringLiteral("MIDI error: ") + error);
        return false;
    }

    void installCallback(MidiInputPort &in)
    {
        in.setCallback([this](const std::vector<uint8_t> &m) { q->ProcessMessage(m); });
    }

    void createMainPorts()
    {
        if (!mainIn) {
            guarded([&] {
                auto in = backend->createInput(kInputClient, kQueueLimit);
                installCallback(*in);
                mainIn = std::move(in);
            });
        }
        bool haveOut;
        {
            std::lock_guard<std::mutex> lock(portMutex);
            haveOut = mainOut != nullptr;
        }
        if (!haveOut) {
            guarded([&] {
                auto out = backend->createOutput(kOutputClient);
                std::lock_guard<std::mutex> lock(portMutex);
                mainOut = std::move(out);
            });
        }
    }

    // Sender side: one message on the main output, if it is open.
    MidiSender::Outcome sendNow(const std::vector<uint8_t> &m)
    {
        QString error;
        {
            std::lock_guard<std::mutex> lock(portMutex);
            if (!mainOut)
                return MidiSender::Outcome::NoPort;
            try {
                if (!mainOut->isOpen())
                    return MidiSender::Outcome::NoPort;
                mainOut->send(m);
                return MidiSender::Outcome::Sent;
            } catch (const std::exception &e) {
                error = QString::fromUtf8(e.what());
            }
        }
        status(QStringLiteral("MIDI error: ") + error + QStringLiteral(" (message not sent)"));
        return MidiSender::Outcome::Refused;
    }

    MidiSender::Step sendStep(const KorvaneSysex::Message &m, std::chrono::milliseconds pause)
    {
        return MidiSender::Step::send(m, pause);
    }
    MidiSender::Step statusStep(const QString &text)
    {
        return MidiSender::Step::call([this, text](const MidiSender::Progress &) { status(text); });
    }
    // The closing status of an upload. When the MIDI system refused a message, the upload is
    // reported as not sent instead of ".. success?"; when no device took it, a line says
    // nothing left.
    MidiSender::Step finalStep(const QString &text)
    {
        return MidiSender::Step::call([this, text](const MidiSender::Progress &p) {
            const int total = p.sent + p.unsent + p.refused + p.dropped;
            if (p.refused > 0) {
                QString head = text;
                if (head.endsWith(kSuccess))
                    head.chop(kSuccess.size());
                status(head + QStringLiteral(".. not sent: the MIDI system refused %1 of %2 "
                                             "messages")
                                  .arg(p.refused)
                                  .arg(total));
                return;
            }
            if (p.dropped > 0) {
                QString head = text;
                if (head.endsWith(kSuccess))
                    head.chop(kSuccess.size());
                status(head + QStringLiteral(".. stopped: %1 of %2 messages were not sent")
                                  .arg(p.dropped)
                                  .arg(total));
                return;
            }
            if (!text.isEmpty())
                status(text);
            if (p.sent == 0)
                status(kNoDevice);
            else if (p.unsent > 0)
                status(QStringLiteral("Upload interrupted: the device left after %1 of %2 "
                                      "messages; send it again once the device is back")
                           .arg(p.sent)
                           .arg(total));
        });
    }

    // Reply listener: runs on the input thread under parserMutex.
    void versionReply(int v) override
    {
        qDebug() << "Got version info  response : " << v;
        emit q->PassDeviceVersionNumber(v);
    }
    void deviceTypeReply(int t) override
    {
        qDebug() << "Got device type response : " << t;
        emit q->setDeviceType(t);
    }
    void temporalOffsetReply(int offset) override
    {
        qDebug() << "Got Temporal offset: " << offset;
        emit q->SendTemporalOffset(offset);
    }
    void mappingHeader(int expected) override
    {
        qDebug() << "Getting sensors. expecting " << expected << " nodes";
    }
    void nodeReceived(const KorvaneSensorNode &n) override
    {
        qDebug() << "Got node " << n.index << " type:" << n.type << " note: " << n.note;
    }
    void mappingComplete(const KorvaneSensorsState &state) override
    {
        qDebug() << "received octave nro : " << state.octave;
        emit q->UpdateStateFromSysEX(state);
    }
    void curveHeader(int index) override
    {
        qDebug() << "Getting curve" << index << ". expecting " << 4 << " bytes";
    }
    void curveRecord(int index) override
    {
        if (index == 0)
            qDebug() << "got velocity curve data";
        else if (index == 1)
            qDebug() << "got at curve data";
    }
    void thresholdHeader() override
    {
        qDebug() << "Getting TH settings. expecting " << 4 << " bytes";
    }
    void thresholdRecord() override { qDebug() << "got TH settings. from stream"; }
    void aftertouchHeader() override
    {
        qDebug() << "Getting AT settings. expecting " << 4 << " bytes";
    }
    void aftertouchRecord() override { qDebug() << "got AT settings. from stream"; }
    void generalHeader() override
    {
        qDebug() << "Getting General settings. expecting " << 4 << " bytes";
    }
    void calibrationComplete(const KorvaneCalibration &c) override
    {
        qDebug() << "got General settings. from stream";
        emit q->UpdateCalibrationFromSysEX(c);
        emit q->GotSync();
    }

    void dispatch(const ChannelMessage &m);
    // Hands a note, note-off or change to the play-event sink, if any.
    void play(int kind, int channel, int note, int value, int type = 0)
    {
        if (!playSink)
            return;
        KorvanePlayEvent e;
        e.kind = kind;
        e.channel = channel;
        e.note = note;
        e.value = value;
        e.type = type;
        playSink(e);
    }
};
