// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// scanner-sim: a stand-in for the barcode scanner at the far end of a pseudo-terminal.

#include "framedecoder.h"
#include "options.h"
#include "readschedule.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Nanoseconds = std::int64_t;

constexpr Nanoseconds NanosecondsPerSecond = 1'000'000'000;
// A frame that stops mid-way is shown as the bytes it holds rather than kept back for ever.
constexpr Nanoseconds PartialFrameTimeout = 100'000'000;
// Closing the master throws away what the far end has not read yet, so the last read gets time.
constexpr Nanoseconds LingerAfterLastRead = 250'000'000;
constexpr Nanoseconds LateWarning = 1'000'000;
// poll() cannot wait for a slave to open (the master reports POLLHUP all along), so look often.
constexpr int OpenCheckMilliseconds = 10;

void logLine(const std::string &line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void logItems(const std::vector<std::string> &items)
{
    for (const std::string &item : items)
        logLine("< " + item);
}

Nanoseconds toNanoseconds(double seconds)
{
    return std::llround(seconds * static_cast<double>(NanosecondsPerSecond));
}

timespec toTimespec(Nanoseconds time)
{
    return {static_cast<time_t>(time / NanosecondsPerSecond),
            static_cast<long>(time % NanosecondsPerSecond)};
}

Nanoseconds now()
{
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return time.tv_sec * NanosecondsPerSecond + time.tv_nsec;
}

void sleepUntil(Nanoseconds time)
{
    const timespec due = toTimespec(time);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) { }
}

// Returns the master fd, or -1. The slave is closed again at once so that POLLHUP on the
// master tells whether Pelmar has the line open.
int openLine(std::string &slavePath)
{
    int master = -1;
    int slave = -1;
    char path[PATH_MAX];
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0)
        return -1;
    termios settings;
    tcgetattr(slave, &settings);
    cfmakeraw(&settings); // no echo of Pelmar's commands back to it, no CR/LF translation
    cfsetspeed(&settings, B9600);
    tcsetattr(slave, TCSANOW, &settings);
    close(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    slavePath = path;
    return master;
}

bool slaveIsOpen(int master)
{
    pollfd line {master, POLLIN, 0};
    return poll(&line, 1, 0) >= 0 && !(line.revents & POLLHUP);
}

std::string takeSignalName(int signalFd)
{
    signalfd_siginfo info;
    const bool known = read(signalFd, &info, sizeof info) == sizeof info;
    return known && info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM";
}

// Returns the name of the stop signal that came first, or empty text once the line is open.
std::string waitForOpen(int master, int signalFd)
{
    for (;;) {
        pollfd stop {signalFd, POLLIN, 0};
        if (poll(&stop, 1, OpenCheckMilliseconds) > 0)
            return takeSignalName(signalFd);
        if (slaveIsOpen(master))
            return {};
    }
}

// Reads everything waiting as one chunk; returns false once the far end has closed the line.
bool readFromLine(int master, FrameDecoder &decoder)
{
    std::string chunk;
    bool open = true;
    for (;;) {
        char buffer[4096];
        const ssize_t count = read(master, buffer, sizeof buffer);
        if (count > 0) {
            chunk.append(buffer, static_cast<size_t>(count));
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            open = count < 0 && errno == EAGAIN; // EIO: no slave fd is open any more
            break;
        }
    }
    logItems(decoder.feed(chunk));
    return open;
}

// Each character goes out when its 11 bits would have crossed the line, timed from the read's
// start on the absolute clock so that the pacing cannot drift. Returns how late the last
// character went out, or nothing if the line closed. Lateness is taken once write() has returned:
// a simulator held up inside it sent late just the same.
std::optional<Nanoseconds> sendRead(int master, const std::string &text, Nanoseconds start)
{
    Nanoseconds lateness = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const Nanoseconds due
            = start + toNanoseconds(static_cast<double>(i + 1) * CharacterSeconds);
        sleepUntil(due);
        const bool written = write(master, &text[i], 1) == 1;
        const int error = errno;
        lateness = now() - due;
        if (written)
            continue;
        if (error != EAGAIN)
            return std::nullopt;
        logLine("line full: a character was dropped");
    }
    return lateness;
}

std::string lateLine(Nanoseconds lateness)
{
    char text[100];
    std::snprintf(text, sizeof text, "late: the last character went out %.3f ms after its time",
                  static_cast<double>(lateness) / 1e6);
    return text;
}

// Points the link at the slave, replacing an older link but nothing else.
bool makeLink(const std::string &linkPath, const std::string &slavePath)
{
    struct stat existing;
    if (lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            errno = EEXIST;
            return false;
        }
        unlink(linkPath.c_str());
    }
    return symlink(slavePath.c_str(), linkPath.c_str()) == 0;
}

// Removes the link if it still leads to this simulator's line: a later simulator may own it.
void removeLink(const std::string &linkPath, const std::string &slavePath)
{
    char target[PATH_MAX];
    const ssize_t length = readlink(linkPath.c_str(), target, sizeof target);
    if (length > 0 && std::string(target, static_cast<size_t>(length)) == slavePath)
        unlink(linkPath.c_str());
}

int simulate(const Options &options, int master, int signalFd)
{
    if (const std::string signal = waitForOpen(master, signalFd); !signal.empty()) {
        logLine("stopped by " + signal);
        return 0;
    }
    logLine("line opened");

    FrameDecoder decoder;
    const Nanoseconds firstReadStart = now() + toNanoseconds(options.delaySeconds);
    long readIndex = 0;
    std::optional<ScheduledRead> nextRead = scheduledRead(options, readIndex);
    Nanoseconds lastBytes = 0;
    Nanoseconds exitTime = LLONG_MAX;
    for (;;) {
        const Nanoseconds readStart
            = nextRead ? firstReadStart + toNanoseconds(nextRead->startSeconds) : LLONG_MAX;
        const Nanoseconds flushTime
            = decoder.hasPartialFrame() ? lastBytes + PartialFrameTimeout : LLONG_MAX;
        const Nanoseconds wakeTime = std::min({readStart, flushTime, exitTime});
        const timespec timeout = toTimespec(std::max<Nanoseconds>(0, wakeTime - now()));
        pollfd fds[] = {{master, POLLIN, 0}, {signalFd, POLLIN, 0}};
        ppoll(fds, 2, wakeTime == LLONG_MAX ? nullptr : &timeout, nullptr);

        if (fds[1].revents & POLLIN) {
            logItems(decoder.flush());
            logLine("stopped by " + takeSignalName(signalFd));
            return 0;
        }
        if (fds[0].revents) {
            lastBytes = now();
            if (!readFromLine(master, decoder)) {
                logItems(decoder.flush());
                logLine("line closed");
                return 0;
            }
        }
        const Nanoseconds time = now();
        if (decoder.hasPartialFrame() && time >= lastBytes + PartialFrameTimeout)
            logItems(decoder.flush());
        if (time >= exitTime) {
            logLine("done");
            return 0;
        }
        if (time < readStart)
            continue;
        if (nextRead->startsPass)
            logLine(passLine(options, *nextRead->pass));
        const auto lateness = sendRead(master, nextRead->barcode + options.suffix, readStart);
        if (!lateness) {
            logLine("line closed");
            return 0;
        }
        logLine("> " + nextRead->barcode);
        // On a busy machine a read can end late; say so, since Pelmar's speed will be off.
        if (*lateness > LateWarning)
            logLine(lateLine(*lateness));
        nextRead = scheduledRead(options, ++readIndex);
        if (!nextRead && options.count)
            exitTime = now() + LingerAfterLastRead;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.showHelp) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "scanner-sim: %s\n\n%s", parsed.error.c_str(), usageText().c_str());
        return 2;
    }

    // Stop signals arrive through a descriptor so that a stop is just another event to poll.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    // A script that reads only the device path may close the pipe; the simulator goes on.
    std::signal(SIGPIPE, SIG_IGN);

    std::string slavePath;
    const int master = openLine(slavePath);
    if (master < 0 || signalFd < 0) {
        std::fprintf(stderr, "scanner-sim: cannot open a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    const std::string &linkPath = parsed.options.linkPath;
    if (!linkPath.empty() && !makeLink(linkPath, slavePath)) {
        std::fprintf(stderr, "scanner-sim: cannot make the link %s: %s\n", linkPath.c_str(),
                     std::strerror(errno));
        close(master);
        return 1;
    }
    logLine(slavePath);
    const int status = simulate(parsed.options, master, signalFd);
    if (!linkPath.empty())
        removeLink(linkPath, slavePath);
    close(master);
    return status;
}
