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

// A stream that already leads somewhere (a file or pipe it was redirected to) is left alone.
void useParentConsole()
{
    const bool outputLeads = GetStdHandle(STD_OUTPUT_HANDLE) != nullptr;
    const bool errorLeads = GetStdHandle(STD_ERROR_HANDLE) != nullptr;
    if ((outputLeads && errorLeads) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!outputLeads)
        std::freopen("CONOUT$", "w", stdout);
    if (!errorLeads)
        std::freopen("CONOUT$", "w", stderr);
}

StartUpWork::StartUpWork() = default;

StartUpWork::~StartUpWork() = default;
