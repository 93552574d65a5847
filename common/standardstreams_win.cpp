// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "standardstreams.h"

#include <io.h>
#include <windows.h>

void writeText(std::FILE *stream, const QString &text)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        // What the C library holds back would otherwise come after this.
        std::fflush(stream);
        DWORD written = 0;
        WriteConsoleW(handle, text.utf16(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // A C library may buffer even stderr in a file (Wine's does): a line must be out before a
    // message box that may be the program's last.
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}
