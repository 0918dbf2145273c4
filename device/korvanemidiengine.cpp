#include "korvanemidiengine.h"

#include "midiportbackend.h"
#include "midisender.h"
#include "rtmidibackend.h"
#include "sysexcodec.h"
#include "sysexparser.h"

#include <QDebug>

#include <algorithm>
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

bool isDevicePort(const QString &name)
{
    return name.contains(QLatin1String("KVRN")) || name.contains(QLatin1String("QMITT"));
}

bool isSkippedPort(const QString &name)
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

    // Reply parser and records under assembly; one input thread at a time.
    std::mutex parserMutex;
    SysexReplyParser parser;

    // The main output is used by the GUI thread (discovery) and by the sender thread.
    mutable std::mutex portMutex;
    std::unique_ptr<MidiOutputPort> mainOut;
    std::string mainOutPort; // the system port it is connected to
    // Main input and extra ports are touched on the GUI thread only.
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

    void status(const QString &text) { emit q->SendStatusMessage(text); }

    // Runs one port call; a failure becomes a status line and false.
    template <class F> bool guarded(F f)
    {
        QString error;
        try {
            f();
            return true;
        } catch (const std::exception &e) {
            error = QString::fromUtf8(e.what());
        }
        status(QStringLiteral("MIDI error: ") + error);
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
        status(QStringLiteral("MIDI error: ") + error);
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
    bool sendNow(const std::vector<uint8_t> &m)
    {
        QString error;
        {
            std::lock_guard<std::mutex> lock(portMutex);
            if (!mainOut)
                return false;
            try {
                if (!mainOut->isOpen())
                    return false;
                mainOut->send(m);
                return true;
            } catch (const std::exception &e) {
                error = QString::fromUtf8(e.what());
            }
        }
        status(QStringLiteral("MIDI error: ") + error);
        return false;
    }

    MidiSender::Step sendStep(const KorvaneSysex::Message &m, std::chrono::milliseconds pause)
    {
        return MidiSender::Step::send(m, pause);
    }
    MidiSender::Step statusStep(const QString &text)
    {
        return MidiSender::Step::call([this, text](const MidiSender::Progress &) { status(text); });
    }
    // The closing status of an upload, then a line saying nothing left when no device took it.
    MidiSender::Step finalStep(const QString &text)
    {
        return MidiSender::Step::call([this, text](const MidiSender::Progress &p) {
            if (!text.isEmpty())
                status(text);
            if (p.sent == 0)
                status(kNoDevice);
            else if (p.unsent > 0)
                status(QStringLiteral("Upload interrupted: the device left after %1 of %2 "
                                      "messages; send it again once the device is back")
                           .arg(p.sent)
                           .arg(p.sent + p.unsent));
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
};

KorvaneMidiEngine::KorvaneMidiEngine(QObject *parent)
    : KorvaneMidiEngine(std::make_unique<RtMidiBackend>(), parent)
{
}

KorvaneMidiEngine::KorvaneMidiEngine(std::unique_ptr<MidiPortBackend> backend, QObject *parent)
    : QObject(parent), d(new Private(this))
{
    registerKorvaneMetaTypes();
    d->backend = std::move(backend);
    d->createMainPorts();
    d->sender = std::make_unique<MidiSender>(
        [this](const std::vector<uint8_t> &m) { return d->sendNow(m); });
}

KorvaneMidiEngine::~KorvaneMidiEngine()
{
    d->sender.reset(); // stops the sender before the ports go
    d->extras.clear();
    d->mainIn.reset();
    {
        std::lock_guard<std::mutex> lock(d->portMutex);
        d->mainOut.reset();
    }
    delete d;
}

void KorvaneMidiEngine::FindDevices()
{
    d->status(QStringLiteral("Removing old port connections"));
    for (ExtraPort &e : d->extras) {
        if (e.output)
            d->guarded([&] { e.output->close(); });
        d->guarded([&] {
            e.input->close();
            e.input->cancelCallback();
        });
    }
    d->extras.clear();
    d->status(QStringLiteral("Searching for Devices..."));
    d->createMainPorts(); // again, in case the MIDI system was not there at start

    // Inputs.
    unsigned count = 0;
    if (d->mainIn)
        d->guarded([&] { count = d->mainIn->portCount(); });
    QString inText = QStringLiteral("No devices found");
    if (count > 0) {
        inText = QStringLiteral("MIDI IN Devices: ");
        bool found = false;
        for (unsigned i = 0; i < count; ++i) {
            std::string raw;
            if (!d->guarded([&] { raw = d->mainIn->portName(i); }))
                continue;
            const QString name = QString::fromStdString(raw);
            if (!isSkippedPort(name))
                inText += name + QStringLiteral(", ");
            if (!isDevicePort(name))
                continue;
            if (!found) {
                d->status(QStringLiteral("connected to: ") + name);
                if (d->mainIn->isOpen()) {
                    found = true; // already connected; the library leaves an open port as it is
                } else if (d->guarded([&] { d->mainIn->open(i, kInputPortName); })) {
                    d->mainInPort = raw;
                    found = true;
                }
                continue;
            }
            ExtraPort extra;
            extra.name = name;
            extra.index = int(i);
            if (d->guarded([&] {
                    extra.input = d->backend->createInput(kInputClient, kQueueLimit);
                    d->installCallback(*extra.input);
                    extra.input->open(i, kInputPortName);
                })) {
                d->extras.push_back(std::move(extra));
                d->status(QStringLiteral("Extra port connected to: ") + name);
            }
        }
        if (!found)
            inText = QStringLiteral("No devices found");
    }
    if (d->mainIn)
        d->guarded([&] { d->mainIn->ignoreTypes(false, true, true); });
    d->status(inText);

    // Outputs.
    count = 0;
    d->guardedOut([&](MidiOutputPort &out) { count = out.portCount(); });
    QString outText = QStringLiteral("No devices found");
    if (count > 0) {
        outText = QStringLiteral("MIDI OUT Devices: ");
        bool found = false;
        size_t nextExtra = 0;
        for (unsigned i = 0; i < count; ++i) {
            std::string raw;
            if (!d->guardedOut([&](MidiOutputPort &out) { raw = out.portName(i); }))
                continue;
            const QString name = QString::fromStdString(raw);
            if (!isSkippedPort(name))
                outText += name + QStringLiteral(", ");
            if (!isDevicePort(name))
                continue;
            if (!found) {
                d->status(QStringLiteral("connected to: ") + name);
                bool wasOpen = false;
                const bool ok = d->guardedOut([&](MidiOutputPort &out) {
                    wasOpen = out.isOpen();
                    if (!wasOpen) {
                        out.open(i, kOutputPortName);
                        d->mainOutPort = raw;
                    }
                });
                found = ok;
                continue;
            }
            while (nextExtra < d->extras.size() && d->extras[nextExtra].output)
                ++nextExtra;
            if (nextExtra == d->extras.size())
                continue; // no input left to pair this output with
            ExtraPort &extra = d->extras[nextExtra];
            if (d->guarded([&] {
                    auto out = d->backend->createOutput(kOutputClient);
                    out->open(i, kOutputPortName);
                    extra.output = std::move(out);
                }))
                d->status(QStringLiteral("Extra out also connected: ") + name);
        }
        if (!found)
            outText = QStringLiteral("No devices found");
    }
    d->status(outText);

    if (d->firstSearch) {
        d->firstSearch = false;
        SendDeviceInfoRequest();
    }
}

bool KorvaneMidiEngine::isOutputOpen() const
{
    std::lock_guard<std::mutex> lock(d->portMutex);
    try {
        return d->mainOut && d->mainOut->isOpen();
    } catch (const std::exception &) {
        return false;
    }
}

bool KorvaneMidiEngine::DropVanishedPorts()
{
    bool inOpen = false;
    try {
        inOpen = d->mainIn && d->mainIn->isOpen();
    } catch (const std::exception &) {
    }
    const bool outOpen = isOutputOpen();
    if (!inOpen && !outOpen)
        return false;

    // The system's current port lists, read through new port objects: one whose MIDI system
    // went away (a JACK server that stopped) keeps listing the ports it knew, so the main
    // ports cannot be asked. Without a MIDI system the lists are empty.
    auto listPorts = [&](bool inputs, std::vector<std::string> &names) {
        std::unique_ptr<MidiPort> probe;
        if (inputs)
            probe = d->backend->createInput(kProbeClient, 1);
        else
            probe = d->backend->createOutput(kProbeClient);
        const unsigned n = probe->portCount();
        for (unsigned i = 0; i < n; ++i)
            names.push_back(probe->portName(i));
    };
    std::vector<std::string> inNames, outNames;
    try {
        if (outOpen)
            listPorts(false, outNames);
        if (!outOpen || !d->extras.empty() || outNames.empty())
            listPorts(true, inNames);
    } catch (const std::exception &e) {
        qWarning() << "MIDI port list unavailable:" << e.what();
        return false;
    }
    auto listed = [](const std::vector<std::string> &names, const std::string &n) {
        return std::find(names.begin(), names.end(), n) != names.end();
    };
    const bool outGone = outOpen && !d->mainOutPort.empty() && !listed(outNames, d->mainOutPort);
    const bool inGone =
        !outOpen && inOpen && !d->mainInPort.empty() && !listed(inNames, d->mainInPort);
    if (!inGone && !outGone)
        return false;

    const QString name = QString::fromStdString(outGone ? d->mainOutPort : d->mainInPort);
    // The device left, or the MIDI system with it: release both main port objects, so the next
    // search starts with new ones that reach the system as it is now, and the extra ports
    // whose device left too. When no port at all is listed either way, the system itself is
    // gone (a stopped JACK server): closing a port of a client whose server died crashes inside the
    // library, so such port objects are set aside, never closed.
    const bool systemGone = outNames.empty() && inNames.empty();
    auto drop = [&](auto &port) {
        if (systemGone && port)
            d->abandoned.push_back(std::shared_ptr<MidiPort>(port.release(), [](MidiPort *) {}));
        port.reset();
    };
    drop(d->mainIn);
    d->mainInPort.clear();
    {
        std::lock_guard<std::mutex> lock(d->portMutex);
        drop(d->mainOut);
        d->mainOutPort.clear();
    }
    if (systemGone) {
        for (ExtraPort &e : d->extras) {
            drop(e.input);
            drop(e.output);
        }
        d->extras.clear();
    }
    auto &extras = d->extras;
    extras.erase(
        std::remove_if(extras.begin(), extras.end(),
                       [&](const ExtraPort &e) { return !listed(inNames, e.name.toStdString()); }),
        extras.end());
    qDebug() << "device ports left the system:" << name;
    return true;
}

void KorvaneMidiEngine::ReleasePorts()
{
    d->mainIn.reset();
    d->mainInPort.clear();
    std::lock_guard<std::mutex> lock(d->portMutex);
    d->mainOut.reset();
    d->mainOutPort.clear();
}

bool KorvaneMidiEngine::waitForUploads(int timeoutMs)
{
    return d->sender->waitIdle(std::chrono::milliseconds(timeoutMs));
}

bool KorvaneMidiEngine::isSending() const
{
    return !d->sender->isIdle();
}

void KorvaneMidiEngine::setPauses(std::chrono::milliseconds remote,
                                  std::chrono::milliseconds palmettoSettings)
{
    d->remotePause = remote;
    d->palmettoPause = palmettoSettings;
}

void KorvaneMidiEngine::ProcessMessage(const std::vector<uint8_t> &message)
{
    if (message.empty())
        return;
    std::lock_guard<std::mutex> lock(d->parserMutex);
    d->parser.feed(message.data(), message.size(), *d);
    if (d->parser.inSysex())
        return; // no channel message while a device SysEx is open
    d->dispatch(classifyChannelMessage(message.data(), message.size()));
}

void KorvaneMidiEngine::Private::dispatch(const ChannelMessage &m)
{
    const QString ch = QString::number(m.channel);
    const QString d1 = QString::number(m.data1);
    const QString d2 = QString::number(m.data2);
    const float control = float(m.data2) / 127.0f;
    switch (m.kind) {
    case ChannelMessage::None:
        return;
    case ChannelMessage::NoteOn:
        emit q->MidiPlay(m.channel, m.data1, m.data2);
        status(QStringLiteral("NoteOn: Channel:") + ch + QStringLiteral(" Note:") + d1 +
               QStringLiteral(" Vol:") + d2);
        return;
    case ChannelMessage::NoteOff:
        emit q->MidiStop(m.channel, m.data1, m.data2);
        status(QStringLiteral("NoteOff: Channel:") + ch + QStringLiteral(" Note:") + d1 +
               QStringLiteral(" Vol:") + d2);
        return;
    case ChannelMessage::PolyAftertouch:
        emit q->SendControlValue(control);
        emit q->MidiChange(m.channel, m.data1, 2, m.data2);
        status(QStringLiteral("Poly Aftertouch: Channel:") + ch + QStringLiteral("Note:") + d1 +
               QStringLiteral("Value:") + d2);
        return;
    case ChannelMessage::PitchBend: {
        const int v = m.data1 + m.data2 * 128;
        emit q->SendControlValue(float(v) / 16384.0f);
        emit q->MidiChange(m.channel, 0, 7, v);
        status(QStringLiteral("PitchBend: Channel:") + ch + QStringLiteral("Value:") +
               QString::number(v));
        return;
    }
    case ChannelMessage::ControlChange:
        break;
    }
    switch (m.data1) {
    case 127:
        switch (m.data2) {
        case 1:
            emit q->ActionPrevSound();
            status(QStringLiteral("Action:  Previous Sound"));
            break;
        case 2:
            emit q->ActionNextSound();
            status(QStringLiteral("Action:  Next Sound"));
            break;
        case 3:
            emit q->MidiChange(m.channel, 127, 8, 1);
            status(QStringLiteral("Action:  Reverse on"));
            break;
        case 4:
            emit q->MidiChange(m.channel, 127, 8, 0);
            status(QStringLiteral("Action:  Reverse off"));
            break;
        default:
            break;
        }
        return;
    case 126:
        emit q->MidiChange(m.channel, 126, 4, m.data2);
        emit q->SendControlValue(control);
        status(QStringLiteral("Speed Up: ") + d2);
        return;
    case 125:
        emit q->MidiChange(m.channel, 125, 5, m.data2);
        emit q->SendControlValue(control);
        status(QStringLiteral("Speed Down: ") + d2);
        return;
    case 124:
        emit q->MidiChange(m.channel, 124, 9, m.data2);
        emit q->SendControlValue(control);
        status(QStringLiteral("Scratch: ") + d2);
        return;
    case 123:
        if (m.data2 != 0) {
            qDebug() << "midi rec start received. note: " << m.data2;
            emit q->ActionStartRec(m.data2);
        } else {
            qDebug() << "midi rec end received";
            emit q->ActionEndRec();
        }
        return;
    default:
        emit q->SendControlValue(control);
        status(QStringLiteral("Control: Channel:") + ch + QStringLiteral("CC#:") + d1 +
               QStringLiteral("Value:") + d2);
        emit q->MidiChange(m.channel, m.data1, 1, m.data2);
        return;
    }
}

// Uploads. Each builds its messages now and hands them to the sender thread, which keeps
// their order and pauses; status lines are emitted as the messages leave.

void KorvaneMidiEngine::SendState(KorvaneSensorsState state, int)
{
    const KorvaneSysex::Message m = KorvaneSysex::mappingPalmetto(state);
    QString text = QStringLiteral("Sending sysex to Palmetto: ");
    for (size_t i = 3; i + 1 < m.size(); ++i)
        text += QString::number(m[i]) + QLatin1Char(' ');
    text += kSuccess;
    d->sender->enqueue({d->sendStep(m, std::chrono::milliseconds(0)), d->finalStep(text)});
}

void KorvaneMidiEngine::SendStateRemote(KorvaneSensorsState state, int, float, bool vesko)
{
    if (vesko)
        qDebug() << "vesko send";
    const auto wire = KorvaneSysex::wireSlots(state, vesko);
    const auto messages = KorvaneSysex::mappingRemote(state, vesko);
    MidiSender::Job job;
    job.push_back(d->statusStep(QStringLiteral("Sending sensor mapping")));
    for (size_t i = 0; i < messages.size(); ++i) {
        if (i > 0) {
            const auto &slot = wire[i - 1];
            qDebug().noquote() << QStringLiteral("node: %1| type: %2| number: %3")
                                      .arg(i - 1)
                                      .arg(slot.first)
                                      .arg(slot.second);
            for (size_t b = 3; b + 1 < messages[i].size(); ++b)
                qDebug().noquote() << QStringLiteral("byte: %1").arg(messages[i][b]);
        }
        job.push_back(d->sendStep(messages[i], d->remotePause));
    }
    job.push_back(d->finalStep(QStringLiteral("Sending sysex to RemoteCore: ") + kSuccess));
    d->sender->enqueue(std::move(job));
}

void KorvaneMidiEngine::SendCalibration(KorvaneCalibration) {}

void KorvaneMidiEngine::SendCalibrationRemote(KorvaneCalibration calib, float)
{
    qDebug().noquote()
        << QStringLiteral("vel scalar: %1").arg(KorvaneSysex::floatToByte(calib.velocityScale));
    qDebug().noquote() << QStringLiteral("vel type: %1").arg(calib.velocityCurveType);
    MidiSender::Job job;
    for (const auto &m : KorvaneSysex::calibrationRemote(calib))
        job.push_back(d->sendStep(m, d->remotePause));
    job.push_back(
        d->finalStep(QStringLiteral("Sending calibration sysex to RemoteCore: ") + kSuccess));
    d->sender->enqueue(std::move(job));
}

void KorvaneMidiEngine::SendSettings(KorvaneCalibration calib)
{
    qDebug().noquote() << QStringLiteral("sending key on th : %1").arg(calib.onThreshold);
    const auto messages = KorvaneSysex::settingsPalmetto(calib);
    const int total = int(messages.size());
    MidiSender::Job job;
    for (int i = 0; i < total; ++i) {
        // This upload takes 72 seconds; each step shows how far it got.
        job.push_back(
            d->statusStep(QStringLiteral("Sending settings %1 of %2").arg(i + 1).arg(total)));
        job.push_back(d->sendStep(messages[size_t(i)],
                                  i + 1 < total ? d->palmettoPause : std::chrono::milliseconds(0)));
    }
    job.push_back(d->finalStep(QStringLiteral("Sending sysex to Palmetto: ") + kSuccess));
    d->sender->enqueue(std::move(job));
}

void KorvaneMidiEngine::SendSettingsRemote(KorvaneCalibration calib, float)
{
    qDebug().noquote() << QStringLiteral("Sending controltype: %1").arg(calib.globalControl & 0xFF);
    qDebug().noquote() << QStringLiteral("sending %1 bytes of data").arg(10);
    MidiSender::Job job;
    for (const auto &m : KorvaneSysex::settingsRemote(calib))
        job.push_back(d->sendStep(m, d->remotePause));
    job.push_back(
        d->finalStep(QStringLiteral("Sending sysex settings to RemoteCore: ") + kSuccess));
    d->sender->enqueue(std::move(job));
}

void KorvaneMidiEngine::SendBendSettingsRemote(KorvaneBendSettings bends, float)
{
    MidiSender::Job job;
    for (const auto &m : KorvaneSysex::bendRemote(bends)) {
        if (m[2] == KorvaneSysex::CmdBendRecord)
            qDebug().noquote() << QStringLiteral("sending %1 bytes of data").arg(10);
        job.push_back(d->sendStep(m, d->remotePause));
    }
    job.push_back(
        d->finalStep(QStringLiteral("Sending sysex bend settings to RemoteCore: ") + kSuccess));
    d->sender->enqueue(std::move(job));
}

void KorvaneMidiEngine::SendGyroSettingsRemote(KorvaneGyroSettings gsettings, float)
{
    const auto messages = KorvaneSysex::gyroRemote(gsettings);
    const auto &record = messages[1];
    for (size_t b = 3; b + 1 < record.size(); ++b)
        qDebug().noquote() << QStringLiteral("byte: %1").arg(record[b]);
    qDebug().noquote() << QStringLiteral("sending %1 bytes of data").arg(10);
    MidiSender::Job job;
    for (const auto &m : messages)
        job.push_back(d->sendStep(m, d->remotePause));
    job.push_back(d->finalStep(QString()));
    d->sender->enqueue(std::move(job));
}

void KorvaneMidiEngine::SendDeviceInfoRequest()
{
    d->sender->enqueue({d->sendStep(KorvaneSysex::infoRequest(), d->remotePause)});
}

void KorvaneMidiEngine::SendDeviceVersionRequest()
{
    d->sender->enqueue({d->sendStep(KorvaneSysex::versionRequest(), d->remotePause)});
}

void KorvaneMidiEngine::DisconnectMIDI() {}

void KorvaneMidiEngine::setMultiDevice(bool) {}

void KorvaneMidiEngine::SendWriteCommand()
{
    qDebug() << "Sending eeprom write command";
    MidiSender::Job job;
    job.push_back(d->sendStep(KorvaneSysex::eepromWrite(), d->remotePause));
    job.push_back(MidiSender::Step::call([this](const MidiSender::Progress &p) {
        emit RomWritten();
        if (p.sent == 0)
            d->status(kNoDevice);
    }));
    d->sender->enqueue(std::move(job));
}
