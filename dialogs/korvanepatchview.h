// The map browser: the map files of the maps folder. It never touches a file itself; it
// emits the chosen path and the main window and the hub do the rest.
#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QString>
#include <QStringList>

namespace Ui {
class KorvanePatchView;
}
class QStringListModel;
class QListView;

class KorvanePatchView : public QDialog
{
    Q_OBJECT
public:
    explicit KorvanePatchView(QWidget *parent = nullptr);
    ~KorvanePatchView() override;

    // Points the browser at root + "/maps/", creating it when missing.
    void UpdateDirectory(const QString &root);

    QString mapsFolder() const { return folder; }
    QStringList names() const { return nameList; }
    QString selectedPath() const { return selected; }
    bool hasSelection() const { return selectionFlag; }
    QListView *list() const;
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
    void on_loadButton_clicked();
    void on_renameButton_clicked();
    void on_deleteButton_clicked();
    void on_deselectButton_clicked();
    void on_closeButton_clicked();
    void on_syxButton_clicked();

private:
    Ui::KorvanePatchView *ui;
    QStringList nameList;
    QStringList fileNames; // the real file name behind each row
    QStringListModel *model = nullptr;
    QString folder;
    QString selected;
    bool selectionFlag = false;
};
