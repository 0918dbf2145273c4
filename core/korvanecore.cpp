#include "korvanecore.h"

#include "audio/instrumentfile.h"
#include "audio/korvaneaudioengine.h"
#include "audio/sampleimport.h"
#include "audio/sfzexport.h"
#include "core/atomicfile.h"
#include "core/datapaths.h"
#include "core/mapfile.h"
#include "core/settingsfile.h"
#include "device/korvanemidiengine.h"
#include "device/midiportbackend.h"
#include "resources/resources.h"
#include "scales/mapping.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QTimer>
#include <QtEndian>

#include <limits>
#include <stdexcept>

namespace {

QByteArray readWholeFile(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return QByteArray();
    }
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError && error)
        *error = f.errorString();
    return bytes;
}

const char *const kPresets[] = {"Flute.kvi", "Electric Piano.kvi", "Marimba.kvi"};

// A refused file is about to be replaced by the next save; a copy beside it keeps what it
// held. Returns the copy's name, or an empty string when no copy could be made.
QString keepRefusedFile(const QString &path)
{
    const QString copy = path + QStringLiteral(".damaged");
    QFile::remove(copy);
    return QFile::copy(path, copy) ? QFileInfo(copy).fileName() : QString();
}

} // namespace

KorvaneCore::KorvaneCore(QObject *parent) : KorvaneCore(nullptr, parent) {}

KorvaneCore::KorvaneCore(std::unique_ptr<MidiPortBackend> midiBackend, QObject *parent)
    : QObject(parent)
{
    varnoInitResources();
    registerKorvaneMetaTypes();
    registerSamplerMetaTypes();

    dataPath = DataPaths::dataPath();
    writeCount = 0;
    QDir().mkpath(dataPath + QStringLiteral("/maps"));
    copyPresets();
    LoadSettings();

    map = KorvaneSensorsState::fresh();
    GenerateMapping(remoteMap == 2);

    midiEngine = midiBackend ? new KorvaneMidiEngine(std::move(midiBackend), this)
                             : new KorvaneMidiEngine(this);
    connect(midiEngine, SIGNAL(SendStatusMessage(QString)), this, SLOT(PassStatusMessage(QString)));
    connect(midiEngine, SIGNAL(MidiPlay(int, int, int)), this, SLOT(MidiPlay(int, int, int)));
    connect(midiEngine, SIGNAL(MidiStop(int, int, int)), this, SLOT(MidiStop(int, int, int)));
    connect(midiEngine, SIGNAL(MidiChange(int, int, int, int)), this,
            SLOT(MidiChange(int, int, int, int)));
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

    pushMapToAudio();

    importer = new KorvaneSampleImport(this);
    connect(importer, &KorvaneSampleImport::Progress, this,
            [this](int permille, int fileIndex, const QString &fileName) {
                emit ImportProgress(permille, QStringLiteral("Importing %1 (%2 of %3)")
                                                  .arg(fileName)
                                                  .arg(fileIndex + 1)
                                                  .arg(importCount));
            });
    connect(importer, &KorvaneSampleImport::Finished, this, &KorvaneCore::importDone);

    checkTimer = new QTimer(this);
    connect(checkTimer, SIGNAL(timeout()), this, SLOT(CheckMIDI()));
    checkTimer->start(1000);

    audioEngine->setMute(mute != 0);
}

KorvaneCore::~KorvaneCore()
{
    // The audio engine has no parent; release it here so its stream closes before exit.
    delete audioEngine;
    audioEngine = nullptr;
}

void KorvaneCore::copyPresets()
{
    const QString sounds = dataPath + QStringLiteral("/sounds/");
    QDir().mkpath(sounds);
    for (const char *name : kPresets) {
        const QString source = QStringLiteral(":/sounds/presets/") + QLatin1String(name);
        const QString target = sounds + QLatin1String(name);
        // QFile::copy never overwrites, so the user's edited copy survives.
        if (QFile::copy(source, target)) {
            // Files copied out of the resources are read-only; the user must be able to save
            // over their copy.
            QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner |
                                              QFileDevice::ReadOwner);
            qDebug().noquote() << "preset copy succeeded:" << target;
        } else {
            qDebug().noquote() << "preset copy failed" << target;
        }
    }
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

float KorvaneCore::GetInputLevel() const
{
    const float level = audioEngine->inputLevel();
    return level < 0.0f ? 0.0f : (level > 1.0f ? 1.0f : level);
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

void KorvaneCore::StartEngines()
{
    sampleRate = 44100.0;
    audioEngine->init(int(sampleRate));
    midiEngine->FindDevices();
    LoadSound(dataPath + QStringLiteral("/sounds/Electric Piano.kvi"));
    emit SendSoundName(QStringLiteral("Electric Piano"));
    // The start-up map goes into the maps folder, never the working directory.
    SaveState(dataPath + QStringLiteral("/maps/Defaults.kvs"));
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
    midiEngine->ReleasePorts();
}

namespace {

// Why the device's node x differs from a file's node y: nullptr when they match, an empty
// text when they differ without a log line of their own.
const char *nodeMismatch(const KorvaneSensorNode &x, const KorvaneSensorNode &y)
{
    if (x.type != y.type)
        return " type not matching";
    switch (x.type) {
    case NodeNote:
        return x.note != y.note ? " number not matching" : nullptr;
    case NodeControlChange:
        return x.cc != y.cc ? " cc not matching" : nullptr;
    case NodeAction:
        return x.action != y.action ? " action not matching" : nullptr;
    case NodeGyroControlChange:
        return x.cc != y.cc ? " gyro action not matching" : nullptr;
    case NodeGyroBend:
    case NodeGyroAction:
    case NodeUnlabelled:
        return x.action != y.action ? "" : nullptr;
    default:
        return nullptr;
    }
}

// Compares as CompareMappings does. Each line it logs is appended to log followed by '\n'
// (the text the debug log shows for it); the differing positions go to differ when given.
bool compareNodes(const std::vector<KorvaneSensorNode> &a, const std::vector<KorvaneSensorNode> &b,
                  QString &log, QList<int> *differ = nullptr)
{
    if (b.size() < a.size())
        return false; // never read past the file's list
    bool equal = true;
    for (size_t i = 0; i < a.size(); ++i) {
        const char *why = nodeMismatch(a[i], b[i]);
        if (!why)
            continue;
        if (*why)
            log += QLatin1String("sensor  ") + QString::number(i) + QLatin1Char(' ') +
                   QLatin1String(why) + QLatin1Char('\n');
        if (differ)
            differ->append(int(i));
        equal = false;
    }
    return equal;
}

// Writes the collected lines as one log message (the text keeps one line per entry).
void flushLog(QString &log)
{
    if (log.isEmpty())
        return;
    log.chop(1); // the handler ends the message with its own newline
    qDebug().noquote() << log;
    log.clear();
}

} // namespace

bool KorvaneCore::CompareMappings(const std::vector<KorvaneSensorNode> &a,
                                  const std::vector<KorvaneSensorNode> &b)
{
    QString log;
    const bool equal = compareNodes(a, b, log);
    flushLog(log);
    return equal;
}

QList<int> KorvaneCore::DifferingSensors(const std::vector<KorvaneSensorNode> &a,
                                         const std::vector<KorvaneSensorNode> &b)
{
    QList<int> differ;
    for (size_t i = 0; i < a.size(); ++i) {
        // A position the file does not have counts as differing.
        if (i >= b.size() || nodeMismatch(a[i], b[i]))
            differ.append(int(i));
    }
    return differ;
}

void KorvaneCore::pushMapToAudio()
{
    audioEngine->setMap(map);
}

void KorvaneCore::ensureOutput()
{
    if (!midiEngine->isOutputOpen())
        midiEngine->FindDevices();
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
    qDebug() << "sending mapping via sysex";
    ensureOutput();
    const KorvaneSensorsState copy = map;
    if (remoteType == 0)
        midiEngine->SendState(copy, 0);
    else if (remoteType == 1)
        midiEngine->SendStateRemote(copy, 0, mapVersion, remoteMap == 2);
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
    midiEngine->FindDevices();
}

void KorvaneCore::MidiPlay(int channel, int note, int volume)
{
    audioEngine->noteOn(channel, note, volume);
    emit SendNoteTrigger(note, true, volume);
}

void KorvaneCore::MidiStop(int channel, int note, int volume)
{
    audioEngine->noteOff(channel, note);
    emit SendNoteTrigger(note, false, volume);
}

void KorvaneCore::MidiChange(int channel, int note, int type, int value)
{
    audioEngine->change(channel, note, type, value);
}

// ---- slots: sampler ----

void KorvaneCore::StartRecord()
{
    audioEngine->startRecording();
}

void KorvaneCore::EndRecord()
{
    audioEngine->stopRecording();
    emit SendLayerView(audioEngine->getLayerView());
    emit RecEnded();
}

void KorvaneCore::ReadyRecSampler()
{
    audioEngine->prepareRecordSampler();
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::ActionStartRecord(int note)
{
    audioEngine->beginActionRecording(note);
}

void KorvaneCore::ActionEndRecord()
{
    audioEngine->endActionRecording();
    emit SendLayerView(audioEngine->getLayerView());
    emit RecEnded();
}

void KorvaneCore::FlushMemory()
{
    audioEngine->flushMemory();
    audioEngine->resetRecordKeyCounter();
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::FlushPrevious()
{
    audioEngine->flushPrevious();
    audioEngine->dropRecordKeyCounter();
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::FlushSelected(int i)
{
    audioEngine->deleteSample(i);
    audioEngine->dropRecordKeyCounter();
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::ReCalcSelected(int i)
{
    audioEngine->reestimate(i);
}

void KorvaneCore::ChangeSampleMap(int sampleId, int noteNro)
{
    audioEngine->setSampleKey(sampleId, noteNro);
    emit SendLayerView(audioEngine->getLayerView());
}

void KorvaneCore::getLayerView()
{
    emit SendLayerView(audioEngine->getLayerView());
}
void KorvaneCore::setLayerView(KorvaneLayerView view)
{
    audioEngine->setLayerView(view);
}
void KorvaneCore::setSamplerMode(int mode)
{
    audioEngine->setSamplerMode(mode);
}
void KorvaneCore::PreviewPlay(int sample_id)
{
    audioEngine->previewPlay(sample_id);
}
void KorvaneCore::PreviewStop()
{
    audioEngine->previewStop();
}
void KorvaneCore::Panic()
{
    audioEngine->allNotesOff();
}
void KorvaneCore::setInputThreshold(float th)
{
    audioEngine->setInputThreshold(th * th);
}
void KorvaneCore::setSamplerVolume(float vol)
{
    audioEngine->setMasterVolume(vol);
}

void KorvaneCore::setMute(bool on)
{
    mute = on ? 1 : 0;
    audioEngine->setMute(on);
    SaveSettings();
}

void KorvaneCore::TriggerTest()
{
    audioEngine->noteOn(0, 48 + int(QRandomGenerator::global()->bounded(10)), 127);
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
    QString error;
    const QByteArray bytes = MapFile::serialize(map, mapVersion, remoteType);
    if (!AtomicFile::write(filename, bytes, &error)) {
        qWarning().noquote() << "map save failed:" << filename << error;
        emit sendStatusMessage(QStringLiteral("Map was not saved: %1 (%2)")
                                   .arg(QFileInfo(filename).fileName(), error));
        return false;
    }
    mapName = QFileInfo(filename).fileName();
    return true;
}

bool KorvaneCore::LoadState(QString filename)
{
    qDebug().noquote() << "loading state.. " << filename;
    QString error;
    QFile f(filename);
    if (!f.open(QIODevice::ReadOnly)) {
        emit sendStatusMessage(QStringLiteral("Could not open map %1: %2")
                                   .arg(QFileInfo(filename).fileName(), f.errorString()));
        return false;
    }
    const QByteArray bytes = f.readAll();
    f.close();

    KorvaneSensorsState loaded = map;
    const MapFile::Result r = MapFile::parse(bytes, mapVersion, loaded, &error);
    if (r == MapFile::Result::OldVersion) {
        emit SendVersionError();
        emit sendStatusMessage(QStringLiteral("Incompatible file"));
        return false;
    }
    if (r == MapFile::Result::Damaged) {
        emit sendStatusMessage(QStringLiteral("Map %1 is damaged (%2); the current map is kept.")
                                   .arg(QFileInfo(filename).fileName(), error));
        return false;
    }
    map = loaded;
    sensorCount = kSensorCount;
    mapName = QFileInfo(filename).fileName();
    emit SendDifferingSensors(QList<int>());
    emit LoadCompleted();
    return true;
}

KorvaneSensorsState KorvaneCore::LoadStateTemp(QString filename)
{
    KorvaneSensorsState result;
    // Only the first 520 bytes are ever parsed.
    QFile f(filename);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return result;
    const QByteArray bytes = f.read(MapFile::kFileSize);
    if (f.error() != QFileDevice::NoError)
        return result;
    KorvaneSensorsState parsed;
    const MapFile::Result r = MapFile::parse(bytes, mapVersion, parsed);
    if (r == MapFile::Result::OldVersion) {
        emit SendVersionError();
        emit sendStatusMessage(QStringLiteral("Incompatible file"));
        return result;
    }
    if (r == MapFile::Result::Damaged)
        return result; // an empty node list never matches a device map
    return parsed;
}

void KorvaneCore::DeleteState(QString filename)
{
    if (QDir(dataPath).remove(filename)) {
        qDebug() << "removed successfull";
    } else {
        qDebug().noquote() << "failed to remove " << filename;
    }
}

void KorvaneCore::LoadStateFromSysEx(KorvaneSensorsState loadState)
{
    qDebug() << "loading state from sysex";
    // A map always holds 24 nodes: complete a short reply from the current map.
    if (loadState.nodes.size() > size_t(kSensorCount))
        loadState.nodes.resize(kSensorCount);
    for (size_t i = loadState.nodes.size(); i < size_t(kSensorCount); ++i)
        loadState.nodes.push_back(i < map.nodes.size() ? map.nodes[i]
                                                       : KorvaneSensorNode(int(i), NodeDisabled));

    const QString folder = dataPath + QStringLiteral("/maps/");
    const QStringList entries =
        QDir(folder).entryList({QStringLiteral("*.KVS"), QStringLiteral("*.kvs")}, QDir::Files);
    bool matched = false;
    // The readable map with the fewest differing sensors, the first one on ties.
    QString nearest;
    QList<int> nearestDiffer;
    // A folder may hold thousands of maps: each file's lines are collected and written to the
    // log a few hundred files at a time instead of one message (and one write) per line.
    QString log;
    int pending = 0;
    for (const QString &entry : entries) {
        const QString path = folder + entry;
        const KorvaneSensorsState candidate = LoadStateTemp(path);
        QList<int> differ;
        if (!candidate.nodes.empty() &&
            compareNodes(loadState.nodes, candidate.nodes, log, &differ)) {
            log += QLatin1String("file  ") + path + QLatin1String("  matched!\n");
            mapName = QFileInfo(entry).baseName();
            matched = true;
        } else {
            log += QLatin1String("file  ") + path + QLatin1String("  not maching\n");
            // A readable file holds all 24 sensors, so the positions compared are all there are.
            if (!candidate.nodes.empty() &&
                (nearest.isEmpty() || differ.size() < nearestDiffer.size())) {
                nearest = QFileInfo(entry).baseName();
                nearestDiffer = differ;
            }
        }
        if (++pending == 256) {
            flushLog(log);
            pending = 0;
        }
    }
    flushLog(log);
    map = loadState;
    emit SysExLoadCompleted();
    if (matched || nearest.isEmpty()) {
        emit SendDifferingSensors(QList<int>());
        return;
    }
    emit SendDifferingSensors(nearestDiffer);
    const int n = int(nearestDiffer.size());
    emit sendStatusMessage(
        QStringLiteral("Nearest map: %1, %2 %3")
            .arg(nearest)
            .arg(n)
            .arg(n == 1 ? QStringLiteral("sensor differs") : QStringLiteral("sensors differ")));
}

// ---- instruments ----

bool KorvaneCore::SaveSound(QString filename)
{
    qDebug().noquote() << "saving.. to " << filename;
    const KorvaneInstrument instrument = audioEngine->currentInstrument();
    QString error;
    if (!writeInstrumentFile(filename, instrument, &error)) {
        emit sendStatusMessage(QStringLiteral("Instrument was not saved: %1 (%2)")
                                   .arg(QFileInfo(filename).fileName(), error));
        return false;
    }
    soundName = QFileInfo(filename).fileName();
    emit SoundSaveComplete();
    emit sendStatusMessage(
        QStringLiteral("Saved with %1 samples").arg(int(instrument.samples.size())));
    return true;
}

bool KorvaneCore::LoadSound(QString filename)
{
    qDebug().noquote() << "loading.. " << filename;
    KorvaneInstrument instrument;
    QString error;
    // The whole file is read and checked before the sampler is touched, so a damaged file
    // leaves the current instrument playable.
    if (!readInstrumentFile(filename, instrument, &error)) {
        qDebug() << "failed to open file";
        emit sendStatusMessage(QStringLiteral("Could not load instrument %1: %2")
                                   .arg(QFileInfo(filename).fileName(), error));
        return false;
    }
    audioEngine->loadInstrument(instrument);
    if (instrument.hasEnvelope)
        emit SendEnvelopeParameters(instrument.envelope);
    if (instrument.hasReverb)
        emit SendReverbParameters(instrument.reverb);
    soundName = QFileInfo(filename).fileName();
    emit SoundLoadComplete();
    emit sendStatusMessage(
        QStringLiteral("Instrument loaded with %1 samples").arg(int(instrument.samples.size())));
    emit SendLayerView(audioEngine->getLayerView());
    emit ResetScroll();
    emit SendLoadedSoundName(QFileInfo(filename).completeBaseName());
    return true;
}

void KorvaneCore::DeleteSound(QString filename)
{
    if (QFile::remove(filename)) {
        qDebug() << "removed successfull";
    } else {
        qDebug().noquote() << "failed to remove " << filename;
    }
}

// ---- settings and write count ----

bool KorvaneCore::SaveSettings()
{
    qDebug() << "Saving app settings";
    qDebug() << "saving midichannel as: " << calibration.midiChannel;
    SettingsFile::Settings st{calibration, remoteType, remoteMap, mute};
    QString error;
    if (!AtomicFile::write(dataPath + QStringLiteral("/settings.ini"),
                           SettingsFile::serialize(st, settingsVersion), &error)) {
        emit sendStatusMessage(QStringLiteral("Settings could not be saved: %1").arg(error));
        return false;
    }
    emit sendStatusMessage(QStringLiteral("Settings saved."));
    return true;
}

bool KorvaneCore::LoadSettings()
{
    qDebug() << "Loading app settings..";
    QString error;
    const QString path = dataPath + QStringLiteral("/settings.ini");
    if (!QFile::exists(path))
        return false;
    const QByteArray bytes = readWholeFile(path, &error);
    if (!error.isEmpty()) {
        emit sendStatusMessage(QStringLiteral("Settings could not be read: %1").arg(error));
        return false;
    }
    SettingsFile::Settings st{calibration, remoteType, remoteMap, mute};
    float fileVersion = 0;
    const SettingsFile::Result r = SettingsFile::parse(bytes, settingsVersion, st, &fileVersion);
    qDebug() << "file version: " << fileVersion;
    qDebug() << "system version: " << settingsVersion;
    if (r == SettingsFile::Result::OldVersion) {
        emit sendStatusMessage(QStringLiteral("Settings version mismatch"));
        return false;
    }
    if (r == SettingsFile::Result::Damaged) {
        const QString kept = keepRefusedFile(path);
        emit sendStatusMessage(
            QStringLiteral("Settings file is damaged; default settings are used.") +
            (kept.isEmpty() ? QString() : QStringLiteral(" The file was kept as %1.").arg(kept)));
        return false;
    }
    calibration = st.calibration;
    remoteType = st.remoteType;
    remoteMap = st.remoteMap;
    mute = st.mute;
    qDebug() << "midichannel in file: " << calibration.midiChannel;
    qDebug() << "mute set";
    emit SendRemoteSystem(remoteType);
    emit SendMute(mute != 0);
    emit UpdateSettingsUI(calibration);
    return true;
}

void KorvaneCore::LoadWriteCount()
{
    QString error;
    const QString path = dataPath + QStringLiteral("/write.count");
    if (!QFile::exists(path)) {
        qDebug() << "No write count file found";
    } else {
        const QByteArray bytes = readWholeFile(path, &error);
        // Exactly one count, and never a negative one.
        const qint32 count = bytes.size() == 4 ? qFromLittleEndian<qint32>(bytes.constData()) : -1;
        if (count < 0) {
            const QString kept = keepRefusedFile(path);
            emit sendStatusMessage(
                QStringLiteral("Write count file is damaged; count kept at %1.").arg(writeCount) +
                (kept.isEmpty() ? QString()
                                : QStringLiteral(" The file was kept as %1.").arg(kept)));
        } else {
            writeCount = count;
            qDebug() << "write count loaded: " << writeCount;
        }
    }
    emit SendWriteCount(writeCount);
}

bool KorvaneCore::SaveWriteCount()
{
    qDebug() << "Saving write count";
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(writeCount, bytes.data());
    QString error;
    if (!AtomicFile::write(dataPath + QStringLiteral("/write.count"), bytes, &error)) {
        emit sendStatusMessage(QStringLiteral("Write count could not be saved: %1").arg(error));
        return false;
    }
    return true;
}

void KorvaneCore::IncreaseWriteCount()
{
    if (writeCount < std::numeric_limits<int32_t>::max())
        writeCount += 1;
    emit SendWriteCount(writeCount);
    SaveWriteCount();
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
    qDebug() << "sending settings via sysex";
    ensureOutput();
    if (remoteType == 0)
        midiEngine->SendSettings(calibration);
    else if (remoteType == 1)
        midiEngine->SendSettingsRemote(calibration, mapVersion);
}

void KorvaneCore::SendCalibration()
{
    qDebug() << "sending calibration via sysex";
    ensureOutput();
    if (remoteType == 0)
        midiEngine->SendSettings(calibration);
    else if (remoteType == 1)
        midiEngine->SendCalibrationRemote(calibration, mapVersion);
}

void KorvaneCore::SendBendSettings(KorvaneBendSettings b)
{
    qDebug() << "sending bend settings via sysex";
    ensureOutput();
    midiEngine->SendBendSettingsRemote(b, mapVersion);
}

void KorvaneCore::SendGyroSettings(KorvaneGyroSettings g)
{
    qDebug() << "sending gyro settings via sysex";
    ensureOutput();
    midiEngine->SendGyroSettingsRemote(g, mapVersion);
}

// ---- connection ----

void KorvaneCore::CheckMIDI()
{
    if (midiEngine->DropVanishedPorts())
        emit sendStatusMessage(QStringLiteral("Device disconnected"));
    const bool wasOpen = midiEngine->isOutputOpen();
    if (!wasOpen)
        midiEngine->FindDevices();
    if (!midiEngine->isOutputOpen()) {
        emit EnableMIDIConnect();
        return;
    }
    emit EnableMIDIDisconnect();
    if (!wasOpen)
        SyncToDevice();
}

void KorvaneCore::DisconnectMIDI()
{
    midiEngine->DisconnectMIDI();
}
void KorvaneCore::setMultiDevice(bool) {}
void KorvaneCore::SyncToDevice()
{
    midiEngine->SendDeviceInfoRequest();
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
    if (remoteMap == 2) {
        SendCalibration();
        PassStatusMessage(QStringLiteral("Calibration echoed back to device"));
    }
}

// ---- sample import and export ----

void KorvaneCore::ImportSampleFiles(QStringList files, bool mixToMono)
{
    if (files.isEmpty())
        return;
    if (importer->isRunning()) {
        emit sendStatusMessage(QStringLiteral("An import is already running"));
        return;
    }
    importCount = int(files.size());
    importer->start(files, audioEngine->sampleRate(),
                    mixToMono ? ImportChannels::MixToMono : ImportChannels::KeepStereo);
}

void KorvaneCore::CancelImport()
{
    importer->cancel();
}

bool KorvaneCore::IsImporting() const
{
    return importer->isRunning();
}

void KorvaneCore::importDone()
{
    QString message;
    bool ok = false;
    switch (importer->result()) {
    case DecodeResult::Failed:
        message = importer->errorText() + QStringLiteral(". Nothing was imported.");
        break;
    case DecodeResult::Cancelled:
        message = QStringLiteral("Import cancelled. Nothing was imported.");
        break;
    case DecodeResult::Ok: {
        std::vector<ImportedSample> samples = importer->takeSamples();
        for (ImportedSample &s : samples)
            audioEngine->importSample(std::move(s.frames), s.sourceName, s.estimate);
        message = samples.size() == 1
                      ? QStringLiteral("Imported 1 sample")
                      : QStringLiteral("Imported %1 samples").arg(int(samples.size()));
        ok = true;
        emit SendLayerView(audioEngine->getLayerView());
        break;
    }
    }
    emit sendStatusMessage(message);
    emit sendSamplerMessage(message);
    emit ImportFinished(ok, message);
}

bool KorvaneCore::ExportSound(QString folder, QString title)
{
    const KorvaneInstrument instrument = audioEngine->currentInstrument();
    // Told on the status line and in the sound editor, where the export was asked for.
    auto tell = [this](const QString &message) {
        emit sendStatusMessage(message);
        emit sendSamplerMessage(message);
    };
    if (instrument.samples.empty()) {
        tell(QStringLiteral("The instrument has no samples to export"));
        return false;
    }
    QString error;
    if (!SfzExport::exportInstrument(instrument, folder, title, audioEngine->sampleRate(),
                                     &error)) {
        tell(QStringLiteral("Export failed: %1").arg(error));
        return false;
    }
    tell(QStringLiteral("Exported %1 samples and %2.sfz to %3")
             .arg(int(instrument.samples.size()))
             .arg(SfzExport::safeStem(title), folder));
    return true;
}
