#include "korvanetreeview.h"

#include <QItemSelectionModel>
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
