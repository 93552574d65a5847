// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "logfile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <limits>
#include <share.h>
#include <sys/stat.h>

#include <windows.h>

// Others may read the file while Pelmar writes it, but not write to it: a spreadsheet that opens
// it then offers a copy to read. One that has it open already keeps Pelmar out, and says so.
Result<OpenedLogFile> openLogFile(const QString &path)
{
    const std::wstring name = path.toStdWString();
    constexpr int Flags = _O_WRONLY | _O_APPEND | _O_BINARY | _O_NOINHERIT;
    OpenedLogFile file;
    errno_t error = _wsopen_s(&file.handle, name.c_str(), Flags | _O_CREAT | _O_EXCL, _SH_DENYWR,
                              _S_IREAD | _S_IWRITE);
    file.made = error == 0;
    if (error == EEXIST)
        error = _wsopen_s(&file.handle, name.c_str(), Flags, _SH_DENYWR, 0);
    if (error != 0) {
        if (_doserrno == ERROR_SHARING_VIOLATION || _doserrno == ERROR_LOCK_VIOLATION) {
            return Result<OpenedLogFile>::failure(QStringLiteral(
                "another program has it open and keeps others from writing to it (a spreadsheet, "
                "say): close it there, or name another file"));
        }
        const QFileInfo named(path);
        // Windows refuses a folder as it refuses a file of another user's.
        errno = named.isDir() ? EISDIR : error;
        if (!named.isDir() && named.absoluteFilePath().size() >= MAX_PATH) {
            return Result<OpenedLogFile>::failure(
                QStringLiteral("%1 (its path is %2 characters long, and Windows takes longer ones "
                               "only where long paths are turned on: name a shorter one)")
                    .arg(systemError())
                    .arg(named.absoluteFilePath().size()));
        }
        return Result<OpenedLogFile>::failure(systemError());
    }
    struct _stat64 opened
    {
    };
    _fstat64(file.handle, &opened);
    file.regular = (opened.st_mode & _S_IFMT) == _S_IFREG;
    file.size = opened.st_size;
    return Result<OpenedLogFile>(file);
}

Result<> writeLogFile(int handle, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const unsigned int piece = static_cast<unsigned int>(
            qMin<qsizetype>(bytes.size() - done, std::numeric_limits<int>::max()));
        const int written = _write(handle, bytes.constData() + done, piece);
        if (written <= 0) {
            return Result<>::failure(written < 0 ? systemError()
                                                 : QStringLiteral("nothing could be written"));
        }
        done += written;
    }
    return {};
}

// _commit is FlushFileBuffers on the file's handle; a console or a pipe has nothing to flush.
int syncLogFile(int handle)
{
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(handle))) != FILE_TYPE_DISK) {
        errno = EINVAL;
        return -1;
    }
    return _commit(handle);
}

// A file open here cannot be removed until it is closed.
void closeLogFile(int handle, const QString &path, bool removeIfEmpty)
{
    struct _stat64 opened
    {
    };
    const bool empty = _fstat64(handle, &opened) == 0 && opened.st_size == 0;
    _close(handle);
    const QFileInfo named(path);
    if (removeIfEmpty && empty && named.exists() && named.size() == 0)
        _wunlink(path.toStdWString().c_str());
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Windows has no SIGPIPE: a write to a pipe without a reader fails by itself.
void prepareWriterThread()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}
