#ifndef LISTBOXTABLE_H
#define LISTBOXTABLE_H

#include <QTableView>

// A one-column table that looks and acts like a list box: lines without headers or grid, one
// selectable, none editable, Home and End going to the first and the last line. It stands in for
// QListView, which lays out every row again after each insert: at a million lines that takes
// longer than the gap between two reads, where a table of fixed-height rows costs about the same
// at any length.
class ListBoxTable : public QTableView
{
    Q_OBJECT

public:
    explicit ListBoxTable(QAbstractItemModel *model, QWidget *parent = nullptr);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
};

#endif // LISTBOXTABLE_H
