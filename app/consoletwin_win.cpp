// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// pelmar.com, the console twin of pelmar.exe in the same folder: typed as "pelmar" in a Command
// Prompt or PowerShell, it is found first (PATHEXT puts .COM before .EXE). A console program is
// waited for and gives the prompt its exit status, which a program of the desktop does not. It
// answers what prints and ends itself, and starts pelmar.exe for the window, which must hold no
// console: closing the prompt or Ctrl+C there would end it, and with it the log's last rows.

#include "commandline.h"
#include "desktop.h"
#include "standardstreams.h"

#include <QCoreApplication>
#include <QString>

#include <string>

#include <windows.h>

namespace {

// The command line after the program's own name, as typed: CommandLineToArgvW's rules for the
// first argument, which ends at the closing quote, or else at the first blank.
QString argumentsTyped()
{
    const QString line = QString::fromWCharArray(GetCommandLineW());
    qsizetype end = 0;
    if (line.startsWith(u'"'))
        end = line.indexOf(u'"', 1) + 1;
    else
        while (end < line.size() && line.at(end) != u' ' && line.at(end) != u'\t')
            ++end;
    return end > 0 ? line.mid(end) : QString();
}

QString thisProgram()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size())
            return QString::fromWCharArray(path.data(), length);
        path.resize(path.size() * 2);
    }
}

// A standard stream that leads to a file or a pipe goes on to the window's lines on stderr; a
// console does not.
HANDLE passedOn(DWORD stream)
{
    const HANDLE handle = GetStdHandle(stream);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode))
        return nullptr;
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

int startWindow()
{
    QString program = thisProgram();
    program.replace(program.size() - 4, 4, QStringLiteral(".exe"));
    std::wstring commandLine = (u'"' + program + u'"' + argumentsTyped()).toStdWString();
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = passedOn(STD_OUTPUT_HANDLE);
    startup.hStdError = passedOn(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started {};
    if (!CreateProcessW(reinterpret_cast<const wchar_t *>(program.utf16()), commandLine.data(),
                        nullptr, nullptr, TRUE, DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP,
                        nullptr, nullptr, &startup, &started)) {
        writeText(stderr,
                  QStringLiteral("pelmar: %1 cannot be started (Windows error %2).\n")
                      .arg(program)
                      .arg(GetLastError()));
        return 1;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("pelmar"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELMAR_VERSION));
    const CommandLine commandLine(commandLineArguments(argc, argv));
    if (commandLine.action() == CommandLine::OpenWindow)
        return startWindow();
    const QCoreApplication application(argc, argv);
    return commandLine.runWithoutWindow();
}
