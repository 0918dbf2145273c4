#include "korvanecore.h"

#include "audio/korvaneaudioengine.h"
#include "core/datapaths.h"
#include "core/deviceplay.h"
#include "core/instrumentreadahead.h"
#include "core/korvaneinstrumentstore.h"
#include "core/korvanemaplibrary.h"
#include "core/korvanesettingsstore.h"
#include "core/korvaneuploadrouter.h"
#include "device/korvanemidiengine.h"
#include "device/midiportbackend.h"
#include "resources/resources.h"
#include "scales/mapping.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>

#include <stdexcept>

KorvaneCore::KorvaneCore(QObject *parent) : KorvaneCore(nullptr, parent) {}

KorvaneCore::KorvaneCore(std::unique_ptr<MidiPortBackend> midiBackend, QObject *parent)
    : QObject(parent)
{
    varnoInitResources();
    registerKorvaneMetaTypes();
    registerSamplerMetaTypes();

    dataPath = DataPaths::dataPath();
    maps = new KorvaneMapLibrary(dataPath, mapVersion, this);
    connect(maps, &KorvaneMapLibrary::statusMessage, this, &KorvaneCore::sendStatusMessage);
    connect(maps, &KorvaneMapLibrary::versionError, this, &KorvaneCore::SendVersionError);
    settings = new KorvaneSettingsStore(dataPath, settingsVersion, this);
    connect(settings, &KorvaneSettingsStore::statusMessage, this, &KorvaneCore::sendStatusMessage);
    connect(settings, &KorvaneSettingsStore::writeCountChanged, this, &KorvaneCore::SendWriteCount);
    // The presets are copied and the start-up instrument read on a worker (each copy waits for
    // the disk) while the engines are built; the sounds folder is complete when the hub is.
    auto startupSound = std::make_unique<InstrumentReadAhead>(
        [path = dataPath] { KorvaneInstrumentStore::copyPresets(path); }, startupSoundPath());
    LoadSettings();

    map = KorvaneSensorsState::fresh();
    GenerateMapping(remoteMap == 2);

    midiEngine = midiBackend ? new KorvaneMidiEngine(std::move(midiBackend), this)
                             : new KorvaneMidiEngine(this);
    connect(midiEngine, SIGNAL(SendStatusMessage(QString)), this, SLOT(PassStatusMessage(QString)));
    // The device's notes and changes reach the sampler from the MIDI input thread (see
    // below); these signals only light the hand and report.
    connect(midiEngine, SIGNAL(MidiPlay(int, int, int)), this, SLOT(DevicePlayed(int, int, int)));
    connect(midiEngine, SIGNAL(MidiStop(int, int, int)), this, SLOT(DeviceStopped(int, int, int)));
    connect(midiEngine, SIGNAL(MidiChange(int, int, int, int)), this, SLOT(DeviceChanged()));
    connect(midiEngine, SIGNAL(ActionNextSound()), this, SIGNAL(NextSound()));
    connect(midiEngine, SIGNAL(ActionPrevSound()), this, SIGNAL(PrevSound()));
    connect(midiEngine, SIGNAL(setDeviceType(int)), this, SLOT(setDeviceFromSysEx(int)));
    connect(midiEngine, SIGNAL(UpdateStateFromSysEX(KorvaneSensorsState)), this,
            SLOT(LoadStateFromSysEx(KorvaneSensorsState)));
    connect(midiEngine, SIGNAL(UpdateCalibrationFromSysEX(KorvaneCalibration)), this,
            SLOT(LoadCalibrationFromSysEx(KorvaneCalibration)));
    connect(midiEngine, SIGNAL(SendTemporalOffset(int)), this, SIGNAL(SendTemporalOffset(int)));
    connect(midiEngine, SIGNAL(SendControlValue(float)), this, SIGNAL(sendControlValue(float)));
    connect(midiEngine, SIGNAL(ActionStartRec(int)), this, SLOT(ActionStartRecord(int)));
    connect(midiEngine, SIGNAL(ActionEndRec()), this, SLOT(ActionEndRecord()));
    connect(midiEngine, SIGNAL(PassDeviceVersionNumber(int)), this,
            SIGNAL(PassDeviceVersionNumber(int)));
    connect(midiEngine, SIGNAL(RomWritten()), this, SLOT(IncreaseWriteCount()));
    connect(midiEngine, SIGNAL(GotSync()), this, SLOT(GotSettingsFromDevice()));

    audioEngine = new KorvaneAudioEngine(nullptr);
    connect(audioEngine, SIGNAL(SendStatusMessage(QString)), this,
            SLOT(PassStatusMessage(QString)));
    connect(audioEngine, SIGNAL(SendSamplerMessage(QString)), this,
            SLOT(PassSamplerMessage(QString)));
    // The views' data pointers are valid only during delivery: keep these direct.
    connect(audioEngine, SIGNAL(SendAnalyzeData(AnalyzeDataView)), this,
            SIGNAL(SendAnalyzeData(AnalyzeDataView)), Qt::DirectConnection);
    connect(audioEngine, SIGNAL(SendRecData(RecordView)), this, SIGNAL(SendRecData(RecordView)),
            Qt::DirectConnection);
    connect(audioEngine, SIGNAL(RecEnded()), this, SIGNAL(RecEnded()));
    connect(audioEngine, SIGNAL(setUnsaved()), this, SIGNAL(setUnsaved()));
    connect(audioEngine, SIGNAL(IOSReSendMapping()), this, SIGNAL(IOSResendMapping()));
    routeDevicePlay(*midiEngine, *audioEngine);

    pushMapToAudio();

    router = new KorvaneUploadRouter(midiEngine, mapVersion, this);
    connect(router, &KorvaneUploadRouter::statusMessage, this, &KorvaneCore::sendStatusMessage);
    connect(router, &KorvaneUploadRouter::connectable, this, &KorvaneCore::EnableMIDIConnect);
    connect(router, &KorvaneUploadRouter::connected, this, &KorvaneCore::EnableMIDIDisconnect);

    instruments = new KorvaneInstrumentStore(audioEngine, this);
    using IS = KorvaneInstrumentStore;
    connect(instruments, &IS::statusMessage, this, &KorvaneCore::sendStatusMessage);
    connect(instruments, &IS::samplerMessage, this, &KorvaneCore::sendSamplerMessage);
    connect(instruments, &IS::envelopeParameters, this, &KorvaneCore::SendEnvelopeParameters);
    connect(instruments, &IS::reverbParameters, this, &KorvaneCore::SendReverbParameters);
    connect(instruments, &IS::loaded, this, &KorvaneCore::SoundLoadComplete);
    connect(instruments, &IS::saved, this, &KorvaneCore::SoundSaveComplete);
    connect(instruments, &IS::layerView, this, &KorvaneCore::SendLayerView);
    connect(instruments, &IS::resetScroll, this, &KorvaneCore::ResetScroll);
    connect(instruments, &IS::loadedSoundName, this, &KorvaneCore::SendLoadedSoundName);
    connect(instruments, &IS::importProgress, this, &KorvaneCore::ImportProgress);
    connect(instruments, &IS::importFinished, this, &KorvaneCore::ImportFinished);
    startupSound->waitForFirstStep();
    instruments->setReadAhead(std::move(startupSound));

    checkTimer = new QTimer(this);
    connect(checkTimer, SIGNAL(timeout()), this, SLOT(CheckMIDI()));
    checkTimer->start(1000);

    audioEngine->setMute(mute != 0);
}

KorvaneCore::~KorvaneCore()
{
    // No device event may reach the audio engine once it is gone.
    unrouteDevicePlay(*midiEngine);
    // The audio engine has no parent; release it here so its stream closes before exit.
    delete audioEngine;
    audioEngine = nullptr;
}

// ---- plain methods ----

KorvaneSensorsState KorvaneCore::GetState(int) const
{
    return map;
}

KorvaneSensorNode KorvaneCore::GetNode(int i) const
{
    if (i < 0 || i >= int(map.nodes.size()))
        throw std::out_of_range("node index past the end of the map");
    return map.nodes[i];
}

void KorvaneCore::SetNode(const KorvaneSensorNode &node, int i)
{
    if (i < 0 || i >= int(map.nodes.size())) {
        qWarning() << "node index out of range:" << i;
        return;
    }
    KorvaneSensorNode n = node;
    n.index = i;
    map.nodes[i] = n;
    qDebug() << "node " << i << " set to type: " << node.type;
}

int KorvaneCore::GetWriteCount() const
{
    return settings->writeCount();
}

void KorvaneCore::GenerateMapping(bool vesko)
{
    generateMapping(map, vesko);
}

void KorvaneCore::Transpose(int s)
{
    for (auto &n : map.nodes)
        n.note += s;
    if (s >= 1)
        map.key += s % 12;
    else
        map.key += s + (-s / 12) * 12;
    qDebug() << "key : " << map.key;
    SendState();
}

void KorvaneCore::RemoveGlobalBend()
{
    bool changed = false;
    for (auto &n : map.nodes) {
        const bool bendAction =
            n.type == NodeAction && (n.action == ActionBendUp || n.action == ActionBendDown);
        if (n.type == NodeGyroBend || bendAction) {
            n.type = NodeAction;
            n.action = ActionTransposeUp;
            changed = true;
        }
    }
    if (changed) {
        emit SendStateUI(map);
        SendState();
    }
}

QString KorvaneCore::startupSoundPath() const
{
    return dataPath + QStringLiteral("/sounds/Electric Piano.kvi");
}

void KorvaneCore::StartEngines()
{
    sampleRate = 44100.0;
    // The sound server may take a while to answer: the stream opens beside the rest of
    // start-up, and the sampler plays into nothing until it runs.
    audioEngine->initInBackground(int(sampleRate));
    // The device search waits for the MIDI system's answers: it runs on the port thread while
    // start-up goes on.
    midiEngine->FindDevicesLater();
    LoadSound(startupSoundPath());
    emit SendSoundName(QStringLiteral("Electric Piano"));
    // The start-up map goes into the maps folder, never the working directory, and never
    // over a map the user saved under that name.
    if (!QFileInfo::exists(maps->defaultsPath()))
        SaveState(maps->defaultsPath());
    // A data folder that cannot be written is said at once, not at the first lost save.
    QTemporaryFile probe(dataPath + QStringLiteral("/.write-test-XXXXXX"));
    if (!probe.open())
        emit sendStatusMessage(QStringLiteral("The data folder %1 cannot be written (%2): maps, "
                                              "instruments and settings will not be saved.")
                                   .arg(dataPath, probe.errorString()));
}

void KorvaneCore::ShutDown()
{
    if (checkTimer)
        checkTimer->stop();
    audioEngine->close();
    // What is still queued cannot leave any more: the log says which uploads were lost.
    for (const KorvaneMidiEngine::PendingUpload &u : midiEngine->abortUploads())
        qWarning().noquote() << QStringLiteral("not sent at exit: %1 (%2 of %3 messages)")
                                    .arg(u.what)
                                    .arg(u.left)
                                    .arg(u.total);
    midiEngine->ReleasePorts();
    // A ROM write that left just before is counted: its report may still wait in the queue.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

bool KorvaneCore::CompareMappings(const std::vector<KorvaneSensorNode> &a,
                                  const std::vector<KorvaneSensorNode> &b)
{
    return KorvaneMapLibrary::compare(a, b);
}

QList<int> KorvaneCore::DifferingSensors(const std::vector<KorvaneSensorNode> &a,
                                         const std::vector<KorvaneSensorNode> &b)
{
    return KorvaneMapLibrary::differing(a, b);
}

void KorvaneCore::pushMapToAudio()
{
    audioEngine->setMap(map);
}

// ---- slots: map and device ----

void KorvaneCore::setDeviceFromSysEx(int type)
{
    if (type == 0)
        remoteMap = 0;
    else if (type == 1)
        remoteMap = 2;
    emit SendRemoteDevice(remoteMap);
    SaveSettings();
}

void KorvaneCore::ScaleRequest(int keyNro, int octNro, int scaleNro)
{
    if (scaleNro != -1) {
        map.scale = scaleNro;
        GenerateMapping(remoteMap == 2);
    }
    if (keyNro != -1) {
        map.key = keyNro;
        GenerateMapping(remoteMap == 2);
    }
    if (octNro != -1) {
        previousOctave = map.octave;
        map.octave = octNro;
        const int shift = (octNro - previousOctave) * 12;
        for (auto &n : map.nodes)
            n.note += shift;
    }
    emit SendStateUI(map);
    SendState();
    pushMapToAudio();
}

void KorvaneCore::SendState()
{
    router->sendMap(map, remoteType, remoteMap == 2);
}

void KorvaneCore::SendStateRemote() {}

void KorvaneCore::UpdateState(KorvaneSensorsState state)
{
    map = state;
    pushMapToAudio();
}

void KorvaneCore::PassStatusMessage(QString message)
{
    emit sendStatusMessage(message);
}
void KorvaneCore::PassSamplerMessage(QString message)
{
    emit sendSamplerMessage(message);
}
void KorvaneCore::ReconnectMIDI()
{
    router->reconnect();
}

// ---- slots: settings flags ----

void KorvaneCore::setMute(bool on)
{
    mute = on ? 1 : 0;
    audioEngine->setMute(on);
    SaveSettings();
}

void KorvaneCore::setRemoteType(int type)
{
    remoteType = type;
    SaveSettings();
}

void KorvaneCore::setRemoteMap(int m)
{
    remoteMap = m;
    SaveSettings();
}

// ---- map files ----

bool KorvaneCore::SaveState(QString filename)
{
    if (!maps->save(filename, map, remoteType))
        return false;
    mapName = QFileInfo(filename).fileName();
    return true;
}

bool KorvaneCore::LoadState(QString filename)
{
    if (!maps->load(filename, map))
        return false;
    mapName = QFileInfo(filename).fileName();
    emit SendDifferingSensors(QList<int>());
    emit LoadCompleted();
    return true;
}

KorvaneSensorsState KorvaneCore::LoadStateTemp(QString filename)
{
    return maps->loadTemp(filename);
}

void KorvaneCore::DeleteState(QString filename)
{
    maps->remove(filename);
}

void KorvaneCore::LoadStateFromSysEx(KorvaneSensorsState loadState)
{
    qDebug() << "loading state from sysex";
    if (loadState.nodes.size() > size_t(kSensorCount))
        loadState.nodes.resize(kSensorCount);
    // The stored maps are compared on the nodes the device sent (an empty list matches every
    // file); only then is a short reply completed from the current map, as a map always holds
    // 24 nodes.
    const KorvaneMapLibrary::Match found = maps->match(loadState.nodes);
    for (size_t i = loadState.nodes.size(); i < size_t(kSensorCount); ++i)
        loadState.nodes.push_back(i < map.nodes.size() ? map.nodes[i]
                                                       : KorvaneSensorNode(int(i), NodeDisabled));
    if (found.found)
        mapName = found.matched;
    map = loadState;
    emit SysExLoadCompleted();
    if (found.found || found.nearest.isEmpty()) {
        emit SendDifferingSensors(QList<int>());
        return;
    }
    emit SendDifferingSensors(found.nearestDiffer);
    const int n = int(found.nearestDiffer.size());
    emit sendStatusMessage(
        QStringLiteral("Nearest map: %1, %2 %3")
            .arg(found.nearest)
            .arg(n)
            .arg(n == 1 ? QStringLiteral("sensor differs") : QStringLiteral("sensors differ")));
}

// ---- settings and write count ----

bool KorvaneCore::SaveSettings()
{
    return settings->save({calibration, remoteType, remoteMap, mute});
}

bool KorvaneCore::LoadSettings()
{
    // The last bend and gyro settings sent live in a file of their own, read either way.
    if (settings->loadBendGyro(bendSettings, gyroSettings))
        emit UpdateBendUI(bendSettings);
    SettingsFile::Settings st{calibration, remoteType, remoteMap, mute};
    if (!settings->load(st))
        return false;
    calibration = st.calibration;
    remoteType = st.remoteType;
    remoteMap = st.remoteMap;
    mute = st.mute;
    emit SendRemoteSystem(remoteType);
    emit SendMute(mute != 0);
    emit UpdateSettingsUI(calibration);
    return true;
}

void KorvaneCore::LoadWriteCount()
{
    settings->loadWriteCount();
}

bool KorvaneCore::SaveWriteCount()
{
    return settings->saveWriteCount();
}

void KorvaneCore::IncreaseWriteCount()
{
    settings->increaseWriteCount();
}

// ---- calibration, bend, gyro ----

void KorvaneCore::LoadCalibrationFromSysEx(KorvaneCalibration loadCalib)
{
    calibration = loadCalib;
    emit UpdateSettingsUI(calibration);
}

void KorvaneCore::LoadBendFromSysEx(KorvaneBendSettings loadBend)
{
    bendSettings = loadBend;
    emit UpdateBendUI(bendSettings);
}

void KorvaneCore::setCalibration(KorvaneCalibration c)
{
    calibration = c;
    SaveSettings();
    SendCalibration();
}

void KorvaneCore::setSettings(KorvaneCalibration c)
{
    calibration = c;
    SaveSettings();
    SendSettings();
}

KorvaneCalibration KorvaneCore::getCalibration()
{
    return calibration;
}

void KorvaneCore::SendSettings()
{
    router->sendSettings(calibration, remoteType);
}

void KorvaneCore::SendCalibration()
{
    router->sendCalibration(calibration, remoteType);
}

// The last bend and gyro settings sent are kept, here and on disk, so that the next edit
// starts from them instead of the defaults.
void KorvaneCore::SendBendSettings(KorvaneBendSettings b)
{
    bendSettings = b;
    settings->saveBendGyro(bendSettings, gyroSettings);
    router->sendBend(b);
}

void KorvaneCore::SendGyroSettings(KorvaneGyroSettings g)
{
    gyroSettings = g;
    settings->saveBendGyro(bendSettings, gyroSettings);
    router->sendGyro(g);
}

// ---- connection ----

void KorvaneCore::CheckMIDI()
{
    router->checkConnection();
}

void KorvaneCore::DisconnectMIDI()
{
    router->disconnectDevice();
}

bool KorvaneCore::IsDisconnectedByUser() const
{
    return router->isHeld();
}
void KorvaneCore::setMultiDevice(bool) {}
void KorvaneCore::SyncToDevice()
{
    router->requestDeviceInfo();
}
void KorvaneCore::SendWriteCommand()
{
    midiEngine->SendWriteCommand();
}
void KorvaneCore::RequestVersionNumber()
{
    midiEngine->SendDeviceVersionRequest();
}

void KorvaneCore::GotSettingsFromDevice()
{
    router->settingsReceived(calibration, remoteType, remoteMap == 2);
}

// ---- sample import and export ----
