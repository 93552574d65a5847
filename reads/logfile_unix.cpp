// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "logfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int LogThreadNiceness = 10;

} // namespace

// Made with O_EXCL, so that a file is known to be Pelmar's own only when it made it; a FIFO
// without a reader must not hold the start up for ever, hence O_NONBLOCK while opening.
Result<OpenedLogFile> openLogFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    constexpr int Flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK;
    OpenedLogFile file;
    file.handle = ::open(name.constData(), Flags | O_CREAT | O_EXCL, 0666);
    file.made = file.handle >= 0;
    if (file.handle < 0 && errno == EEXIST)
        file.handle = ::open(name.constData(), Flags);
    if (file.handle < 0)
        return Result<OpenedLogFile>::failure(systemError());
    struct stat opened
    {
    };
    fstat(file.handle, &opened);
    file.regular = S_ISREG(opened.st_mode);
    file.size = opened.st_size;
    fcntl(file.handle, F_SETFL, fcntl(file.handle, F_GETFL) & ~O_NONBLOCK);
    return Result<OpenedLogFile>(file);
}

Result<> writeLogFile(int handle, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written
            = ::write(handle, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
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

int syncLogFile(int handle)
{
    return fdatasync(handle);
}

void closeLogFile(int handle, const QString &path, bool removeIfEmpty)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat opened
    {
    };
    struct stat named
    {
    };
    if (removeIfEmpty && fstat(handle, &opened) == 0 && opened.st_size == 0
        && stat(name.constData(), &named) == 0 && named.st_dev == opened.st_dev
        && named.st_ino == opened.st_ino) {
        ::unlink(name.constData());
    }
    ::close(handle);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

void prepareWriterThread()
{
    setpriority(PRIO_PROCESS, gettid(), LogThreadNiceness);
    // Held back on this thread, SIGPIPE leaves write() its EPIPE.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
}
