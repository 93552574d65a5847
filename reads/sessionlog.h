// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SESSIONLOG_H
#define SESSIONLOG_H

#include "result.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

// The session's record in a CSV file, one row appended for every read, speed and action. Rows
// are written and handed to the disk on a thread of their own: a sync can take 100 ms on an SD
// card, and the window's thread must stay free to time the next read. The thread writes every
// row that waits at once and then syncs once, so a slow disk delays rows but cannot let them pile
// up. Rows once written are the system's: a killed Pelmar loses at most one group, the one being
// written or the one waiting for a sync; a power cut may lose the group being synced as well.
class SessionLog : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~SessionLog() override;
    Q_DISABLE_COPY_MOVE(SessionLog)

    // What hands the rows written to the disk (fdatasync on Linux, FlushFileBuffers on Windows)
    // unless a test puts in a slow disk of its own: 0, or -1 with errno set. It runs on the log's
    // thread, and is to be set before open.
    void setSync(std::function<int(int handle)> sync) { m_sync = std::move(sync); }

    // Opens path to append to; the first row comes after the header when the file is new or
    // empty. A file begun by the previous Pelmar is appended to in its own columns. Fails with the
    // reason when the file cannot be opened, or when it begins with another header, whose columns
    // the rows would not fit. A file made here and left empty is removed when the log ends.
    Result<> open(const QString &path);
    // Open, and no write has failed.
    bool isOpen() const { return m_handle >= 0 && !m_failed; }
    QString path() const { return m_path; }
    // Queues one row.
    void append(const QStringList &fields);
    // Returns once every row queued is written and synced, or a write has failed.
    void waitForWritten() const;
    // The most rows that have waited at once for the log's thread to take them up.
    qsizetype mostRowsWaiting() const;

signals:
    // A row could not be written; nothing more is written after it. Emitted from the log's own
    // thread.
    void writeFailed(const QString &reason);

private:
    void writeRows(std::stop_token stop);
    // Writes group whole, then hands it to the disk.
    Result<> writeAndSync(const QByteArray &group);

    QString m_path;
    int m_handle = -1;
    bool m_made = false;
    QByteArray m_beforeFirstRow;
    qsizetype m_columnCount = 0; // of the file's header: a row's later fields are left out
    mutable std::mutex m_mutex;
    mutable std::condition_variable_any m_changed;
    QByteArray m_waiting; // rows appended, not yet taken up to be written
    qsizetype m_rowsWaiting = 0;
    qsizetype m_mostRowsWaiting = 0;
    bool m_writing = false;
    std::function<int(int handle)> m_sync; // the system's when empty
    std::atomic<bool> m_failed = false;
    std::jthread m_writer;
};

#endif // SESSIONLOG_H
