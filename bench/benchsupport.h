#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

// What every benchmark reports the same way: its percentiles, how busy the machine was, memory
// and whether a target was met.
namespace Benchmark {

// One measured figure over its samples, by nearest-rank percentiles of the samples that are
// numbers: NaN when there are none.
class Summary
{
public:
    explicit Summary(std::vector<double> samples);

    int count() const { return static_cast<int>(m_sorted.size()); }
    double percentile(double fraction) const;
    double median() const { return percentile(0.5); }
    double maximum() const { return percentile(1); }

private:
    std::vector<double> m_sorted;
};

// "Target <target>: met" or "... MISSED", on a line of its own; returns met.
bool printVerdict(const std::string &target, bool met);

// "load average 0.61 0.94 0.57 on 2 CPUs": other work on the machine shows in every timing.
std::string loadAverage();

// A kB figure of a /proc file of the form "Name:   1234 kB" (status, smaps_rollup), in MB; NaN
// when it is missing.
double procMegabytes(const std::string &file, const std::string &field);
double residentMegabytes(const std::string &pid = "self");

std::int64_t monotonicNanoseconds();

// Qt's offscreen platform, unless QT_QPA_PLATFORM or -platform asks for another.
void useOffscreenUnlessAsked(int argc, char *argv[]);

} // namespace Benchmark

#endif // BENCHSUPPORT_H
