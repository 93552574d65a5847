#include "benchsupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace Benchmark {

double percentile(std::vector<double> values, double fraction)
{
    values.erase(std::remove_if(values.begin(), values.end(),
                                [](double value) { return std::isnan(value); }),
                 values.end());
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto rank = std::size_t(std::ceil(fraction * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
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
        if (line.rfind(field + ":", 0) == 0)
            return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024;
    }
    return NAN;
}

double residentMegabytes(pid_t pid)
{
    return procMegabytes("/proc/" + std::to_string(pid) + "/status", "VmRSS");
}

double residentMegabytes()
{
    return procMegabytes("/proc/self/status", "VmRSS");
}

void printVerdict(const std::string &target, bool met)
{
    std::printf("Target %s: %s\n", target.c_str(), met ? "met" : "MISSED");
}

} // namespace Benchmark
