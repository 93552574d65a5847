// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef STARTUP_H
#define STARTUP_H

#include <QString>

class CommandLine;
class Form1;

// One line on stderr, after "pelmar: ", for a user at a terminal and for scripts.
void printLine(const QString &text);

// Loads the window as the command line and PELMAR_PORT ask: the scale, the session log, and the
// scanner's port, named, remembered, /dev/ttyS0 alone or chosen in the chooser; from then on
// what becomes of the port is told on stderr. Returns false when Pelmar is to end with exit
// status 1: the log or a named port could not be opened, which is told on stderr and in a box,
// or the user quit the chooser.
bool startSession(Form1 &form, const CommandLine &commandLine);

#endif // STARTUP_H
