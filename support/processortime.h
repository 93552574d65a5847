// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef PROCESSORTIME_H
#define PROCESSORTIME_H

// The processor time this program has taken so far, in milliseconds, all its threads together.
// std::clock gives it on Linux but the wall clock's time on Windows: each system's side is in
// processortime_<system>.cpp.
double processorMilliseconds();

#endif // PROCESSORTIME_H
