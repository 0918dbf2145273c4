#include "korvanepatchview.h"
#include "ui_korvanepatchview.h"

#include "korvanetreeview.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>

namespace {
const QStringList kMapFilters = {QStringLiteral("*.KVS"), QStringLiteral("*.kvs")};
constexpr int kPathRole = Qt::UserRole;
constexpr int kFolderRole = Qt::UserRole + 1;
constexpr int kMaxDepth = 8; // sub-folders deeper than this are not shown
} // namespace

KorvanePatchView::KorvanePatchView(QWidget *parent) : QDialog(parent), ui(new Ui::KorvanePatchView)
{
    ui->setupUi(this);
    // The keyboard works the tree: it has the focus, and Enter loads rather than pressing a
    // button.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
    ui->listView->setFocus();
    connect(ui->listView, &KorvaneTreeView::keyboardSelected, this,
            &KorvanePatchView::on_listView_clicked);
    connect(ui->listView, &KorvaneTreeView::RootSelected, this, [this] {
        sel.reset(folder);
        selectionFlag = false;
        selected.clear();
    });
}

KorvanePatchView::~KorvanePatchView()
{
    delete ui;
}

KorvaneTreeView *KorvanePatchView::list() const
{
    return ui->listView;
}

QString KorvanePatchView::pathAt(const QModelIndex &index) const
{
    return index.isValid() ? index.data(kPathRole).toString() : QString();
}

void KorvanePatchView::UpdateDirectory(const QString &root)
{
    folder = root + QStringLiteral("/maps/");
    QDir().mkpath(folder);
    refresh();
}

void KorvanePatchView::addFolder(const QString &path, QStandardItem *parent, int depth)
{
    const QDir dir(path);
    const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    if (depth < kMaxDepth) {
        for (const QString &name :
             dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
            auto *item = new QStandardItem(style()->standardIcon(QStyle::SP_DirIcon), name);
            item->setData(prefix + name, kPathRole);
            item->setData(true, kFolderRole);
            item->setEditable(false);
            parent->appendRow(item);
            addFolder(prefix + name, item, depth + 1);
        }
    }
    for (const QString &entry : dir.entryList(kMapFilters, QDir::Files)) {
        // Rows show the name up to its first dot; the path comes from the real file name,
        // so "a.b.kvs" and "X.KVS" open themselves.
        auto *item = new QStandardItem(QFileInfo(prefix + entry).baseName());
        item->setData(prefix + entry, kPathRole);
        item->setData(false, kFolderRole);
        item->setEditable(false);
        parent->appendRow(item);
    }
}

void KorvanePatchView::refresh()
{
    auto *fresh = new QStandardItemModel(this);
    addFolder(folder, fresh->invisibleRootItem(), 0);
    nameList.clear();
    for (int r = 0; r < fresh->rowCount(); ++r)
        nameList.append(fresh->item(r)->text());
    {
        const QSignalBlocker blocker(ui->listView);
        QItemSelectionModel *oldSelection = ui->listView->selectionModel();
        ui->listView->setModel(fresh);
        delete oldSelection;
        ui->listView->expandAll();
    }
    delete model;
    model = fresh;
    sel.reset(folder);
    selectionFlag = false;
    selected.clear();
}

void KorvanePatchView::Save()
{
    // Into the selected folder (or the selected map's), the maps folder when none is.
    emit NewState(sel.newFolderParent());
    refresh();
}

void KorvanePatchView::on_listView_clicked(const QModelIndex &index)
{
    const QString path = pathAt(index);
    if (path.isEmpty())
        return;
    if (index.data(kFolderRole).toBool()) {
        sel.selectFolder(path);
        selectionFlag = false;
        selected.clear();
        return;
    }
    sel.selectFile(path);
    selected = path;
    selectionFlag = true;
}

void KorvanePatchView::on_listView_activated(const QModelIndex &index)
{
    // A folder opens and closes as the tree does it (double-click, arrow keys).
    if (pathAt(index).isEmpty() || index.data(kFolderRole).toBool())
        return;
    on_listView_clicked(index);
    on_loadButton_clicked();
}

void KorvanePatchView::on_newFolderButton_clicked()
{
    emit NewFolder(sel.newFolderParent());
}

void KorvanePatchView::on_nameFolderButton_clicked()
{
    if (!sel.chosenFolder().isEmpty())
        emit NameFolder(sel.chosenFolder());
}

void KorvanePatchView::on_deleteFolderButton_clicked()
{
    if (!sel.chosenFolder().isEmpty())
        emit DeleteFolder(sel.chosenFolder());
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
