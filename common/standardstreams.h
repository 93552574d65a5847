// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef STANDARDSTREAMS_H
#define STANDARDSTREAMS_H

#include <QString>

#include <cstdio>

// Writes text to stdout or stderr so that every character arrives: on Linux in the locale's
// encoding; on Windows as Unicode to a console, whose code page holds few of them, and as UTF-8
// to a file or pipe. The text is out of the program on return. Each system's in
// standardstreams_<system>.cpp.
void writeText(std::FILE *stream, const QString &text);

#endif // STANDARDSTREAMS_H
