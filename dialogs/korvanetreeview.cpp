#include "korvanetreeview.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>

void KorvaneTreeView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex hit = indexAt(event->pos());
    const bool wasSelected = hit.isValid() && selectionModel() && selectionModel()->isSelected(hit);
    QTreeView::mousePressEvent(event);
    swallowClick = false;
    if (!hit.isValid() || wasSelected) {
        swallowClick = hit.isValid();
        clearSelection();
        setCurrentIndex(QModelIndex());
        emit RootSelected();
    }
}

void KorvaneTreeView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!swallowClick) {
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    // Otherwise the release would report a click on the item just deselected.
    swallowClick = false;
    const QSignalBlocker blocker(this);
    QTreeView::mouseReleaseEvent(event);
}

void KorvaneTreeView::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && currentIndex().isValid())
        event->accept(); // activated: the dialog's default button must not fire as well
    else if (currentIndex() != before && currentIndex().isValid())
        emit keyboardSelected(currentIndex());
}
