#include "korvanetreeview.h"

#include <QItemSelectionModel>
#include <QMouseEvent>

void KorvaneTreeView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex hit = indexAt(event->pos());
    const bool wasSelected = hit.isValid() && selectionModel() && selectionModel()->isSelected(hit);
    QTreeView::mousePressEvent(event);
    if (!hit.isValid() || wasSelected) {
        clearSelection();
        setCurrentIndex(QModelIndex());
        emit RootSelected();
    }
}
