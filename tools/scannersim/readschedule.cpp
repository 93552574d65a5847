// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "readschedule.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <vector>

namespace {

constexpr double InchesPerFoot = 12.0;
constexpr double FeetPerMile = 5280.0;
constexpr double SecondsPerHour = 3600.0;

std::string formatted(const char *format, double first, double second)
{
    char text[200];
    std::snprintf(text, sizeof text, format, first, second);
    return text;
}

// Every model as it passes at its own speed and, for the odd pass, at the odd factor of it.
std::vector<PlannedPass> everyKindOfPass(const Options &options)
{
    std::vector<PlannedPass> passes;
    const std::vector<double> factors
        = options.oddPass ? std::vector<double> {1.0, options.oddPass->factor} : std::vector {1.0};
    const long models = options.models.empty() ? 1 : static_cast<long>(options.models.size());
    for (long model = 0; model < models; ++model) {
        // Without --pass or --model there are single reads and no pass to plan.
        const std::optional<PlannedPass> pass = plannedPass(options, model);
        if (!pass)
            break;
        for (const double factor : factors)
            passes.push_back({pass->firstBarcode, pass->secondBarcode, pass->mph * factor,
                              pass->distanceInches, factor != 1.0});
    }
    return passes;
}

} // namespace

double secondsBetweenReads(double fullSizeMph, double distanceInches)
{
    const double modelFeetPerSecond = fullSizeMph / ModelScale * FeetPerMile / SecondsPerHour;
    return distanceInches / InchesPerFoot / modelFeetPerSecond;
}

double readSeconds(const Options &options, const std::string &barcode)
{
    return static_cast<double>(barcode.size() + options.suffix.size()) * CharacterSeconds;
}

std::optional<PlannedPass> plannedPass(const Options &options, long pass)
{
    PlannedPass planned;
    long ofItsModel = pass; // how many passes of the same model came before
    if (!options.models.empty()) {
        const long models = static_cast<long>(options.models.size());
        const SimulatedModel &model = options.models[static_cast<size_t>(pass % models)];
        planned = {model.firstBarcode, model.secondBarcode, model.mph,
                   model.distanceInches.value_or(options.distanceInches), false};
        ofItsModel = pass / models;
    } else if (options.passMph) {
        const auto &barcodes = options.barcodes;
        planned = {barcodes[static_cast<size_t>(2 * pass) % barcodes.size()],
                   barcodes[static_cast<size_t>(2 * pass + 1) % barcodes.size()], *options.passMph,
                   options.distanceInches, false};
    } else {
        return std::nullopt;
    }
    if (options.oddPass && (ofItsModel + 1) % options.oddPass->every == 0) {
        planned.mph *= options.oddPass->factor;
        planned.odd = true;
    }
    return planned;
}

std::string passLine(const Options &options, const PlannedPass &pass)
{
    std::string line = "pass";
    if (!options.models.empty())
        line += " of " + pass.firstBarcode + "," + pass.secondBarcode;
    char text[200];
    std::snprintf(text, sizeof text, " at %g mph", pass.mph);
    line += text;
    if (pass.odd) {
        std::snprintf(text, sizeof text, " (the odd pass, %g of %g mph)", options.oddPass->factor,
                      pass.mph / options.oddPass->factor);
        line += text;
    }
    std::snprintf(text, sizeof text, ": reads %.6f s apart",
                  secondsBetweenReads(pass.mph, pass.distanceInches));
    return line + text;
}

std::optional<ScheduledRead> scheduledRead(const Options &options, long index)
{
    const long limit = options.count.value_or(options.everySeconds ? LONG_MAX : 1);
    const std::optional<PlannedPass> pass = plannedPass(options, index / 2);
    if (!pass) {
        if (!options.everySeconds || index >= limit)
            return std::nullopt;
        const auto &barcodes = options.barcodes;
        const std::string &barcode = barcodes[static_cast<size_t>(index) % barcodes.size()];
        return ScheduledRead {static_cast<double>(index) * *options.everySeconds, barcode, false,
                              std::nullopt};
    }
    if (index / 2 >= limit)
        return std::nullopt;
    const double passStart = static_cast<double>(index / 2) * options.everySeconds.value_or(0.0);
    if (index % 2 == 0)
        return ScheduledRead {passStart, pass->firstBarcode, true, pass};
    // Pelmar stamps a read when its last character arrives, so the gap runs from end to end;
    // that keeps the measured speed right when the two barcodes differ in length.
    const double secondEnd = passStart + readSeconds(options, pass->firstBarcode)
        + secondsBetweenReads(pass->mph, pass->distanceInches);
    return ScheduledRead {secondEnd - readSeconds(options, pass->secondBarcode),
                          pass->secondBarcode, false, pass};
}

std::string overlapProblem(const Options &options)
{
    double longestRead = 0.0;
    for (const std::string &barcode : options.barcodes)
        longestRead = std::max(longestRead, readSeconds(options, barcode));
    for (const SimulatedModel &model : options.models) {
        longestRead = std::max({longestRead, readSeconds(options, model.firstBarcode),
                                readSeconds(options, model.secondBarcode)});
    }
    double onePass = longestRead;
    for (const PlannedPass &pass : everyKindOfPass(options)) {
        const double gap = secondsBetweenReads(pass.mph, pass.distanceInches);
        const char *const option = options.models.empty() ? "--pass" : "--model";
        if (gap < longestRead)
            return formatted((std::string(option)
                              + ": at %g mph the two reads would overlap on the line "
                                "(%.6f s apart)")
                                 .c_str(),
                             pass.mph, gap);
        onePass = std::max(onePass, longestRead + gap);
    }
    const bool passes = options.passMph || !options.models.empty();
    if (options.everySeconds && *options.everySeconds < onePass)
        return formatted(passes ? "--every: %g s is shorter than one pass (%.6f s)"
                                : "--every: %g s is shorter than one read (%.6f s)",
                         *options.everySeconds, onePass);
    return {};
}
