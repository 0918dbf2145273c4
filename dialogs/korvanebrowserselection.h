// What a browser's folder tree has selected, and which folder each folder request (new, name,
// delete) means. Shared by the sound browser and the map browser.
#pragma once

#include <QFileInfo>
#include <QString>

struct KorvaneBrowserSelection
{
    enum Kind
    {
        Nothing = 0,
        Folder = 1,
        File = 2
    };

    QString root;
    int kind = Nothing;
    QString folder; // the folder selected last, the root to begin with
    QString file;   // the file selected last

    void reset(const QString &rootFolder)
    {
        root = rootFolder;
        folder = rootFolder;
        kind = Nothing;
        file.clear();
    }
    void selectFolder(const QString &path)
    {
        kind = Folder;
        folder = path;
    }
    void selectFile(const QString &path)
    {
        kind = File;
        file = path;
    }
    // A new folder goes into the selected folder, or beside the selected file.
    QString newFolderParent() const
    {
        return kind == File ? QFileInfo(file).absolutePath() : folder;
    }
    // Naming and deleting act on a selected folder only: empty otherwise.
    QString chosenFolder() const { return kind == Folder ? folder : QString(); }
};
