// Folder tree of the sound browser. A press on empty space, or on the item that is already
// selected, clears the selection and reports that the root folder is meant.
#pragma once

#include <QTreeView>

class KorvaneTreeView : public QTreeView
{
    Q_OBJECT
public:
    using QTreeView::QTreeView;

signals:
    void RootSelected();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool swallowClick = false; // the press went back to the root: its release selects nothing
};
