// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "options.h"

#include "readschedule.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace {

const char *const OptionNames[] = {"--pass",     "--distance", "--every", "--count", "--delay",
                                   "--barcodes", "--suffix",   "--link",  "--model", "--odd-pass"};

std::optional<double> parseNumber(const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long> parseWholeNumber(const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return std::nullopt;
    return value;
}

std::optional<std::string> parseSuffix(const std::string &text)
{
    if (text.size() != 4)
        return std::nullopt;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    }
    std::string suffix;
    for (size_t i = 0; i < text.size(); i += 2)
        suffix.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return suffix;
}

std::vector<std::string> splitAtCommas(const std::string &text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

std::optional<SimulatedModel> parseModel(const std::string &text)
{
    const std::vector<std::string> parts = splitAtCommas(text);
    if (parts.size() < 3 || parts.size() > 4 || parts[0].empty() || parts[1].empty())
        return std::nullopt;
    SimulatedModel model {parts[0], parts[1], parseNumber(parts[2]).value_or(0), {}};
    if (parts.size() == 4) {
        model.distanceInches = parseNumber(parts[3]).value_or(0);
        if (*model.distanceInches <= 0)
            return std::nullopt;
    }
    if (model.mph <= 0)
        return std::nullopt;
    return model;
}

std::optional<OddPass> parseOddPass(const std::string &text)
{
    const std::vector<std::string> parts = splitAtCommas(text);
    if (parts.size() != 2)
        return std::nullopt;
    const std::optional<long> every = parseWholeNumber(parts[0]);
    const std::optional<double> factor = parseNumber(parts[1]);
    if (!every || *every < 2 || !factor || *factor <= 0 || *factor == 1)
        return std::nullopt;
    return OddPass {*every, *factor};
}

// Returns the error for one option and its value, or nothing when both are good.
std::string applyOption(Options &options, const std::string &name, const std::string &value)
{
    const std::string quoted = " '" + value + "'";
    if (name == "--pass" || name == "--distance" || name == "--every" || name == "--delay") {
        const std::optional<double> number = parseNumber(value);
        const bool zeroAllowed = name == "--delay";
        if (!number || *number < 0.0 || (*number == 0.0 && !zeroAllowed))
            return name + ":" + quoted
                + (zeroAllowed ? " is not a number of 0 or more" : " is not a number above 0");
        if (name == "--pass")
            options.passMph = number;
        else if (name == "--distance")
            options.distanceInches = *number;
        else if (name == "--every")
            options.everySeconds = number;
        else
            options.delaySeconds = *number;
    } else if (name == "--count") {
        const std::optional<long> count = parseWholeNumber(value);
        if (!count || *count < 1)
            return name + ":" + quoted + " is not a whole number above 0";
        options.count = count;
    } else if (name == "--suffix") {
        const std::optional<std::string> suffix = parseSuffix(value);
        if (!suffix)
            return name + ":" + quoted + " is not exactly 4 hex digits";
        options.suffix = *suffix;
    } else if (name == "--barcodes") {
        std::vector<std::string> barcodes = splitAtCommas(value);
        for (const std::string &barcode : barcodes) {
            if (barcode.empty())
                return name + ":" + quoted + " holds an empty barcode";
        }
        options.barcodes = std::move(barcodes);
    } else if (name == "--model") {
        const std::optional<SimulatedModel> model = parseModel(value);
        if (!model)
            return name + ":" + quoted
                + " is not CODE1,CODE2,MPH or CODE1,CODE2,MPH,INCHES with numbers above 0";
        if (model->firstBarcode == model->secondBarcode)
            return name + ":" + quoted + " gives one barcode twice";
        options.models.push_back(*model);
    } else if (name == "--odd-pass") {
        const std::optional<OddPass> oddPass = parseOddPass(value);
        if (!oddPass)
            return name + ":" + quoted
                + " is not N,FACTOR with N a whole number from 2 and FACTOR above 0 and not 1";
        options.oddPass = oddPass;
    } else if (name == "--link") {
        if (value.empty())
            return name + ": the path is empty";
        options.linkPath = value;
    }
    return {};
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string> &arguments)
{
    ParsedOptions parsed;
    bool barcodesGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            parsed.showHelp = true;
            return parsed;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        std::string value;
        if (std::find(std::begin(OptionNames), std::end(OptionNames), name)
            == std::end(OptionNames)) {
            parsed.error = "unknown option '" + name + "'";
            return parsed;
        }
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            parsed.error = name + " needs a value";
            return parsed;
        }
        barcodesGiven = barcodesGiven || name == "--barcodes";
        parsed.error = applyOption(parsed.options, name, value);
        if (!parsed.error.empty())
            return parsed;
    }

    const Options &options = parsed.options;
    const bool passes = options.passMph || !options.models.empty();
    if (!options.models.empty() && options.passMph)
        parsed.error = "--model: each model gives its own speed, so --pass goes without it";
    else if (!options.models.empty() && barcodesGiven)
        parsed.error = "--model: each model gives its own barcodes, so --barcodes goes without it";
    else if (options.oddPass && !passes)
        parsed.error = "--odd-pass: there is no pass without --pass or --model";
    else if (options.count && !passes && !options.everySeconds)
        parsed.error = "--count: there is nothing to count without --pass, --model or --every";
    else if (options.models.size() > 1 && !options.everySeconds)
        parsed.error = "--model: more than one model needs --every";
    else if (options.count > 1 && !options.everySeconds)
        parsed.error = "--count: more than one pass needs --every";
    else
        parsed.error = overlapProblem(options);
    return parsed;
}

std::string usageText()
{
    return R"(Usage: scanner-sim [OPTION]...
Stands in for Pelmar's barcode scanner at the far end of a pseudo-terminal, pacing what it sends
like a 9600 baud 7E2 line. The first line of output is the device path alone (give it to Pelmar:
pelmar --port PATH); every later line is the log:
  < ...   what Pelmar sent: STX "BODY" ETX check byte, ESC, or hex bytes
  > ...   a barcode that went out to Pelmar

  --pass MPH          a 1:87 model passes at MPH full-size speed: two reads spaced so that
                      Pelmar measures that speed
  --distance INCHES   distance between the model's two barcodes (default 12)
  --model A,B,MPH[,INCHES]
                      a 1:87 model whose barcodes A then B are INCHES apart (default
                      --distance) passes at MPH full-size speed; given again, each model
                      passes in turn (needs --every; not with --pass or --barcodes)
  --odd-pass N,FACTOR every Nth pass of each model runs at FACTOR times its speed (0.8 for a
                      slow one, 1.25 for a fast one), as an odd pass among the others
  --every SECONDS     repeat a pass every SECONDS, start to start; without --pass, send one
                      read every SECONDS
  --count N           stop after N passes in all (or N reads) and exit
  --delay SECONDS     wait after Pelmar opens the line before the first read (default 1)
  --barcodes A,B,...  barcodes sent in turn (default 012345678905,036000291452)
  --suffix HEX        the two characters after each barcode, 4 hex digits (default 0d0a)
  --link PATH         keep a symbolic link at PATH to the pseudo-terminal while running (an
                      older link there is replaced), so that Pelmar can be given one name for
                      one simulator after another, as for a scanner unplugged and plugged in
  -h, --help          show this text and exit

Without --pass or --every nothing is sent; the simulator only logs. It exits 0 when Pelmar
closes the line, on Ctrl+C or SIGTERM, or a quarter second after the last read of --count.
Exit status 2 means a bad option.
)";
}
