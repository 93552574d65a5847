// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "listboxtable.h"

#include "readlist.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QString>

ListBoxTable::ListBoxTable(ReadList *reads, QWidget *parent) : QTableView(parent), m_reads(reads)
{
    // The headers are hidden before the model comes: a shown header measures its sections in a
    // bold font, and loading that font for a header nobody sees slows start-up.
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    setModel(reads);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Tab leaves the list for the next control, as it does a list box.
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto *copy = new QAction(QStringLiteral("Copy"), this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &ListBoxTable::copySelected);
    auto *copyAll = new QAction(QStringLiteral("Copy All"), this);
    connect(copyAll, &QAction::triggered, this, &ListBoxTable::copyAll);
    addActions({copy, copyAll});
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ListBoxTable::copySelected() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (!selected.isEmpty())
        QGuiApplication::clipboard()->setText(m_reads->line(selected.constFirst().row()));
}

void ListBoxTable::copyAll() const
{
    QGuiApplication::clipboard()->setText(m_reads->text());
}

// A table keeps Home and End within the row; a list box goes to its first and last line.
QModelIndex ListBoxTable::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (action == MoveHome || action == MoveEnd)
        modifiers |= Qt::ControlModifier;
    return QTableView::moveCursor(action, modifiers);
}
