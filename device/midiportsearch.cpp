// Finding the device among the MIDI ports, and dropping ports whose device has gone.
#include "korvanemidiengine_p.h"

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

QString KorvaneMidiEngine::connectedPortName() const
{
    std::lock_guard<std::mutex> lock(d->portMutex);
    if (!d->mainOutPort.empty())
        return QString::fromStdString(d->mainOutPort);
    return QString::fromStdString(d->mainInPort);
}

void KorvaneMidiEngine::ReleasePorts()
{
    d->mainIn.reset();
    d->mainInPort.clear();
    std::lock_guard<std::mutex> lock(d->portMutex);
    d->mainOut.reset();
    d->mainOutPort.clear();
}
