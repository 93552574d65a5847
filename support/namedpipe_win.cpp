// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "namedpipe.h"

// Windows' named pipes live under \\.\pipe\, not among the files a log can be given as.
bool NamedPipe::supported()
{
    return false;
}

bool NamedPipe::make(const QString &)
{
    return false;
}

NamedPipe::NamedPipe(const QString &) { }

NamedPipe::~NamedPipe() = default;

QByteArray NamedPipe::read(qsizetype, int)
{
    return {};
}

void NamedPipe::close() { }
