// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DESKTOP_H
#define DESKTOP_H

#include <QString>
#include <QStringList>

#include <optional>
#include <thread>

// What starting a desktop program takes beyond Qt on each system; each system's in
// desktop_<system>.cpp.

// The program's arguments as the user typed them, before Qt is started: on Windows from the
// system's wide-character command line, since argv holds only what the ANSI code page can.
QStringList commandLineArguments(int argc, char *argv[]);

// Why there is no display to show the window on, or nothing when there is one.
std::optional<QString> missingDisplay();

// Lets standard output and error reach the console the program was typed in, for what it prints
// and ends: a Windows program without a console of its own, as one started from the Start menu
// should be, must attach to its parent's. Never for the window, which would end with that
// console when the prompt is closed or Ctrl+C is typed there.
void useParentConsole();

// Gives the application its icon, for its windows and the desktop's lists of them: on Linux the
// icon installed for the desktop, found by the desktop file's name; on Windows the icon that the
// program's resources carry in all its sizes, which Qt takes by itself.
void useApplicationIcon();

// Work that needs nothing of Qt, done on a thread of its own while QApplication starts.
class StartUpWork
{
public:
    StartUpWork();
    ~StartUpWork();
    StartUpWork(const StartUpWork &) = delete;
    StartUpWork &operator=(const StartUpWork &) = delete;

private:
    std::thread m_thread;
};

#endif // DESKTOP_H
