// The map browser: the map files of the maps folder and its sub-folders, as a tree. It never
// touches a file itself; it emits the chosen path (or folder) and the main window and the hub
// do the rest. Enter or a double-click on a map loads it.
#pragma once

#include "korvanebrowserselection.h"

#include <QDialog>
#include <QModelIndex>
#include <QString>
#include <QStringList>

namespace Ui {
class KorvanePatchView;
}
class QStandardItem;
class QStandardItemModel;
class KorvaneTreeView;

class KorvanePatchView : public QDialog
{
    Q_OBJECT
public:
    explicit KorvanePatchView(QWidget *parent = nullptr);
    ~KorvanePatchView() override;

    // Points the browser at root + "/maps/", creating it when missing.
    void UpdateDirectory(const QString &root);

    QString mapsFolder() const { return folder; }
    // The names shown at the top level (sub-folders first, then maps).
    QStringList names() const { return nameList; }
    QString selectedPath() const { return selected; }
    bool hasSelection() const { return selectionFlag; }
    // The folder New Folder, Name Folder and Save mean now.
    const KorvaneBrowserSelection &selection() const { return sel; }
    KorvaneTreeView *list() const;
    // The path behind a row of the tree.
    QString pathAt(const QModelIndex &index) const;
    // Lists the maps folder again; the selection is gone afterwards.
    void refresh();

signals:
    void giveFolderName(QString name);
    void LoadState(QString filename);
    void SaveState(QString filename);
    void DeleteState(QString filename);
    void RenameState(QString filename);
    void NewState(QString path);
    void Close();
    void NewFolder(QString path);
    void DeleteFolder(QString path);
    void NameFolder(QString path);
    void scaleGeneration(int nro);
    // The selected map (or, with nothing selected, the current one: an empty path) is to be
    // written as a .syx file.
    void SaveSyx(QString filename);

public slots:
    void Save();

private slots:
    void on_listView_clicked(const QModelIndex &index);
    void on_listView_activated(const QModelIndex &index);
    void on_newFolderButton_clicked();
    void on_nameFolderButton_clicked();
    void on_deleteFolderButton_clicked();
    void on_loadButton_clicked();
    void on_renameButton_clicked();
    void on_deleteButton_clicked();
    void on_deselectButton_clicked();
    void on_closeButton_clicked();
    void on_syxButton_clicked();

private:
    Ui::KorvanePatchView *ui;
    void addFolder(const QString &path, QStandardItem *parent, int depth);

    QStringList nameList;
    QStandardItemModel *model = nullptr;
    KorvaneBrowserSelection sel;
    QString folder;
    QString selected;
    bool selectionFlag = false;
};
