#include "korvanesoundview.h"
#include "ui_korvanesoundview.h"

#include "korvanetreeview.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSignalBlocker>
#include <QStringListModel>

#include <algorithm>

namespace {
const QStringList kInstrumentFilters = {QStringLiteral("*.kvi"), QStringLiteral("*.KVI")};
}

KorvaneSoundView::KorvaneSoundView(QWidget *parent) : QDialog(parent), ui(new Ui::KorvaneSoundView)
{
    ui->setupUi(this);
    comboModel = new QStringListModel(this);
    ui->comboBox->setModel(comboModel);
    connect(ui->treeView, SIGNAL(RootSelected()), this, SLOT(SetToRoot()));
    connect(ui->treeView, &KorvaneTreeView::keyboardSelected, this,
            &KorvaneSoundView::on_treeView_clicked);
}

KorvaneSoundView::~KorvaneSoundView()
{
    delete ui;
}

KorvaneTreeView *KorvaneSoundView::tree() const
{
    return ui->treeView;
}

QStringList KorvaneSoundView::comboEntries() const
{
    return comboModel->stringList();
}

void KorvaneSoundView::UpdateDirectory(const QString &dataFolder)
{
    const QString root = dataFolder + QStringLiteral("/sounds/");
    if (!QDir(root).exists() && !QDir().mkpath(root))
        emit sendStatusMessage(QStringLiteral("Could not create the sounds folder %1").arg(root));
    sel.reset(root);

    // Instruments left directly in the data folder belong in the sounds folder.
    const QDir data(dataFolder);
    for (const QString &name : data.entryList(kInstrumentFilters, QDir::Files)) {
        const QString source = data.filePath(name);
        const QString destination = root + name;
        qDebug().noquote() << "moving " << source << " to " << destination;
        moveFile(source, destination);
    }
    buildModel();
    UpdateCombo();
}

bool KorvaneSoundView::moveFile(const QString &source, const QString &destination)
{
    const QString name = QFileInfo(source).fileName();
    if (QFileInfo(source).absoluteFilePath() == QFileInfo(destination).absoluteFilePath())
        return true; // already there
    if (QFileInfo::exists(destination)) {
        emit sendStatusMessage(
            QStringLiteral("%1 was not moved: %2 already holds a file of that name.")
                .arg(name, QFileInfo(destination).absolutePath()));
        return false;
    }
    if (!QFile::rename(source, destination)) {
        emit sendStatusMessage(QStringLiteral("%1 could not be moved.").arg(name));
        return false;
    }
    return true;
}

void KorvaneSoundView::buildModel()
{
    auto *fresh = new QFileSystemModel(this);
    fresh->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    fresh->setRootPath(sel.root);
    QItemSelectionModel *oldSelection = ui->treeView->selectionModel();
    ui->treeView->setModel(fresh);
    delete oldSelection;
    ui->treeView->setRootIndex(fresh->index(sel.root));
    for (int c = 1; c < fresh->columnCount(); ++c)
        ui->treeView->hideColumn(c);
    delete model;
    model = fresh;
}

// ---- public slots ----

void KorvaneSoundView::setFileList(QStringList) {}

void KorvaneSoundView::SelectCombo() {}

void KorvaneSoundView::UpdateCombo()
{
    const QStringList entries = QDir(sel.folder).entryList(kInstrumentFilters, QDir::Files);
    const QSignalBlocker blocker(ui->comboBox);
    auto *fresh = new QStringListModel(entries, this);
    ui->comboBox->setModel(fresh);
    // Nothing is chosen yet, so that choosing the first entry is a change too.
    ui->comboBox->setCurrentIndex(-1);
    delete comboModel;
    comboModel = fresh;
    comboShown = ui->comboBox->currentIndex();
}

void KorvaneSoundView::SetToRoot()
{
    qDebug() << "set to root";
    sel.folder = sel.root;
    UpdateCombo();
}

void KorvaneSoundView::Deselect()
{
    sel.folder = sel.root;
    sel.kind = FolderSelected;
    ui->treeView->clearSelection();
}

void KorvaneSoundView::PrevSound()
{
    stepSound(-1);
}

void KorvaneSoundView::NextSound()
{
    stepSound(+1);
}

void KorvaneSoundView::stepSound(int delta)
{
    const QModelIndex current = ui->treeView->currentIndex();
    if (!model || !current.isValid()) {
        qDebug() << "Invalid selection";
        return;
    }
    const int siblings = model->rowCount(current.parent());
    const int row = std::clamp(current.row() + delta, 0, std::max(0, siblings - 1));
    const QModelIndex next = current.sibling(row, 0);
    qDebug().noquote() << "was : " << model->filePath(current);
    if (!next.isValid() || row == current.row()) {
        qDebug().noquote() << "is : " << model->filePath(current);
        return; // at the end of the folder: no wrap
    }
    const QString path = model->filePath(next);
    qDebug().noquote() << "is : " << path;
    ui->treeView->setCurrentIndex(next);
    if (model->isDir(next)) {
        emit giveFolderName(QFileInfo(path).fileName());
    } else {
        sel.selectFile(path);
        emit LoadSound(path);
    }
}

// ---- buttons ----

void KorvaneSoundView::on_saveButton_clicked()
{
    if (sel.kind == FileSelected)
        emit SaveSound(sel.file);
    else
        emit NewSound(sel.folder);
}

void KorvaneSoundView::on_renameButton_clicked()
{
    if (sel.kind == FileSelected)
        emit RenameSound(sel.file);
}

bool KorvaneSoundView::requestLoad(const QString &path)
{
    loadRefused = false;
    emit LoadSound(path);
    if (loadRefused)
        return false;
    hide();
    return true;
}

void KorvaneSoundView::refuseLoad()
{
    loadRefused = true;
}

void KorvaneSoundView::on_loadButton_clicked()
{
    if (sel.kind == FileSelected)
        requestLoad(sel.file);
}

void KorvaneSoundView::on_deleteButton_clicked()
{
    if (sel.kind != FileSelected)
        return;
    emit DeleteSound(sel.file);
    // Once the file is gone its folder is what stays selected.
    if (!QFileInfo::exists(sel.file)) {
        sel.selectFolder(QFileInfo(sel.file).absolutePath());
        sel.file.clear();
        ui->treeView->clearSelection();
    }
    UpdateCombo();
}

void KorvaneSoundView::on_editButton_clicked()
{
    if (sel.kind != FileSelected)
        return;
    if (requestLoad(sel.file))
        emit EditSound();
}

void KorvaneSoundView::on_newFolderButton_clicked()
{
    emit NewFolder(sel.newFolderParent());
}

void KorvaneSoundView::on_nameFolderButton_clicked()
{
    if (!sel.chosenFolder().isEmpty())
        emit NameFolder(sel.chosenFolder());
}

void KorvaneSoundView::on_deleteFolderButton_clicked()
{
    if (!sel.chosenFolder().isEmpty())
        emit DeleteFolder(sel.chosenFolder());
}

void KorvaneSoundView::on_cutButton_clicked()
{
    if (sel.kind != FileSelected)
        return;
    cutSource = sel.file;
    cutPending = true;
}

void KorvaneSoundView::on_pasteButton_clicked()
{
    if (!cutPending)
        return;
    const QString destination = sel.folder + QStringLiteral("/") + QFileInfo(cutSource).fileName();
    if (moveFile(cutSource, destination)) {
        cutPending = false;
        if (sel.file == cutSource)
            sel.file = destination;
    }
    buildModel();
    UpdateCombo();
}

void KorvaneSoundView::on_deselectButton_clicked()
{
    Deselect();
}

void KorvaneSoundView::on_comboBox_currentIndexChanged(int index)
{
    const QStringList entries = comboModel->stringList();
    if (index < 0 || index >= entries.size())
        return;
    if (requestLoad(sel.folder + QStringLiteral("/") + entries.at(index))) {
        comboShown = index;
        return;
    }
    const QSignalBlocker block(ui->comboBox);
    ui->comboBox->setCurrentIndex(comboShown);
}

void KorvaneSoundView::on_treeView_clicked(const QModelIndex &index)
{
    if (!model || !index.isValid())
        return;
    const QString path = model->filePath(index);
    qDebug() << "selection index: row= " << index.row() << " col = " << index.column();
    if (model->isDir(index)) {
        sel.selectFolder(path);
        qDebug().noquote() << "select path :" << path;
        UpdateCombo();
    } else {
        sel.selectFile(path);
        qDebug().noquote() << "select file :" << path;
    }
}

// Enter or a double-click on an instrument loads it, as Load does.
void KorvaneSoundView::on_treeView_activated(const QModelIndex &index)
{
    if (!model || !index.isValid() || model->isDir(index))
        return;
    sel.selectFile(model->filePath(index));
    on_loadButton_clicked();
}

void KorvaneSoundView::on_treeView_entered(const QModelIndex &)
{
    qDebug() << "entered";
    sel.folder = sel.root;
}

void KorvaneSoundView::on_treeView_viewportEntered()
{
    qDebug() << "viewport entered";
}

void KorvaneSoundView::on_closeButton_clicked()
{
    hide();
}
