// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef CSVRECORDS_H
#define CSVRECORDS_H

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <vector>

// The records of an RFC 4180 file read a piece at a time, so that a log of any size is read in the
// same memory. A record ends at LF or CR LF outside quotes; a quoted field may hold both.
class CsvRecords
{
public:
    enum class Outcome {
        Record, // fields() holds its cells
        End,
        CutShort, // the file ends inside a record: a crash cut it short
        TooLong, // longer than any row a log holds, so no row after it can be trusted
        ReadFailed, // the file could not be read on: errorString() says why
    };

    // The longest record taken: a log's longest row, a Clear Buffer that emptied a full receive
    // buffer, is a few kB.
    static constexpr qsizetype MaxRecordBytes = 1 << 20;

    explicit CsvRecords(QFile &file) : m_file(file) { }

    Outcome next();
    // The cells of the record, unquoted; valid until the next call of next().
    const std::vector<QByteArrayView> &fields() const { return m_fields; }
    // The bytes of the record as they stand in the file, its line end left out.
    QByteArrayView raw() const { return m_raw; }
    // The line of the file the record begins on, from 1.
    qint64 line() const { return m_line; }
    QString errorString() const { return m_file.errorString(); }

private:
    bool fill();
    void splitFields(qsizetype end);

    QFile &m_file;
    QByteArray m_buffer;
    qsizetype m_start = 0; // where the next record begins in m_buffer
    bool m_atEnd = false;
    qint64 m_line = 0;
    qint64 m_nextLine = 1;
    QByteArray m_unquoted;
    std::vector<QByteArrayView> m_fields;
    QByteArrayView m_raw;
};

#endif // CSVRECORDS_H
