// The sound browser: instrument files in folders under the data folder's "sounds" folder.
// It moves files itself (cut and paste); every other file operation is a request to the
// main window or the hub.
#pragma once

#include "korvanebrowserselection.h"

#include <QDialog>
#include <QModelIndex>
#include <QString>
#include <QStringList>

namespace Ui {
class KorvaneSoundView;
}
class QFileSystemModel;
class QStringListModel;
class KorvaneTreeView;

class KorvaneSoundView : public QDialog
{
    Q_OBJECT
public:
    explicit KorvaneSoundView(QWidget *parent = nullptr);
    ~KorvaneSoundView() override;

    // Points the browser at dataFolder + "/sounds/", creating it when missing and moving
    // stray instrument files from the data folder into it.
    void UpdateDirectory(const QString &dataFolder);

    enum SelectionKind
    {
        NothingSelected = KorvaneBrowserSelection::Nothing,
        FolderSelected = KorvaneBrowserSelection::Folder,
        FileSelected = KorvaneBrowserSelection::File
    };

    QString rootPath() const { return sel.root; }
    int selectionKind() const { return sel.kind; }
    QString selectedFolder() const { return sel.folder; }
    QString selectedFile() const { return sel.file; }
    bool isCutPending() const { return cutPending; }
    QString cutSourcePath() const { return cutSource; }
    QStringList comboEntries() const;
    KorvaneTreeView *tree() const;
    QFileSystemModel *fileModel() const { return model; }

signals:
    void giveFolderName(QString name);
    void LoadSound(QString filename);
    void SaveSound(QString filename);
    void DeleteSound(QString filename);
    void RenameSound(QString filename);
    void NewSound(QString path);
    void Close();
    void NewFolder(QString path);
    void DeleteFolder(QString path);
    void NameFolder(QString path);
    void EditSound();
    // Problems of the browser's own file moves, for the status line.
    void sendStatusMessage(QString message);

public slots:
    void setFileList(QStringList filelist);
    void PrevSound();
    void NextSound();
    void Deselect();
    void SetToRoot();
    void UpdateCombo();
    void SelectCombo();
    // Called while LoadSound is delivered: the load was refused (the user kept the instrument
    // in memory), so the browser stays open and its choice shows what it showed before.
    void refuseLoad();

private slots:
    void on_saveButton_clicked();
    void on_renameButton_clicked();
    void on_loadButton_clicked();
    void on_deleteButton_clicked();
    void on_editButton_clicked();
    void on_newFolderButton_clicked();
    void on_nameFolderButton_clicked();
    void on_deleteFolderButton_clicked();
    void on_cutButton_clicked();
    void on_pasteButton_clicked();
    void on_deselectButton_clicked();
    void on_comboBox_currentIndexChanged(int index);
    void on_treeView_clicked(const QModelIndex &index);
    void on_treeView_activated(const QModelIndex &index);
    void on_treeView_entered(const QModelIndex &index);
    void on_treeView_viewportEntered();
    void on_closeButton_clicked();

private:
    void buildModel();
    void stepSound(int delta);
    // Emits LoadSound; hides the browser unless the load was refused. Returns whether not.
    bool requestLoad(const QString &path);
    // Moves source into destination without overwriting; false (after a status line) when
    // the destination exists or the move fails. The source is kept in both cases.
    bool moveFile(const QString &source, const QString &destination);

    Ui::KorvaneSoundView *ui;
    KorvaneBrowserSelection sel;
    bool cutPending = false;
    QString cutSource;
    QFileSystemModel *model = nullptr;
    QStringListModel *comboModel = nullptr;
    bool loadRefused = false;
    int comboShown = -1; // the combo box's choice before the user changed it
};
