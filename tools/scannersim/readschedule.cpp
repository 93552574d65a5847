#include "readschedule.h"

#include <algorithm>
#include <climits>
#include <cstdio>

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

std::optional<ScheduledRead> scheduledRead(const Options &options, long index)
{
    const long limit = options.count.value_or(options.everySeconds ? LONG_MAX : 1);
    const auto &barcodes = options.barcodes;
    const std::string &barcode = barcodes[static_cast<size_t>(index) % barcodes.size()];
    if (!options.passMph) {
        if (!options.everySeconds || index >= limit)
            return std::nullopt;
        return ScheduledRead {static_cast<double>(index) * *options.everySeconds, barcode, false};
    }
    if (index / 2 >= limit)
        return std::nullopt;
    const double passStart = static_cast<double>(index / 2) * options.everySeconds.value_or(0.0);
    if (index % 2 == 0)
        return ScheduledRead {passStart, barcode, true};
    // Pelmar stamps a read when its last character arrives, so the gap runs from end to end;
    // that keeps the measured speed right when the two barcodes differ in length.
    const std::string &first = barcodes[static_cast<size_t>(index - 1) % barcodes.size()];
    const double secondEnd = passStart + readSeconds(options, first)
        + secondsBetweenReads(*options.passMph, options.distanceInches);
    return ScheduledRead {secondEnd - readSeconds(options, barcode), barcode, false};
}

std::string overlapProblem(const Options &options)
{
    double longestRead = 0.0;
    for (const std::string &barcode : options.barcodes)
        longestRead = std::max(longestRead, readSeconds(options, barcode));
    double onePass = longestRead;
    if (options.passMph) {
        const double gap = secondsBetweenReads(*options.passMph, options.distanceInches);
        if (gap < longestRead)
            return formatted("--pass: at %g mph the two reads would overlap on the line "
                             "(%.6f s apart)",
                             *options.passMph, gap);
        onePass += gap;
    }
    if (options.everySeconds && *options.everySeconds < onePass)
        return formatted(options.passMph ? "--every: %g s is shorter than one pass (%.6f s)"
                                         : "--every: %g s is shorter than one read (%.6f s)",
                         *options.everySeconds, onePass);
    return {};
}
