// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef PORTCHECK_H
#define PORTCHECK_H

#include <QString>

#include <chrono>
#include <cstdio>

// pelmar --check-port PORT: what a user with a real adapter runs and sends with a problem
// report. Opens PORT as the scanner's, prints what the system and the adapter tell, every byte
// received for a while, and what becomes of the port when the adapter is unplugged and plugged in
// again. Each wait ends early at Enter on standard input.
struct PortCheckWaits
{
    std::chrono::milliseconds receiving {10'000};
    std::chrono::milliseconds unplug {60'000};
    std::chrono::milliseconds plugIn {60'000};
};

// Needs a QCoreApplication. Returns the exit status: 0 when every step worked (a step skipped at
// Enter counts as none), 1 when one failed.
int checkPort(const QString &port, std::FILE *out, const PortCheckWaits &waits = {});

#endif // PORTCHECK_H
