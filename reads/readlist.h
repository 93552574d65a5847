// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef READLIST_H
#define READLIST_H

#include <QAbstractListModel>
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <vector>

// The lines of the read list, newest on top. Lines are only ever added at the top or all removed,
// so they are kept oldest first in one block of UTF-8 text: adding one is a constant-time append
// and a million short lines take a few tens of megabytes.
class ReadList : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void insertTop(const QString &line);
    void clear();
    QString line(int row) const;
    // Every line, top to bottom, one a line.
    QString text() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    // The i-th oldest line, as it is kept.
    QByteArrayView lineBytes(std::size_t index) const;

    QByteArray m_text;
    std::vector<qsizetype> m_ends; // m_ends[i] is where the i-th oldest line ends in m_text
};

#endif // READLIST_H
