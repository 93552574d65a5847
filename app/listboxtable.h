// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LISTBOXTABLE_H
#define LISTBOXTABLE_H

#include <QTableView>

class ReadList;

// A one-column table that looks and acts like a list box: lines without headers or grid, one
// selectable, none editable, Home and End going to the first and the last line. It stands in for
// QListView, which lays out every row again after each insert: at a million lines that takes
// longer than the gap between two reads, where a table of fixed-height rows costs about the same
// at any length. Ctrl+C copies the selected line, and its context menu offers Copy and Copy All.
class ListBoxTable : public QTableView
{
    Q_OBJECT

public:
    explicit ListBoxTable(ReadList *reads, QWidget *parent = nullptr);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void copySelected() const;
    void copyAll() const;

    ReadList *m_reads;
};

#endif // LISTBOXTABLE_H
