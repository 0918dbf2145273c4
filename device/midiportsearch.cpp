// Finding the device among the MIDI ports, and dropping ports whose device has gone. The work
// runs on the port thread; the engine's port calls at the end hand it there.
#include "korvanemidiengine_p.h"

void KorvaneMidiEngine::Private::findDevices()
{
    portStatus(QStringLiteral("Removing old port connections"));
    for (ExtraPort &e : extras) {
        if (e.output)
            guarded([&] { e.output->close(); });
        guarded([&] {
            e.input->close();
            e.input->cancelCallback();
        });
    }
    extras.clear();
    portStatus(QStringLiteral("Searching for Devices..."));
    createMainPorts(); // again, in case the MIDI system was not there at start

    // Inputs.
    unsigned count = 0;
    if (mainIn)
        guarded([&] { count = mainIn->portCount(); });
    QString inText = QStringLiteral("No devices found");
    if (count > 0) {
        inText = QStringLiteral("MIDI IN Devices: ");
        bool found = false;
        for (unsigned i = 0; i < count; ++i) {
            std::string raw;
            if (!guarded([&] { raw = mainIn->portName(i); }))
                continue;
            const QString name = QString::fromStdString(raw);
            if (!isSkippedPort(name))
                inText += name + QStringLiteral(", ");
            if (!isDevicePort(name))
                continue;
            if (!found) {
                portStatus(QStringLiteral("connected to: ") + name);
                if (mainIn->isOpen()) {
                    found = true; // already connected; the library leaves an open port as it is
                } else if (guarded([&] { mainIn->open(i, kInputPortName); })) {
                    const std::lock_guard<std::mutex> lock(portMutex); // read by the GUI thread
                    mainInPort = raw;
                    found = true;
                }
                continue;
            }
            ExtraPort extra;
            extra.name = name;
            extra.index = int(i);
            if (guarded([&] {
                    extra.input = backend->createInput(kInputClient, kQueueLimit);
                    installCallback(*extra.input);
                    extra.input->open(i, kInputPortName);
                })) {
                extras.push_back(std::move(extra));
                portStatus(QStringLiteral("Extra port connected to: ") + name);
            }
        }
        if (!found)
            inText = QStringLiteral("No devices found");
    }
    if (mainIn)
        guarded([&] { mainIn->ignoreTypes(false, true, true); });
    portStatus(inText);

    // Outputs.
    count = 0;
    guardedOut([&](MidiOutputPort &out) { count = out.portCount(); });
    QString outText = QStringLiteral("No devices found");
    if (count > 0) {
        outText = QStringLiteral("MIDI OUT Devices: ");
        bool found = false;
        size_t nextExtra = 0;
        for (unsigned i = 0; i < count; ++i) {
            std::string raw;
            if (!guardedOut([&](MidiOutputPort &out) { raw = out.portName(i); }))
                continue;
            const QString name = QString::fromStdString(raw);
            if (!isSkippedPort(name))
                outText += name + QStringLiteral(", ");
            if (!isDevicePort(name))
                continue;
            if (!found) {
                portStatus(QStringLiteral("connected to: ") + name);
                bool wasOpen = false;
                const bool ok = guardedOut([&](MidiOutputPort &out) {
                    wasOpen = out.isOpen();
                    if (!wasOpen) {
                        out.open(i, kOutputPortName);
                        mainOutPort = raw;
                    }
                });
                found = ok;
                continue;
            }
            while (nextExtra < extras.size() && extras[nextExtra].output)
                ++nextExtra;
            if (nextExtra == extras.size())
                continue; // no input left to pair this output with
            ExtraPort &extra = extras[nextExtra];
            if (guarded([&] {
                    auto out = backend->createOutput(kOutputClient);
                    out->open(i, kOutputPortName);
                    extra.output = std::move(out);
                }))
                portStatus(QStringLiteral("Extra out also connected: ") + name);
        }
        if (!found)
            outText = QStringLiteral("No devices found");
    }
    portStatus(outText);

    if (firstSearch) {
        firstSearch = false;
        q->SendDeviceInfoRequest();
    }
}

bool KorvaneMidiEngine::Private::outputOpen() const
{
    std::lock_guard<std::mutex> lock(portMutex);
    try {
        return mainOut && mainOut->isOpen();
    } catch (const std::exception &) {
        return false;
    }
}

bool KorvaneMidiEngine::Private::dropVanishedPorts()
{
    bool inOpen = false;
    try {
        inOpen = mainIn && mainIn->isOpen();
    } catch (const std::exception &) {
    }
    const bool outOpen = outputOpen();
    if (!inOpen && !outOpen)
        return false;

    // The system's current port lists, read through new port objects: one whose MIDI system
    // went away (a JACK server that stopped) keeps listing the ports it knew, so the main
    // ports cannot be asked. Without a MIDI system the lists are empty.
    auto listPorts = [&](bool inputs, std::vector<std::string> &names) {
        std::unique_ptr<MidiPort> probe;
        if (inputs)
            probe = backend->createInput(kProbeClient, 1);
        else
            probe = backend->createOutput(kProbeClient);
        const unsigned n = probe->portCount();
        for (unsigned i = 0; i < n; ++i)
            names.push_back(probe->portName(i));
    };
    std::vector<std::string> inNames, outNames;
    try {
        if (outOpen)
            listPorts(false, outNames);
        if (!outOpen || !extras.empty() || outNames.empty())
            listPorts(true, inNames);
    } catch (const std::exception &e) {
        qWarning() << "MIDI port list unavailable:" << e.what();
        return false;
    }
    auto listed = [](const std::vector<std::string> &names, const std::string &n) {
        return std::find(names.begin(), names.end(), n) != names.end();
    };
    const bool outGone = outOpen && !mainOutPort.empty() && !listed(outNames, mainOutPort);
    const bool inGone = !outOpen && inOpen && !mainInPort.empty() && !listed(inNames, mainInPort);
    if (!inGone && !outGone)
        return false;

    const QString name = QString::fromStdString(outGone ? mainOutPort : mainInPort);
    // The device left, or the MIDI system with it: release both main port objects, so the next
    // search starts with new ones that reach the system as it is now, and the extra ports
    // whose device left too. When no port at all is listed either way, the system itself is
    // gone (a stopped JACK server): closing a port of a client whose server died crashes inside the
    // library, so such port objects are set aside, never closed.
    const bool systemGone = outNames.empty() && inNames.empty();
    auto drop = [&](auto &port) {
        if (systemGone && port)
            abandoned.push_back(std::shared_ptr<MidiPort>(port.release(), [](MidiPort *) {}));
        port.reset();
    };
    drop(mainIn);
    {
        std::lock_guard<std::mutex> lock(portMutex);
        mainInPort.clear();
        drop(mainOut);
        mainOutPort.clear();
    }
    if (systemGone) {
        for (ExtraPort &e : extras) {
            drop(e.input);
            drop(e.output);
        }
        extras.clear();
    }
    extras.erase(
        std::remove_if(extras.begin(), extras.end(),
                       [&](const ExtraPort &e) { return !listed(inNames, e.name.toStdString()); }),
        extras.end());
    qDebug() << "device ports left the system:" << name;
    return true;
}

QString KorvaneMidiEngine::connectedPortName() const
{
    std::lock_guard<std::mutex> lock(d->portMutex);
    if (!d->mainOutPort.empty())
        return QString::fromStdString(d->mainOutPort);
    return QString::fromStdString(d->mainInPort);
}

void KorvaneMidiEngine::Private::releasePorts()
{
    mainIn.reset();
    std::lock_guard<std::mutex> lock(portMutex);
    mainInPort.clear();
    mainOut.reset();
    mainOutPort.clear();
}

void KorvaneMidiEngine::Private::portCall(const std::function<void()> &f)
{
    std::vector<QString> lines;
    portThread->run([&] {
        auto emitting = std::move(portStatus);
        portStatus = [&lines](const QString &s) { lines.push_back(s); };
        f();
        portStatus = std::move(emitting);
    });
    for (const QString &line : lines)
        status(line);
}

// ---------------------------------------------------------------- the engine's port calls

void KorvaneMidiEngine::FindDevices()
{
    d->portCall([this] { d->findDevices(); });
}

void KorvaneMidiEngine::FindDevicesLater()
{
    d->portThread->post([this] { d->findDevices(); });
}

void KorvaneMidiEngine::FindDevicesIfClosed()
{
    d->portCall([this] {
        if (!d->outputOpen())
            d->findDevices();
    });
}

void KorvaneMidiEngine::CheckConnection()
{
    if (d->checking.exchange(true))
        return;
    d->portThread->post([this] {
        if (d->dropVanishedPorts())
            emit PortsVanished();
        const bool wasOpen = d->outputOpen();
        if (!wasOpen)
            d->findDevices();
        const bool open = d->outputOpen();
        d->checking.store(false);
        emit ConnectionChecked(wasOpen, open);
    });
}

bool KorvaneMidiEngine::isOutputOpen() const
{
    return d->outputOpen();
}

bool KorvaneMidiEngine::DropVanishedPorts()
{
    bool dropped = false;
    d->portCall([&] { dropped = d->dropVanishedPorts(); });
    return dropped;
}

void KorvaneMidiEngine::ReleasePorts()
{
    d->portCall([this] { d->releasePorts(); });
}
