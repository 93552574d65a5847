// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "systemstandins.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTest>

#include <algorithm>
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

std::optional<bool> joinsTheConsoleOfItsPrompt(const QString &program, const QStringList &arguments,
                                               const std::function<bool()> &ready)
{
    DWORD ids[64];
    const bool made = GetConsoleProcessList(ids, 64) == 0;
    if (made && !AllocConsole())
        return std::nullopt;
    std::wstring commandLine = (u'"' + QDir::toNativeSeparators(program) + u'"').toStdWString();
    for (const QString &argument : arguments)
        commandLine += L" \"" + argument.toStdWString() + L'"';
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started {};
    std::optional<bool> joined;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &started)) {
        const QDeadlineTimer deadline(10000);
        while (!ready() && !deadline.hasExpired())
            QTest::qWait(50);
        const DWORD count = GetConsoleProcessList(ids, 64);
        joined = std::find(ids, ids + std::min<DWORD>(count, 64), started.dwProcessId)
            != ids + std::min<DWORD>(count, 64);
        TerminateProcess(started.hProcess, 0);
        WaitForSingleObject(started.hProcess, 10000);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
    if (made)
        FreeConsole();
    return joined;
}
