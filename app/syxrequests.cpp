#include "app/syxrequests.h"

#include "app/filerequests.h"
#include "core/atomicfile.h"
#include "core/korvanecore.h"
#include "core/korvanemaplibrary.h"
#include "device/syxfile.h"
#include "dialogs/korvanepatchview.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace {

const QString kFilter = QStringLiteral("SysEx files (*.syx *.SYX)");

KorvaneSyxFile::Contents currentRecords(KorvaneCore *hub)
{
    KorvaneSyxFile::Contents c;
    c.map = hub->GetState();
    c.calibration = hub->getCalibration();
    c.bend = hub->getBendSettings();
    c.gyro = hub->getGyroSettings();
    return c;
}

QString baseName(const QString &path)
{
    return QFileInfo(path).fileName().section(QLatin1Char('.'), 0, 0);
}

} // namespace

SyxRequests::SyxRequests(KorvaneCore *hub, KorvanePatchView *maps, QWidget *window)
    : QObject(window), hub(hub), window(window)
{
    connect(maps, &KorvanePatchView::SaveSyx, this, &SyxRequests::saveMapAsSyx);
}

QString SyxRequests::askFile(bool save, const QString &title, const QString &proposal) const
{
    QFileDialog dialog(window, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({kFilter, QStringLiteral("All files (*)")});
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("syx"));
        dialog.selectFile(proposal);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void SyxRequests::backUpToSyx()
{
    const QString name = baseName(hub->GetMapName());
    const QString path =
        askFile(true, QStringLiteral("Back up to .syx"),
                (name.isEmpty() ? QStringLiteral("Backup") : name) + QStringLiteral(".syx"));
    if (!path.isEmpty())
        backUpTo(path);
}

void SyxRequests::restoreFromSyx()
{
    const QString path = askFile(false, QStringLiteral("Restore from .syx"), QString());
    if (!path.isEmpty())
        restoreFrom(path);
}

void SyxRequests::saveMapAsSyx(QString mapFile)
{
    const QString name = baseName(mapFile.isEmpty() ? hub->GetMapName() : mapFile);
    const QString path =
        askFile(true, QStringLiteral("Save map as .syx"),
                (name.isEmpty() ? QStringLiteral("Map") : name) + QStringLiteral(".syx"));
    if (!path.isEmpty())
        writeMapTo(mapFile, path);
}

bool SyxRequests::backUpTo(const QString &path)
{
    const int dialect = hub->GetRemoteType();
    if (dialect != KorvaneSyxFile::Palmetto && dialect != KorvaneSyxFile::Remote) {
        emit statusMessage(QStringLiteral("No backup was written: no device dialect is chosen"));
        return false;
    }
    const auto messages =
        KorvaneSyxFile::backup(dialect, currentRecords(hub), hub->GetRemoteMap() == 2);
    QString error;
    if (!AtomicFile::write(path, KorvaneSyxFile::join(messages), &error)) {
        emit statusMessage(
            QStringLiteral("Backup %1 was not saved: %2").arg(QFileInfo(path).fileName(), error));
        return false;
    }
    emit statusMessage(QStringLiteral("Backed up to %1 (%2 messages)")
                           .arg(QFileInfo(path).fileName())
                           .arg(messages.size()));
    return true;
}

bool SyxRequests::writeMapTo(const QString &mapFile, const QString &path)
{
    const int dialect = hub->GetRemoteType();
    KorvaneSensorsState map = hub->GetState();
    if (!mapFile.isEmpty()) {
        map = hub->LoadStateTemp(mapFile);
        if (map.nodes.empty()) {
            emit statusMessage(QStringLiteral("Map %1 could not be read: no .syx was written")
                                   .arg(QFileInfo(mapFile).fileName()));
            return false;
        }
    }
    if (dialect != KorvaneSyxFile::Palmetto && dialect != KorvaneSyxFile::Remote) {
        emit statusMessage(QStringLiteral("No .syx was written: no device dialect is chosen"));
        return false;
    }
    QString error;
    const auto messages = KorvaneSyxFile::mapOnly(dialect, map, hub->GetRemoteMap() == 2);
    if (!AtomicFile::write(path, KorvaneSyxFile::join(messages), &error)) {
        emit statusMessage(
            QStringLiteral("%1 was not saved: %2").arg(QFileInfo(path).fileName(), error));
        return false;
    }
    emit statusMessage(QStringLiteral("Map saved as %1").arg(QFileInfo(path).fileName()));
    return true;
}

QString SyxRequests::matchingMapName(const std::vector<KorvaneSensorNode> &nodes) const
{
    KorvaneMapLibrary library(hub->GetDataPath(), hub->GetMapVersion());
    const KorvaneMapLibrary::Match found = library.match(nodes);
    return found.found ? found.matched : QString();
}

bool SyxRequests::restoreFrom(const QString &path)
{
    const QString fileName = QFileInfo(path).fileName();
    const auto refuse = [this, &fileName](const QString &why) {
        emit statusMessage(
            QStringLiteral("%1 was not restored: %2. Nothing was sent.").arg(fileName, why));
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    // One byte more than a backup may hold tells a file that is too large.
    const QByteArray bytes = file.read(KorvaneSyxFile::kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return refuse(file.errorString());

    KorvaneSyxFile::Contents c = currentRecords(hub);
    QString error;
    if (!KorvaneSyxFile::read(bytes, hub->GetRemoteType(), hub->GetRemoteMap() == 2, c, &error))
        return refuse(error);

    QStringList held = c.recordNames();
    if (c.hasMap) {
        const QString name = matchingMapName(c.map.nodes);
        held.first() = name.isEmpty() ? QStringLiteral("a map that no stored map matches")
                                      : QStringLiteral("the map %1").arg(name);
    }
    if (!FileRequests::confirm(window,
                               QStringLiteral("%1 holds %2. They will be sent to the device.")
                                   .arg(fileName, held.join(QStringLiteral(", ")))))
        return false;

    emit statusMessage(QStringLiteral("Restoring %1").arg(fileName));
    // Each record goes the way an edit of it goes: the hub takes it, the window shows it, and
    // the upload sends it with its own pauses and progress.
    if (c.hasMap) {
        hub->LoadStateFromSysEx(c.map);
        hub->UpdateState(hub->GetState()); // the sampler plays the restored notes
        hub->SendState();
    }
    if (c.hasCalibration || c.hasSettings)
        hub->LoadCalibrationFromSysEx(c.calibration);
    if (c.hasCalibration)
        hub->setCalibration(c.calibration);
    if (c.hasSettings)
        hub->setSettings(c.calibration);
    if (c.hasBend) {
        hub->LoadBendFromSysEx(c.bend);
        hub->SendBendSettings(c.bend);
    }
    if (c.hasGyro)
        hub->SendGyroSettings(c.gyro);
    return true;
}
