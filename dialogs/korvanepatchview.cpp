#include "korvanepatchview.h"
#include "ui_korvanepatchview.h"

#include <QDir>
#include <QFileInfo>
#include <QStringListModel>

KorvanePatchView::KorvanePatchView(QWidget *parent) : QDialog(parent), ui(new Ui::KorvanePatchView)
{
    ui->setupUi(this);
}

KorvanePatchView::~KorvanePatchView()
{
    delete ui;
}

QListView *KorvanePatchView::list() const
{
    return ui->listView;
}

void KorvanePatchView::UpdateDirectory(const QString &root)
{
    folder = root + QStringLiteral("/maps/");
    QDir().mkpath(folder);
    refresh();
}

void KorvanePatchView::refresh()
{
    nameList.clear();
    fileNames.clear();
    const QStringList entries =
        QDir(folder).entryList({QStringLiteral("*.KVS"), QStringLiteral("*.kvs")},
                               QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        // Rows show the name up to its first dot; the path comes from the real file name,
        // so "a.b.kvs" and "X.KVS" open themselves.
        nameList.append(QFileInfo(folder + entry).baseName());
        fileNames.append(entry);
    }
    auto *fresh = new QStringListModel(nameList, this);
    {
        const QSignalBlocker blocker(ui->listView);
        QItemSelectionModel *oldSelection = ui->listView->selectionModel();
        ui->listView->setModel(fresh);
        delete oldSelection;
    }
    delete model;
    model = fresh;
    selectionFlag = false;
    selected.clear();
}

void KorvanePatchView::Save()
{
    emit NewState(folder);
    refresh();
}

void KorvanePatchView::on_listView_clicked(const QModelIndex &index)
{
    if (!index.isValid() || index.row() >= fileNames.size())
        return;
    selected = folder + fileNames.at(index.row());
    selectionFlag = true;
}

void KorvanePatchView::on_loadButton_clicked()
{
    if (!selectionFlag)
        return;
    emit LoadState(selected);
    hide();
}

void KorvanePatchView::on_renameButton_clicked()
{
    if (!selectionFlag)
        return;
    emit RenameState(selected);
    refresh();
}

void KorvanePatchView::on_deleteButton_clicked()
{
    if (!selectionFlag)
        return;
    emit DeleteState(selected);
    refresh();
}

void KorvanePatchView::on_deselectButton_clicked()
{
    refresh();
}

void KorvanePatchView::on_closeButton_clicked()
{
    hide();
}

void KorvanePatchView::on_syxButton_clicked()
{
    emit SaveSyx(selectionFlag ? selected : QString());
}
