// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SCANNERSIM_OPTIONS_H
#define SCANNERSIM_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

// A model of a session: its two barcodes in the order they pass the scanner, its full-size speed,
// and the distance between its barcodes when it has one of its own.
struct SimulatedModel
{
    std::string firstBarcode;
    std::string secondBarcode;
    double mph = 0;
    std::optional<double> distanceInches;
};

// One pass in every: every every-th pass of each model runs at factor times its speed.
struct OddPass
{
    long every = 0;
    double factor = 1;
};

struct Options
{
    std::optional<double> passMph; // full-size speed of a simulated pass
    double distanceInches = 12.0;
    std::optional<double> everySeconds;
    std::optional<long> count;
    double delaySeconds = 1.0;
    std::vector<std::string> barcodes {"012345678905", "036000291452"};
    std::string suffix {"\r\n"};
    std::string linkPath; // a symbolic link kept to the pseudo-terminal, or empty
    std::vector<SimulatedModel> models; // they pass in turn, in place of --pass
    std::optional<OddPass> oddPass;
};

struct ParsedOptions
{
    Options options;
    bool showHelp = false;
    std::string error; // one line naming the option; empty when the command line is good
};

ParsedOptions parseOptions(const std::vector<std::string> &arguments);
std::string usageText();

#endif // SCANNERSIM_OPTIONS_H
