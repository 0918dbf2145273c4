// Instrument files (".kvi") in and out of the audio engine, the preset instruments copied into
// the sounds folder, and sample import from audio files and export as WAV and SFZ. GUI thread
// only.
#pragma once

#include "base/samplertypes.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class InstrumentReadAhead;
class KorvaneAudioEngine;
class KorvaneSampleImport;

class KorvaneInstrumentStore : public QObject
{
    Q_OBJECT
public:
    // audio plays the instruments loaded and gives the one saved; it must outlive the store.
    explicit KorvaneInstrumentStore(KorvaneAudioEngine *audio, QObject *parent = nullptr);
    ~KorvaneInstrumentStore() override;

    // Copies the preset instruments into dataPath's sounds folder. A file already there (the
    // user's edited copy) is never overwritten; a deleted preset comes back.
    static void copyPresets(const QString &dataPath);

    // The file name of the instrument last loaded or saved, and its whole path.
    QString soundName() const { return name; }
    QString soundPath() const { return path; }

    // Whether the instrument differs from its file: set by every change to it (recording,
    // import, edits, the audio engine's unsaved notices), cleared by a load or a save.
    bool isModified() const { return modified; }
    void markModified() { modified = true; }
    // Keeps the instrument in folder under a recovery name made from its own name and when,
    // e.g. "Flute (recovered 2026-12-06 17-02).kvi", never over an existing file. Returns
    // the path written, or an empty string (after a status line) when nothing could be.
    QString keepRecoveryCopy(const QString &folder, const QDateTime &when);

    // Writes the current instrument atomically; a failed write is reported.
    bool save(const QString &filename);
    // Reads and checks the whole file before the sampler is touched: a damaged file leaves
    // the current instrument playable.
    bool load(const QString &filename);
    // A file being read on a worker thread: the next load() of that file, when it is
    // unchanged, takes what was read instead of reading it again.
    void setReadAhead(std::unique_ptr<InstrumentReadAhead> file);
    void remove(const QString &filename);

    // Reads the files on a worker thread and adds them all as samples when every one could
    // be read; a file that cannot be read, or a cancel, adds nothing.
    void importFiles(const QStringList &files, bool mixToMono);
    void cancelImport();
    bool isImporting() const;
    // Writes the current instrument as WAV files and an SFZ file into folder.
    bool exportTo(const QString &folder, const QString &title);

signals:
    void statusMessage(QString message);
    void samplerMessage(QString message);
    void envelopeParameters(KorvaneEnvelope env);
    void reverbParameters(KorvaneSamplerReverb rev);
    void loaded();
    void saved();
    void layerView(KorvaneLayerView view);
    void resetScroll();
    void loadedSoundName(QString name);
    void importProgress(int permille, QString text);
    void importFinished(bool ok, QString message);

private:
    void importDone();

    KorvaneAudioEngine *audio;
    KorvaneSampleImport *importer;
    std::unique_ptr<InstrumentReadAhead> readAhead;
    QString name;
    QString path;
    bool modified = false;
    int importCount = 0;
};
