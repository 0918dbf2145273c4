#include "korvanemidiengine_p.h"

KorvaneMidiEngine::KorvaneMidiEngine(QObject *parent)
    : KorvaneMidiEngine(std::make_unique<RtMidiBackend>(), parent)
{
}

KorvaneMidiEngine::KorvaneMidiEngine(std::unique_ptr<MidiPortBackend> backend, QObject *parent)
    : QObject(parent), d(new Private(this))
{
    registerKorvaneMetaTypes();
    d->backend = std::move(backend);
    d->portThread = std::make_unique<MidiPortThread>();
    // The MIDI clients open on the port thread while the rest of start-up goes on; later port
    // calls queue behind it.
    d->portThread->post([this] { d->createMainPorts(); });
    d->sender = std::make_unique<MidiSender>(
        [this](const std::vector<uint8_t> &m) { return d->sendNow(m); });
}

KorvaneMidiEngine::~KorvaneMidiEngine()
{
    // Port work still queued (a search posted at start-up) may send: it finishes first.
    d->portThread->run([] {});
    d->sender.reset(); // stops the sender before the ports go
    // The port objects are MIDI clients: they go on the thread that made them.
    d->portCall([this] {
        d->extras.clear();
        d->mainIn.reset();
        std::lock_guard<std::mutex> lock(d->portMutex);
        d->mainOut.reset();
    });
    d->portThread.reset();
    delete d;
}

bool KorvaneMidiEngine::waitForUploads(int timeoutMs)
{
    return d->sender->waitIdle(std::chrono::milliseconds(timeoutMs));
}

bool KorvaneMidiEngine::isSending() const
{
    return !d->sender->isIdle();
}

namespace {
QVector<KorvaneMidiEngine::PendingUpload> toUploads(const std::vector<MidiSender::Pending> &list)
{
    QVector<KorvaneMidiEngine::PendingUpload> out;
    for (const MidiSender::Pending &p : list)
        out.push_back({QString::fromStdString(p.what), p.left, p.total});
    return out;
}
} // namespace

QVector<KorvaneMidiEngine::PendingUpload> KorvaneMidiEngine::pendingUploads() const
{
    return toUploads(d->sender->pending());
}

QVector<KorvaneMidiEngine::PendingUpload> KorvaneMidiEngine::abortUploads()
{
    return toUploads(d->sender->abort());
}

int KorvaneMidiEngine::messagesNotSent() const
{
    const MidiSender::Progress t = d->sender->totals();
    return t.unsent + t.refused;
}

void KorvaneMidiEngine::setPauses(std::chrono::milliseconds remote,
                                  std::chrono::milliseconds palmettoSettings)
{
    d->remotePause = remote;
    d->palmettoPause = palmettoSettings;
}

void KorvaneMidiEngine::setPlayEventSink(PlayEventSink sink)
{
    std::lock_guard<std::mutex> lock(d->parserMutex);
    d->playSink = std::move(sink);
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
        play(KorvanePlayEvent::NoteOn, m.channel, m.data1, m.data2);
        emit q->MidiPlay(m.channel, m.data1, m.data2);
        status(QStringLiteral("NoteOn: Channel:") + ch + QStringLiteral(" Note:") + d1 +
               QStringLiteral(" Vol:") + d2);
        return;
    case ChannelMessage::NoteOff:
        play(KorvanePlayEvent::NoteOff, m.channel, m.data1, m.data2);
        emit q->MidiStop(m.channel, m.data1, m.data2);
        status(QStringLiteral("NoteOff: Channel:") + ch + QStringLiteral(" Note:") + d1 +
               QStringLiteral(" Vol:") + d2);
        return;
    case ChannelMessage::PolyAftertouch:
        play(KorvanePlayEvent::Change, m.channel, m.data1, m.data2, 2);
        emit q->SendControlValue(control);
        emit q->MidiChange(m.channel, m.data1, 2, m.data2);
        status(QStringLiteral("Poly Aftertouch: Channel:") + ch + QStringLiteral("Note:") + d1 +
               QStringLiteral("Value:") + d2);
        return;
    case ChannelMessage::PitchBend: {
        const int v = m.data1 + m.data2 * 128;
        play(KorvanePlayEvent::Change, m.channel, 0, v, 7);
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
            play(KorvanePlayEvent::Change, m.channel, 127, 1, 8);
            emit q->MidiChange(m.channel, 127, 8, 1);
            status(QStringLiteral("Action:  Reverse on"));
            break;
        case 4:
            play(KorvanePlayEvent::Change, m.channel, 127, 0, 8);
            emit q->MidiChange(m.channel, 127, 8, 0);
            status(QStringLiteral("Action:  Reverse off"));
            break;
        default:
            break;
        }
        return;
    case 126:
        play(KorvanePlayEvent::Change, m.channel, 126, m.data2, 4);
        emit q->MidiChange(m.channel, 126, 4, m.data2);
        emit q->SendControlValue(control);
        status(QStringLiteral("Speed Up: ") + d2);
        return;
    case 125:
        play(KorvanePlayEvent::Change, m.channel, 125, m.data2, 5);
        emit q->MidiChange(m.channel, 125, 5, m.data2);
        emit q->SendControlValue(control);
        status(QStringLiteral("Speed Down: ") + d2);
        return;
    case 124:
        play(KorvanePlayEvent::Change, m.channel, 124, m.data2, 9);
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
        play(KorvanePlayEvent::Change, m.channel, m.data1, m.data2, 1);
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
    d->sender->enqueue({d->sendStep(m, std::chrono::milliseconds(0)), d->finalStep(text)},
                       "mapping");
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
    d->sender->enqueue(std::move(job), "mapping");
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
    d->sender->enqueue(std::move(job), "calibration");
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
    d->sender->enqueue(std::move(job), "settings");
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
    d->sender->enqueue(std::move(job), "settings");
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
    d->sender->enqueue(std::move(job), "bend settings");
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
    d->sender->enqueue(std::move(job), "gyro settings");
}

void KorvaneMidiEngine::SendDeviceInfoRequest()
{
    d->sender->enqueue({d->sendStep(KorvaneSysex::infoRequest(), d->remotePause)},
                       "device info request");
}

void KorvaneMidiEngine::SendDeviceVersionRequest()
{
    d->sender->enqueue({d->sendStep(KorvaneSysex::versionRequest(), d->remotePause)},
                       "version request");
}

void KorvaneMidiEngine::DisconnectMIDI()
{
    // The port objects belong to the port thread: closed there. Ports of a MIDI system that
    // went away are set aside first, never closed.
    d->portCall([this] {
        d->dropVanishedPorts();
        for (ExtraPort &e : d->extras) {
            if (e.output)
                d->guarded([&] { e.output->close(); });
            d->guarded([&] {
                e.input->close();
                e.input->cancelCallback();
            });
        }
        d->extras.clear();
        d->releasePorts();
    });
    d->status(QStringLiteral("Disconnected: the device's ports are free until Reconnect"));
}

void KorvaneMidiEngine::setMultiDevice(bool) {}

void KorvaneMidiEngine::SendWriteCommand()
{
    qDebug() << "Sending eeprom write command";
    MidiSender::Job job;
    job.push_back(d->sendStep(KorvaneSysex::eepromWrite(), d->remotePause));
    // The write count follows the ROM writes that left, not the ones asked for.
    job.push_back(MidiSender::Step::call([this](const MidiSender::Progress &p) {
        if (p.sent > 0)
            emit RomWritten();
        else if (p.dropped > 0)
            d->status(QStringLiteral("ROM write stopped before it left: not written"));
        else if (p.unsent > 0)
            d->status(kNoDevice);
    }));
    d->sender->enqueue(std::move(job), "ROM write");
}
