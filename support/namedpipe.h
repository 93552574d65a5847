// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef NAMEDPIPE_H
#define NAMEDPIPE_H

#include <QByteArray>
#include <QString>

// A named pipe in the file system (a FIFO), which the code under test opens by its path as it
// would a file, and whose reading end the test holds. Windows has no such pipe among its files:
// there supported() is false and the rows that need one are skipped. Each system's side is in
// namedpipe_<system>.cpp.
class NamedPipe
{
public:
    static bool supported();

    // Makes the pipe at path; false when it cannot be made.
    static bool make(const QString &path);

    // Makes the pipe at path and opens its reading end without waiting for a writer.
    explicit NamedPipe(const QString &path);
    ~NamedPipe();
    NamedPipe(const NamedPipe &) = delete;
    NamedPipe &operator=(const NamedPipe &) = delete;

    bool isOpen() const { return m_reader >= 0; }
    // What comes, until size bytes have or nothing comes for quietMs.
    QByteArray read(qsizetype size, int quietMs);
    // The reader goes.
    void close();

private:
    int m_reader = -1;
};

#endif // NAMEDPIPE_H
