// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "namedpipe.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

bool NamedPipe::supported()
{
    return true;
}

bool NamedPipe::make(const QString &path)
{
    return mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

NamedPipe::NamedPipe(const QString &path)
{
    if (make(path))
        m_reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
}

NamedPipe::~NamedPipe()
{
    close();
}

QByteArray NamedPipe::read(qsizetype size, int quietMs)
{
    QByteArray received;
    pollfd readable {m_reader, POLLIN, 0};
    while (received.size() < size && poll(&readable, 1, quietMs) == 1) {
        char buffer[4096];
        const ssize_t got = ::read(m_reader, buffer, sizeof buffer);
        if (got <= 0)
            break;
        received.append(buffer, got);
    }
    return received;
}

void NamedPipe::close()
{
    if (m_reader >= 0)
        ::close(m_reader);
    m_reader = -1;
}
