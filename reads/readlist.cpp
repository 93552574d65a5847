// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "readlist.h"

#include <QString>

#include <cstddef>

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
    return QString::fromUtf8(lineBytes(m_ends.size() - 1 - static_cast<std::size_t>(row)));
}

QString ReadList::text() const
{
    QByteArray text;
    text.reserve(m_text.size() + static_cast<qsizetype>(m_ends.size()));
    for (std::size_t index = m_ends.size(); index-- > 0;) {
        text.append(lineBytes(index));
        if (index > 0)
            text.append('\n');
    }
    return QString::fromUtf8(text);
}

QByteArrayView ReadList::lineBytes(std::size_t index) const
{
    const qsizetype start = index == 0 ? 0 : m_ends[index - 1];
    return QByteArrayView(m_text).sliced(start, m_ends[index] - start);
}

int ReadList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_ends.size());
}

QVariant ReadList::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return line(index.row());
}
