#include "korvaneinstrumentstore.h"

#include "audio/instrumentfile.h"
#include "audio/korvaneaudioengine.h"
#include "audio/sampleimport.h"
#include "audio/sfzexport.h"
#include "core/instrumentreadahead.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const char *const kPresets[] = {"Flute.kvi", "Electric Piano.kvi", "Marimba.kvi"};
} // namespace

KorvaneInstrumentStore::KorvaneInstrumentStore(KorvaneAudioEngine *audio, QObject *parent)
    : QObject(parent), audio(audio), importer(new KorvaneSampleImport(this))
{
    connect(importer, &KorvaneSampleImport::Progress, this,
            [this](int permille, int fileIndex, const QString &fileName) {
                emit importProgress(permille, QStringLiteral("Importing %1 (%2 of %3)")
                                                  .arg(fileName)
                                                  .arg(fileIndex + 1)
                                                  .arg(importCount));
            });
    connect(importer, &KorvaneSampleImport::Finished, this, &KorvaneInstrumentStore::importDone);
    // Every change the engine makes to the instrument says so, including those of a load,
    // which clears the mark once it is done.
    connect(audio, &KorvaneAudioEngine::setUnsaved, this, &KorvaneInstrumentStore::markModified);
}

KorvaneInstrumentStore::~KorvaneInstrumentStore() = default;

void KorvaneInstrumentStore::setReadAhead(std::unique_ptr<InstrumentReadAhead> file)
{
    readAhead = std::move(file);
}

void KorvaneInstrumentStore::copyPresets(const QString &dataPath)
{
    const QString sounds = dataPath + QStringLiteral("/sounds/");
    QDir().mkpath(sounds);
    for (const char *preset : kPresets) {
        const QString source = QStringLiteral(":/sounds/presets/") + QLatin1String(preset);
        const QString target = sounds + QLatin1String(preset);
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

bool KorvaneInstrumentStore::save(const QString &filename)
{
    qDebug().noquote() << "saving.. to " << filename;
    const KorvaneInstrument instrument = audio->currentInstrument();
    QString error;
    if (!writeInstrumentFile(filename, instrument, &error)) {
        emit statusMessage(QStringLiteral("Instrument was not saved: %1 (%2)")
                               .arg(QFileInfo(filename).fileName(), error));
        return false;
    }
    name = QFileInfo(filename).fileName();
    path = filename;
    modified = false;
    emit saved();
    emit statusMessage(QStringLiteral("Saved with %1 samples").arg(int(instrument.samples.size())));
    return true;
}

bool KorvaneInstrumentStore::load(const QString &filename)
{
    qDebug().noquote() << "loading.. " << filename;
    KorvaneInstrument instrument;
    QString error;
    bool ok = false;
    // Whatever load comes first, the file read ahead is of no more use after it.
    const std::unique_ptr<InstrumentReadAhead> ahead = std::move(readAhead);
    if (!ahead || !ahead->take(filename, instrument, ok, error))
        ok = readInstrumentFile(filename, instrument, &error);
    if (!ok) {
        qDebug() << "failed to open file";
        emit statusMessage(QStringLiteral("Could not load instrument %1: %2")
                               .arg(QFileInfo(filename).fileName(), error));
        return false;
    }
    audio->loadInstrument(instrument);
    path = filename;
    if (instrument.hasEnvelope)
        emit envelopeParameters(instrument.envelope);
    if (instrument.hasReverb)
        emit reverbParameters(instrument.reverb);
    name = QFileInfo(filename).fileName();
    emit loaded();
    emit statusMessage(
        QStringLiteral("Instrument loaded with %1 samples").arg(int(instrument.samples.size())));
    emit layerView(audio->getLayerView());
    emit resetScroll();
    emit loadedSoundName(QFileInfo(filename).completeBaseName());
    // Set last: the views shown the new instrument's values may echo them back.
    modified = false;
    return true;
}

QString KorvaneInstrumentStore::keepRecoveryCopy(const QString &folder, const QDateTime &when)
{
    QString base = QFileInfo(name).completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("Instrument");
    const QString stem = QStringLiteral("%1/%2 (recovered %3")
                             .arg(folder, base, when.toString(QStringLiteral("yyyy-MM-dd HH-mm")));
    QDir().mkpath(folder);
    QString target = stem + QStringLiteral(").kvi");
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = stem + QStringLiteral(" %1).kvi").arg(n);
    QString error;
    if (!writeInstrumentFile(target, audio->currentInstrument(), &error)) {
        emit statusMessage(
            QStringLiteral("Unsaved instrument %1 could not be kept: %2").arg(base, error));
        return QString();
    }
    qDebug().noquote() << "kept unsaved instrument as" << target;
    return target;
}

void KorvaneInstrumentStore::remove(const QString &filename)
{
    if (QFile::remove(filename)) {
        qDebug() << "removed successfull";
    } else {
        qDebug().noquote() << "failed to remove " << filename;
    }
}

void KorvaneInstrumentStore::importFiles(const QStringList &files, bool mixToMono)
{
    if (files.isEmpty())
        return;
    if (importer->isRunning()) {
        emit statusMessage(QStringLiteral("An import is already running"));
        return;
    }
    importCount = int(files.size());
    importer->start(files, audio->sampleRate(),
                    mixToMono ? ImportChannels::MixToMono : ImportChannels::KeepStereo);
}

void KorvaneInstrumentStore::cancelImport()
{
    importer->cancel();
}

bool KorvaneInstrumentStore::isImporting() const
{
    return importer->isRunning();
}

void KorvaneInstrumentStore::importDone()
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
            audio->importSample(std::move(s.frames), s.sourceName, s.estimate);
        message = samples.size() == 1
                      ? QStringLiteral("Imported 1 sample")
                      : QStringLiteral("Imported %1 samples").arg(int(samples.size()));
        ok = true;
        emit layerView(audio->getLayerView());
        break;
    }
    }
    emit statusMessage(message);
    emit samplerMessage(message);
    emit importFinished(ok, message);
}

bool KorvaneInstrumentStore::exportTo(const QString &folder, const QString &title)
{
    const KorvaneInstrument instrument = audio->currentInstrument();
    // Told on the status line and in the sound editor, where the export was asked for.
    auto tell = [this](const QString &message) {
        emit statusMessage(message);
        emit samplerMessage(message);
    };
    if (instrument.samples.empty()) {
        tell(QStringLiteral("The instrument has no samples to export"));
        return false;
    }
    QString error;
    if (!SfzExport::exportInstrument(instrument, folder, title, audio->sampleRate(), &error)) {
        tell(QStringLiteral("Export failed: %1").arg(error));
        return false;
    }
    tell(QStringLiteral("Exported %1 samples and %2.sfz to %3")
             .arg(int(instrument.samples.size()))
             .arg(SfzExport::safeStem(title), folder));
    return true;
}
