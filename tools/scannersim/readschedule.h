// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SCANNERSIM_READSCHEDULE_H
#define SCANNERSIM_READSCHEDULE_H

#include "options.h"

#include <optional>
#include <string>

// A 7E2 character is 11 bits on the line: start, 7 data, parity, 2 stop.
inline constexpr double CharacterSeconds = 11.0 / 9600.0;
inline constexpr double ModelScale = 87.0;

// Time between the two reads of a 1:87 model passing at fullSizeMph, with its two barcodes
// distanceInches apart.
double secondsBetweenReads(double fullSizeMph, double distanceInches);

// How long a read with this barcode takes on the line, the two trailing characters included.
double readSeconds(const Options &options, const std::string &barcode);

// One pass of a model as the simulator plays it: the truth a measured speed is held against.
struct PlannedPass
{
    std::string firstBarcode;
    std::string secondBarcode;
    double mph = 0; // the odd pass's own speed on an odd pass
    double distanceInches = 0;
    bool odd = false;
};

// The pass-th pass from 0 of --pass or of the models in turn, whether or not the options' count
// reaches it; nothing when they ask for no passes.
std::optional<PlannedPass> plannedPass(const Options &options, long pass);

// The simulator's log line that starts a pass.
std::string passLine(const Options &options, const PlannedPass &pass);

struct ScheduledRead
{
    double startSeconds; // from the start of the first read
    std::string barcode;
    bool startsPass;
    std::optional<PlannedPass> pass; // the pass the read belongs to, if any
};

// The index-th read from 0, or nothing once the options ask for no more.
std::optional<ScheduledRead> scheduledRead(const Options &options, long index);

// Why the reads that the options ask for would overlap on the line; empty when they fit.
std::string overlapProblem(const Options &options);

#endif // SCANNERSIM_READSCHEDULE_H
