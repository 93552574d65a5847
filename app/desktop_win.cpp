// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "desktop.h"

#include <cstdio>

#include <windows.h>

#include <shellapi.h>

QStringList commandLineArguments(int, char *[])
{
    int count = 0;
    wchar_t **const wide = CommandLineToArgvW(GetCommandLineW(), &count);
    QStringList arguments;
    for (int i = 0; i < count; ++i)
        arguments << QString::fromWCharArray(wide[i]);
    LocalFree(wide);
    return arguments;
}

std::optional<QString> missingDisplay()
{
    return std::nullopt;
}

namespace {

// Whether a standard stream already leads somewhere: a file or a pipe it was redirected to.
bool leadsSomewhere(DWORD stream)
{
    const HANDLE handle = GetStdHandle(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE
        && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

// Started from a Command Prompt as pelmar.exe, a program of the desktop has no console of its own
// and its output would go nowhere; one started from the Start menu has no console to attach to.
// Typed as pelmar, pelmar.com answers instead, and the prompt waits for it.
void useParentConsole()
{
    const bool outputLeads = leadsSomewhere(STD_OUTPUT_HANDLE);
    const bool errorLeads = leadsSomewhere(STD_ERROR_HANDLE);
    if ((outputLeads && errorLeads) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!outputLeads)
        std::freopen("CONOUT$", "w", stdout);
    if (!errorLeads)
        std::freopen("CONOUT$", "w", stderr);
}

void useApplicationIcon() { }

StartUpWork::StartUpWork() = default;

StartUpWork::~StartUpWork() = default;
