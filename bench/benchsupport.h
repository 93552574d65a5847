#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <string>
#include <vector>

#include <sys/types.h>

// What every benchmark reports the same way: its percentiles, how busy the machine was, memory
// and whether a target was met.
namespace Benchmark {

// The nearest-rank percentile (fraction 0.5 is the median) of the values that are numbers; NaN
// when there are none.
double percentile(std::vector<double> values, double fraction);

// "load average 0.61 0.94 0.57 on 2 CPUs": other work on the machine shows in every timing.
std::string loadAverage();

// A kB figure of a /proc file of the form "Name:   1234 kB" (status, smaps_rollup), in MB; NaN
// when it is missing.
double procMegabytes(const std::string &file, const std::string &field);
double residentMegabytes(pid_t pid);
double residentMegabytes();

// "Target <target>: met" or "... MISSED", on a line of its own.
void printVerdict(const std::string &target, bool met);

} // namespace Benchmark

#endif // BENCHSUPPORT_H
