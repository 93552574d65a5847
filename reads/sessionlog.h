#ifndef SESSIONLOG_H
#define SESSIONLOG_H

#include "result.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stop_token>
#include <thread>

// The session's record in a CSV file, one row appended for every read and every speed. Rows are
// written and handed to the disk on a thread of their own: a sync can take many milliseconds on a
// slow medium, and the window's thread must stay free to time the next read. Each row reaches
// the disk before the next is written, so a crash or a power cut loses at most the row in hand.
class SessionLog : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~SessionLog() override;
    Q_DISABLE_COPY_MOVE(SessionLog)

    // Opens path to append to; the first row comes after the header when the file is new or
    // empty. Fails with the system's reason when the file cannot be opened. A file made here and
    // left empty is removed when the log ends.
    Result<> open(const QString &path);
    // Open, and no write has failed.
    bool isOpen() const { return m_handle >= 0 && !m_failed; }
    QString path() const { return m_path; }
    // Queues one row.
    void append(const QStringList &fields);
    // Returns once every row queued is written, or a write has failed.
    void waitForWritten();

signals:
    // A row could not be written; nothing more is written after it. Emitted from the log's own
    // thread.
    void writeFailed(const QString &reason);

private:
    void writeRows(std::stop_token stop);

    QString m_path;
    int m_handle = -1;
    bool m_made = false;
    QByteArray m_beforeFirstRow;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::deque<QByteArray> m_rows;
    bool m_writing = false;
    std::atomic<bool> m_failed = false;
    std::jthread m_writer;
};

#endif // SESSIONLOG_H
