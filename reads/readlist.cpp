#include "readlist.h"

void ReadList::insertTop(const QString &line)
{
    beginInsertRows(QModelIndex(), 0, 0);
    m_text += line.toUtf8();
    m_ends.push_back(m_text.size());
    endInsertRows();
}

void ReadList::clear()
{
    beginResetModel();
    m_text = QByteArray();
    m_ends = {};
    endResetModel();
}

QString ReadList::line(int row) const
{
    const std::size_t index = m_ends.size() - 1 - std::size_t(row);
    const qsizetype start = index == 0 ? 0 : m_ends[index - 1];
    return QString::fromUtf8(m_text.constData() + start, m_ends[index] - start);
}

int ReadList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_ends.size());
}

QVariant ReadList::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return line(index.row());
}
