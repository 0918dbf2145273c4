#include "app/filerequests.h"

#include "audio/korvaneaudioengine.h"
#include "core/datapaths.h"
#include "core/korvanecore.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

FileRequests::FileRequests(KorvaneCore *hub, NameDialog *name, KorvanePatchView *maps,
                           KorvaneSoundView *sounds, const QString &dataPath, QWidget *boxParent)
    : QObject(boxParent), hub(hub), name(name), mapBrowser(maps), soundBrowser(sounds),
      dataPath(dataPath), boxParent(boxParent)
{
}

bool FileRequests::confirm(QWidget *parent, const QString &text)
{
    QMessageBox box(parent);
    box.setText(text);
    box.setInformativeText(QStringLiteral("Are you sure to proceed?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void FileRequests::askName(NameMode mode, const QString &label, const QString &proposal)
{
    name->setMode(mode);
    name->setLabel(label);
    name->setText(proposal);
    name->show();
}

QString FileRequests::soundsFolder() const
{
    return dataPath + QStringLiteral("/sounds");
}

void FileRequests::updateDirectories()
{
    mapBrowser->UpdateDirectory(dataPath);
    soundBrowser->UpdateDirectory(dataPath);
}

// The top folders of the browsers hold every map and instrument; they are never renamed or
// removed as a whole.
bool FileRequests::isBrowserRoot(const QString &folder) const
{
    const QString path = QDir(folder).canonicalPath();
    for (const QString &root : {dataPath, soundsFolder(), dataPath + QStringLiteral("/maps")}) {
        if (!path.isEmpty() && path == QDir(root).canonicalPath())
            return true;
    }
    return false;
}

void FileRequests::receiveName(int mode, const QString &text)
{
    // A typed name never leaves the chosen folder.
    if (!DataPaths::isSafeName(text)) {
        emit statusMessage(QStringLiteral("\"%1\" cannot be used as a name: it must not be "
                                          "empty, \".\" or \"..\", nor hold \"/\" or \"\\\".")
                               .arg(text));
        return;
    }
    const QString n = text.trimmed();
    switch (mode) {
    case SaveMapAs:
        saveMapAsName(n);
        break;
    case RenameMap:
        renameMapTo(n);
        break;
    case SaveSoundAs:
        saveSoundAsName(n);
        break;
    case RenameSound:
        renameSoundTo(n);
        break;
    case CreateFolder:
        createFolderNamed(n);
        break;
    case RenameFolder:
        renameFolderTo(n);
        break;
    default:
        break;
    }
}

// ---- maps ----

void FileRequests::saveMap(const QString &filename)
{
    if (!confirm(QStringLiteral("Patch ") + QFileInfo(filename).fileName() +
                 QStringLiteral(" will be overwritten.")))
        return;
    // A failed save is reported by the hub and leaves the map name as it was.
    if (hub->SaveState(filename))
        emit mapNameChanged(QFileInfo(filename).fileName());
    updateDirectories();
}

void FileRequests::deleteMap(const QString &filename)
{
    if (!confirm(QStringLiteral("Patch ") + QFileInfo(filename).fileName() +
                 QStringLiteral(" will be deleted.")))
        return;
    const bool existed = QFileInfo::exists(filename);
    hub->DeleteState(filename);
    if (!existed || QFileInfo::exists(filename))
        emit statusMessage(
            QStringLiteral("Map %1 could not be deleted.").arg(QFileInfo(filename).fileName()));
    updateDirectories();
}

void FileRequests::newMap(const QString &folder)
{
    currentFolder = folder;
    askName(SaveMapAs, QStringLiteral("Save mapping as:") + QDir(folder).dirName(),
            QStringLiteral("User mapping"));
}

void FileRequests::renameMap(const QString &filename)
{
    mapToRename = filename;
    const QString base = QFileInfo(filename).fileName().section(QLatin1Char('.'), 0, 0);
    askName(RenameMap, QStringLiteral("Renaming ") + base, base);
}

void FileRequests::saveMapAsName(const QString &text)
{
    const QString path = currentFolder + QStringLiteral("/") + text + QStringLiteral(".kvs");
    // An existing map is only replaced after the overwrite question.
    if (QFileInfo::exists(path)) {
        saveMap(path);
        return;
    }
    hub->SaveState(path);
    emit mapNameChanged(hub->GetMapName());
    updateDirectories();
}

void FileRequests::renameMapTo(const QString &text)
{
    const QFileInfo old(mapToRename);
    const QString target = old.path() + QStringLiteral("/") + text + QStringLiteral(".kvs");
    if (QFileInfo(target) == old)
        return;
    if (QFileInfo::exists(target)) {
        emit statusMessage(QStringLiteral("Map %1 was not renamed: %2 already exists.")
                               .arg(old.fileName(), QFileInfo(target).fileName()));
    } else if (!QFile::rename(mapToRename, target)) {
        emit statusMessage(QStringLiteral("Map %1 could not be renamed.").arg(old.fileName()));
    }
    emit mapNameChanged(hub->GetMapName());
    updateDirectories();
}

// ---- instruments ----

// The hub's instrument store keeps whether the instrument has unsaved changes.
bool FileRequests::isUnsaved() const
{
    return hub->IsSoundModified();
}

void FileRequests::markUnsaved()
{
    hub->MarkSoundModified();
}

void FileRequests::soundLoaded()
{
    soundName = QFileInfo(hub->GetSoundName()).completeBaseName();
    isNewSound = false;
}

void FileRequests::flushSelected(int sample)
{
    const KorvaneLayerView view = hub->audio()->getLayerView();
    const QString shown =
        sample >= 0 && sample < view.names.size() ? view.names.at(sample) : QString();
    if (confirm(QStringLiteral("Sample '") + shown + QStringLiteral("' will be deleted!")))
        hub->FlushSelected(sample);
}

void FileRequests::flushAll()
{
    if (!isUnsaved()) {
        hub->FlushMemory();
        return;
    }
    if (confirm(QStringLiteral("Removing all currently loaded samples! The instrument can be "
                               "reloaded if it's saved."))) {
        hub->FlushMemory();
        isNewSound = true;
    }
}

void FileRequests::flushPrevious()
{
    if (confirm(QStringLiteral("Previous sample will be deleted!")))
        hub->FlushPrevious();
}

void FileRequests::openSoundSaveAs(bool isNew)
{
    soundSaveFolder = soundsFolder();
    askName(SaveSoundAs, QStringLiteral("Save Instrument as:"),
            isNew ? QStringLiteral("User instrument") : soundName);
}

void FileRequests::newSound(const QString &folder)
{
    soundSaveFolder = folder;
    askName(SaveSoundAs, QStringLiteral("Save sound as:"), QStringLiteral("User sound"));
}

void FileRequests::saveSoundAsName(const QString &text)
{
    const QString folder = soundSaveFolder.isEmpty() ? soundsFolder() : soundSaveFolder;
    const QString path = folder + QStringLiteral("/") + text + QStringLiteral(".kvi");
    if (QFileInfo::exists(path) &&
        !confirm(QStringLiteral("Instrument ") + text + QStringLiteral(" will be overwritten.")))
        return;
    // The hub reports a failed write; only a written file marks the instrument saved.
    if (hub->SaveSound(path)) {
        soundName = text;
        isNewSound = false;
    }
    soundBrowser->UpdateCombo();
}

void FileRequests::saveSound(const QString &requested)
{
    if (isNewSound) {
        openSoundSaveAs(true);
        return;
    }
    // The sound browser hands over the path of the selected file; the sound editor a name
    // in the sounds folder.
    QString file = requested;
    QString shown = requested;
    if (requested.contains(QLatin1Char('/')))
        shown = QFileInfo(requested).completeBaseName();
    else
        file = soundsFolder() + QStringLiteral("/") + requested + QStringLiteral(".kvi");
    soundName = shown;
    if (!confirm(QStringLiteral("Instrument ") + shown + QStringLiteral(" will be overwritten.")))
        return;
    // Only a save that reached the disk clears the unsaved mark (the hub's store does).
    hub->SaveSound(file);
}

void FileRequests::saveCurrentSound()
{
    saveSound(soundName);
}

void FileRequests::renameSound(const QString &filename)
{
    soundToRename = filename;
    askName(RenameSound, QStringLiteral("Renaming ") + QFileInfo(filename).baseName(), QString());
}

void FileRequests::renameSoundTo(const QString &text)
{
    const QFileInfo old(soundToRename);
    const QString target = old.path() + QStringLiteral("/") + text + QStringLiteral(".kvi");
    if (QFileInfo(target) == old)
        return;
    if (QFileInfo::exists(target)) {
        emit statusMessage(QStringLiteral("Instrument %1 was not renamed: %2 already exists.")
                               .arg(old.fileName(), QFileInfo(target).fileName()));
    } else if (!QFile::rename(soundToRename, target)) {
        emit statusMessage(
            QStringLiteral("Instrument %1 could not be renamed.").arg(old.fileName()));
    } else if (old.completeBaseName() == soundName) {
        soundName = text;
    }
    updateDirectories();
}

void FileRequests::deleteSound(const QString &filename)
{
    const QFileInfo info(filename);
    if (!confirm(QStringLiteral("Instrument ") + info.completeBaseName() +
                 QStringLiteral(" will be deleted.")))
        return;
    const bool existed = info.exists();
    hub->DeleteSound(filename);
    if (!existed || QFileInfo::exists(filename))
        emit statusMessage(
            QStringLiteral("Instrument %1 could not be deleted.").arg(info.fileName()));
}

// ---- folders ----

void FileRequests::newFolder(const QString &parentFolder)
{
    currentFolder = parentFolder;
    askName(CreateFolder, QStringLiteral("New folder into:") + QDir(parentFolder).dirName(),
            QString());
}

void FileRequests::createFolderNamed(const QString &text)
{
    const QString folder = currentFolder + QStringLiteral("/") + text;
    if (QFileInfo::exists(folder))
        emit statusMessage(QStringLiteral("Folder %1 already exists.").arg(text));
    else if (!QDir().mkdir(folder))
        emit statusMessage(QStringLiteral("Folder %1 could not be created.").arg(text));
    updateDirectories();
}

void FileRequests::deleteFolder(const QString &path)
{
    if (isBrowserRoot(path)) {
        emit statusMessage(
            QStringLiteral("The top folder cannot be deleted; choose a folder in it."));
        return;
    }
    if (!confirm(QStringLiteral("Folder and all it's contents will be deleted.")))
        return;
    if (!QDir(path).removeRecursively() || QFileInfo::exists(path))
        emit statusMessage(
            QStringLiteral("Folder %1 could not be deleted completely.").arg(QDir(path).dirName()));
    updateDirectories();
}

void FileRequests::renameFolder(const QString &path)
{
    if (isBrowserRoot(path)) {
        emit statusMessage(
            QStringLiteral("The top folder cannot be renamed; choose a folder in it."));
        return;
    }
    currentFolder = path;
    askName(RenameFolder, QStringLiteral("Renaming folder ") + QDir(path).dirName(), QString());
}

void FileRequests::renameFolderTo(const QString &text)
{
    const QString old = QDir::cleanPath(currentFolder);
    const QString target = QFileInfo(old).path() + QStringLiteral("/") + text;
    if (QFileInfo(target) == QFileInfo(old))
        return;
    if (QFileInfo::exists(target))
        emit statusMessage(QStringLiteral("Folder %1 was not renamed: %2 already exists.")
                               .arg(QFileInfo(old).fileName(), text));
    else if (!QDir().rename(old, target))
        emit statusMessage(
            QStringLiteral("Folder %1 could not be renamed.").arg(QFileInfo(old).fileName()));
    updateDirectories();
}
