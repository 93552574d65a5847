#include "listboxtable.h"

#include <QHeaderView>

ListBoxTable::ListBoxTable(QAbstractItemModel *model, QWidget *parent) : QTableView(parent)
{
    // The headers are hidden before the model comes: a shown header measures its sections in a
    // bold font, and loading that font for a header nobody sees slows start-up.
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    setModel(model);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Tab leaves the list for the next control, as it does a list box.
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

// A table keeps Home and End within the row; a list box goes to its first and last line.
QModelIndex ListBoxTable::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (action == MoveHome || action == MoveEnd)
        modifiers |= Qt::ControlModifier;
    return QTableView::moveCursor(action, modifiers);
}
