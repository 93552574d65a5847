// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "systemstandins.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTest>

#include <string>

#include <windows.h>

// Windows has no serial settings that Pelmar asks of the driver, and no folders of ttys and
// their links: nothing is stood in for.
const int SerialDriver::OtherFlags = 0;
const int SerialDriver::LowLatency = 0;

SerialDriver::SerialDriver() : flags(OtherFlags) { }

SerialDriver::~SerialDriver() = default;

bool SerialDriver::present()
{
    return false;
}

bool portsAreDeviceFiles()
{
    return false;
}

bool byteFFMarksParityErrors()
{
    return true;
}

bool displayIsNamedByTheEnvironment()
{
    return false;
}

void useSysClassTty(const QString &) { }

void useDevSerial(const QString &) { }

// This program's console stands for the prompt's. A program can attach to the console of another
// only where that one holds a console: so it is asked, once this one has left its own.
std::optional<bool> joinsTheConsoleOfItsPrompt(const QString &program, const QStringList &arguments,
                                               const std::function<bool()> &ready)
{
    DWORD ids[1];
    if (GetConsoleProcessList(ids, 1) == 0)
        return std::nullopt;
    std::wstring commandLine = (u'"' + QDir::toNativeSeparators(program) + u'"').toStdWString();
    for (const QString &argument : arguments)
        commandLine += L" \"" + argument.toStdWString() + L'"';
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return std::nullopt;
    }
    const QDeadlineTimer deadline(10000);
    while (!ready() && !deadline.hasExpired())
        QTest::qWait(50);
    FreeConsole();
    const bool joined = AttachConsole(started.dwProcessId);
    FreeConsole();
    AttachConsole(ATTACH_PARENT_PROCESS);
    TerminateProcess(started.hProcess, 0);
    WaitForSingleObject(started.hProcess, 10000);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return joined;
}
