// What the map and sound browsers and the sound editor ask of files: save, rename and delete
// maps and instruments, make, rename and delete folders, clear the sampler. Asks before
// anything is overwritten or removed, asks for names through the name dialog, and says on the
// status line what could not be done. GUI thread only.
#pragma once

#include <QObject>
#include <QString>

class KorvaneCore;
class KorvanePatchView;
class KorvaneSoundView;
class NameDialog;
class QWidget;

class FileRequests : public QObject
{
    Q_OBJECT
public:
    // The name dialog's modes: what a typed name is for.
    enum NameMode
    {
        SaveMapAs,
        RenameMap,
        SaveSoundAs,
        RenameSound,
        CreateFolder,
        RenameFolder
    };

    // Questions open over boxParent. None of the objects is owned; all must outlive this one.
    FileRequests(KorvaneCore *hub, NameDialog *name, KorvanePatchView *maps,
                 KorvaneSoundView *sounds, const QString &dataPath, QWidget *boxParent);

    // A Yes/No question whose default is No.
    static bool confirm(QWidget *parent, const QString &text);

    bool isUnsaved() const;
    bool isNewSoundPending() const { return isNewSound; }
    QString currentSound() const { return soundName; }

    void updateDirectories();

    // Maps.
    void saveMap(const QString &filename); // overwrites after the question
    void deleteMap(const QString &filename);
    void newMap(const QString &folder);      // asks for a name
    void renameMap(const QString &filename); // asks for the new name

    // Instruments.
    void markUnsaved();
    void soundLoaded(); // the sampler now holds exactly what the hub's instrument file holds
    void flushSelected(int sample);
    void flushAll();
    void flushPrevious();
    void saveSound(const QString &soundName); // a file path from the browser or a name
    void saveCurrentSound();
    void openSoundSaveAs(bool isNew);
    void newSound(const QString &folder);
    void renameSound(const QString &filename);
    void deleteSound(const QString &filename);

    // Folders.
    void newFolder(const QString &parentFolder);
    void deleteFolder(const QString &path);
    void renameFolder(const QString &path);

    // The name dialog's answer for the request that asked.
    void receiveName(int mode, const QString &text);

signals:
    void statusMessage(QString message);
    void mapNameChanged(QString name);

private:
    bool confirm(const QString &text) const { return confirm(boxParent, text); }
    void askName(NameMode mode, const QString &label, const QString &proposal);
    bool isBrowserRoot(const QString &folder) const;
    QString soundsFolder() const;
    void saveMapAsName(const QString &text);
    void renameMapTo(const QString &text);
    void saveSoundAsName(const QString &text);
    void renameSoundTo(const QString &text);
    void createFolderNamed(const QString &text);
    void renameFolderTo(const QString &text);

    KorvaneCore *hub;
    NameDialog *name;
    KorvanePatchView *mapBrowser;
    KorvaneSoundView *soundBrowser;
    QString dataPath;
    QWidget *boxParent;

    bool isNewSound = false;
    QString soundName = QStringLiteral("Flute");
    QString currentFolder;
    QString mapToRename;
    QString soundToRename;
    QString soundSaveFolder; // where a save-as writes: the browser's folder or the sounds folder
};
