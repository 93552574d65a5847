// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LOGFILE_H
#define LOGFILE_H

#include "result.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The calls the session log makes to the system for its file, each system's in
// logfile_<system>.cpp. The handle is a C file descriptor on every system.

struct OpenedLogFile
{
    int handle = -1;
    bool made = false; // made by this open, so Pelmar's own
    bool regular = false; // a plain file, not a terminal, a pipe or a device
    qint64 size = 0;
};

// Opens path to append to, made anew when it is missing. Fails with the reason in words.
Result<OpenedLogFile> openLogFile(const QString &path);
// Writes bytes whole, or fails with the reason.
Result<> writeLogFile(int handle, const QByteArray &bytes);
// Hands what was written to the disk: 0, or -1 with errno set; EINVAL or EROFS for a file that
// cannot be synced (a terminal, a pipe).
int syncLogFile(int handle);
// Closes the file; with removeIfEmpty, the file at path is removed when it is still the one
// opened and still empty.
void closeLogFile(int handle, const QString &path, bool removeIfEmpty);
// The reason errno gives, in words.
QString systemError();

// Readies the calling thread to write the log: a row may wait a moment, but the window's thread,
// which times the reads, may not; and a write to a pipe whose reader has gone fails, as one to a
// full disk does, rather than ending Pelmar.
void prepareWriterThread();

#endif // LOGFILE_H
