// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sessionlog.h"

#include "logfile.h"
#include "logrows.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <stop_token>
#include <utility>

namespace {

// What an existing log file holds at its two ends: the header it begins with, of this log or of
// an earlier Pelmar's (rows under another, an older Pelmar's or another program's, would be read
// by the wrong names), and whether a crash cut its last row short, which the next row must not run
// on from.
struct FileEnds
{
    QStringList header; // empty when the first line is no header that this log can append to
    bool endsInTheMiddleOfARow = false;
};

FileEnds endsOf(const QString &path, const QList<QStringList> &headers)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    FileEnds ends;
    qint64 longest = 0;
    for (const QStringList &header : headers)
        longest = std::max(longest, qint64(csvRow(header).toUtf8().size()));
    const QByteArray start = file.read(longest);
    for (const QStringList &header : headers) {
        if (start.startsWith(csvRow(header).toUtf8()))
            ends.header = header;
    }
    ends.endsInTheMiddleOfARow
        = file.seek(file.size() - 1) && file.read(1) != QByteArrayLiteral("\n");
    return ends;
}

} // namespace

SessionLog::~SessionLog()
{
    if (m_writer.joinable()) {
        m_writer.request_stop();
        m_writer.join();
    }
    if (m_handle < 0)
        return;
    // A file made for a session that logged nothing (the user quit the port chooser, say) would
    // only be in the way; one that was there before stays whatever happened.
    closeLogFile(m_handle, m_path, m_made);
}

Result<> SessionLog::open(const QString &path)
{
    const Result<OpenedLogFile> file = openLogFile(path);
    if (!file)
        return Result<>::failure(file.error());
    if (file->size == 0)
        m_beforeFirstRow = csvRow(sessionLogColumns()).toUtf8();
    m_columnCount = sessionLogColumns().size();
    if (file->regular && file->size > 0) {
        // A log that the previous Pelmar began keeps its own columns: its rows are written without
        // the columns added since, rather than wider than its header, which strict CSV readers
        // refuse, and rather than by rewriting a header at the front of a file that may be large.
        // Nothing is lost: the columns added name the pair of reads of a speed, which the read
        // rows before it give as well.
        const FileEnds ends
            = endsOf(path, {earlierSessionLogHeaders().constLast(), sessionLogColumns()});
        if (ends.header.isEmpty()) {
            closeLogFile(file->handle, path, false);
            return Result<>::failure(QStringLiteral(
                "its first line is not the header this Pelmar writes, so new rows would not fit "
                "its columns (name a new file, or move this one aside)"));
        }
        m_columnCount = ends.header.size();
        if (ends.endsInTheMiddleOfARow)
            m_beforeFirstRow = QByteArrayLiteral("\r\n");
    }
    m_made = file->made;
    m_path = path;
    m_handle = file->handle;
    m_writer = std::jthread([this](std::stop_token stop) { writeRows(stop); });
    return {};
}

void SessionLog::append(const QStringList &fields)
{
    if (!isOpen())
        return;
    const QByteArray row = csvRow(fields.first(std::min(fields.size(), m_columnCount))).toUtf8();
    const std::lock_guard lock(m_mutex);
    m_waiting += std::exchange(m_beforeFirstRow, {}) + row;
    m_mostRowsWaiting = std::max(m_mostRowsWaiting, ++m_rowsWaiting);
    m_changed.notify_all();
}

void SessionLog::waitForWritten() const
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_rowsWaiting == 0 && !m_writing; });
}

qsizetype SessionLog::mostRowsWaiting() const
{
    const std::lock_guard lock(m_mutex);
    return m_mostRowsWaiting;
}

// Runs until stopped, and writes what is queued before it stops. Rows that come in while a group
// is synced wait, and make the next group.
void SessionLog::writeRows(std::stop_token stop)
{
    prepareWriterThread();
    std::unique_lock lock(m_mutex);
    while (m_changed.wait(lock, stop, [this] { return m_rowsWaiting > 0; })) {
        const QByteArray group = std::exchange(m_waiting, {});
        m_rowsWaiting = 0;
        m_writing = true;
        lock.unlock();
        const Result<> written = writeAndSync(group);
        lock.lock();
        m_writing = false;
        if (!written) {
            m_failed = true;
            m_waiting.clear();
            m_rowsWaiting = 0;
            m_changed.notify_all();
            lock.unlock();
            emit writeFailed(written.error());
            return;
        }
        m_changed.notify_all();
    }
}

Result<> SessionLog::writeAndSync(const QByteArray &group)
{
    if (const Result<> written = writeLogFile(m_handle, group); !written)
        return written;
    // A file that cannot be synced (a terminal, a pipe) says so, which is no failure.
    const int synced = m_sync ? m_sync(m_handle) : syncLogFile(m_handle);
    if (synced != 0 && errno != EINVAL && errno != EROFS)
        return Result<>::failure(systemError());
    return {};
}
