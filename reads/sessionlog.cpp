#include "sessionlog.h"

#include "logrows.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <signal.h>
#include <stop_token>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int LogThreadNiceness = 10;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

Result<> writeAll(int handle, const QByteArray &rows)
{
    for (qsizetype done = 0; done < rows.size();) {
        const ssize_t written
            = ::write(handle, rows.constData() + done, static_cast<size_t>(rows.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            return Result<>::failure(written < 0 ? systemError()
                                                 : QStringLiteral("nothing could be written"));
        }
        done += written;
    }
    return {};
}

// Opens path to append to, made anew when it is missing; a FIFO without a reader must not hold
// the start up for ever, hence O_NONBLOCK. Made with O_EXCL, so that a file is known to be
// Pelmar's own only when it made it.
int openToAppend(const QByteArray &path, bool *made)
{
    constexpr int Flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK;
    const int handle = ::open(path.constData(), Flags | O_CREAT | O_EXCL, 0666);
    *made = handle >= 0;
    if (handle < 0 && errno == EEXIST)
        return ::open(path.constData(), Flags);
    return handle;
}

// Whether the file open on handle is empty and path still leads to it.
bool isEmptyAndStillThere(int handle, const QByteArray &path)
{
    struct stat opened
    {
    };
    struct stat named
    {
    };
    return fstat(handle, &opened) == 0 && opened.st_size == 0 && stat(path.constData(), &named) == 0
        && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// What an existing log file holds at its two ends: whether it begins with this log's header
// (rows under another, an older Pelmar's or another program's, would be read by the wrong names),
// and whether a crash cut its last row short, which the next row must not run on from.
struct FileEnds
{
    bool beginsWithHeader = false;
    bool endsInTheMiddleOfARow = false;
};

FileEnds endsOf(const QString &path, const QByteArray &header)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    FileEnds ends;
    ends.beginsWithHeader = file.read(header.size()) == header;
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
    const QByteArray path = QFile::encodeName(m_path);
    if (m_made && isEmptyAndStillThere(m_handle, path))
        ::unlink(path.constData());
    ::close(m_handle);
}

Result<> SessionLog::open(const QString &path)
{
    const int handle = openToAppend(QFile::encodeName(path), &m_made);
    if (handle < 0)
        return Result<>::failure(systemError());
    struct stat file
    {
    };
    fstat(handle, &file);
    const QByteArray header = csvRow(sessionLogColumns()).toUtf8();
    if (file.st_size == 0)
        m_beforeFirstRow = header;
    if (S_ISREG(file.st_mode) && file.st_size > 0) {
        const FileEnds ends = endsOf(path, header);
        if (!ends.beginsWithHeader) {
            ::close(handle);
            return Result<>::failure(QStringLiteral(
                "its first line is not the header this Pelmar writes, so new rows would not fit "
                "its columns (name a new file, or move this one aside)"));
        }
        if (ends.endsInTheMiddleOfARow)
            m_beforeFirstRow = QByteArrayLiteral("\r\n");
    }
    fcntl(handle, F_SETFL, fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    m_path = path;
    m_handle = handle;
    m_writer = std::jthread([this](std::stop_token stop) { writeRows(stop); });
    return {};
}

void SessionLog::append(const QStringList &fields)
{
    if (!isOpen())
        return;
    const QByteArray row = csvRow(fields).toUtf8();
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
    // A row may wait a moment; the window's thread, which times the reads, may not.
    setpriority(PRIO_PROCESS, gettid(), LogThreadNiceness);
    // A log that is a pipe whose reader has gone must fail its write, as a full disk does, not
    // end Pelmar with SIGPIPE: held back on this thread, the signal leaves write() its EPIPE.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
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
    if (const Result<> written = writeAll(m_handle, group); !written)
        return written;
    // A device that cannot be synced (a terminal, a pipe) says so, which is no failure.
    const int synced = m_sync ? m_sync(m_handle) : fdatasync(m_handle);
    if (synced != 0 && errno != EINVAL && errno != EROFS)
        return Result<>::failure(systemError());
    return {};
}
