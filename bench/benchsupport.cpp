#include "benchsupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <thread>
#include <utility>

namespace Benchmark {

Summary::Summary(std::vector<double> samples) : m_sorted(std::move(samples))
{
    std::erase_if(m_sorted, [](double sample) { return std::isnan(sample); });
    std::sort(m_sorted.begin(), m_sorted.end());
}

double Summary::percentile(double fraction) const
{
    if (m_sorted.empty())
        return NAN;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * count()));
    return m_sorted[std::clamp<std::size_t>(rank, 1, m_sorted.size()) - 1];
}

bool printVerdict(const std::string &target, bool met)
{
    std::printf("Target %s: %s\n", target.c_str(), met ? "met" : "MISSED");
    return met;
}

std::string loadAverage()
{
    double load[3] = {};
    if (getloadavg(load, 3) != 3)
        return "load average unknown";
    char text[96];
    std::snprintf(text, sizeof text, "load average %.2f %.2f %.2f on %u CPUs", load[0], load[1],
                  load[2], std::thread::hardware_concurrency());
    return text;
}

double procMegabytes(const std::string &file, const std::string &field)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(field + ":"))
            return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024;
    }
    return NAN;
}

double residentMegabytes(const std::string &pid)
{
    return procMegabytes("/proc/" + pid + "/status", "VmRSS");
}

std::int64_t monotonicNanoseconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t {now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

void useOffscreenUnlessAsked(int argc, char *argv[])
{
    bool asked = std::getenv("QT_QPA_PLATFORM") && *std::getenv("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i)
        asked = asked || std::strcmp(argv[i], "-platform") == 0;
    if (!asked)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

} // namespace Benchmark
