// Folder tree of the sound and map browsers. A press on empty space, or on the item that is
// already selected, clears the selection and reports that the root folder is meant. The arrow
// keys select as a click does, and Enter activates the current item (as a double-click does)
// without reaching the dialog's default button.
#pragma once

#include <QTreeView>

class KorvaneTreeView : public QTreeView
{
    Q_OBJECT
public:
    using QTreeView::QTreeView;

signals:
    void RootSelected();
    // The keyboard made index current.
    void keyboardSelected(const QModelIndex &index);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool swallowClick = false; // the press went back to the root: its release selects nothing
};
