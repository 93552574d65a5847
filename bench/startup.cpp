// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// bench-startup: Pelmar's start-up time and memory against a minimal Qt program and cutecom.
//
// Of Qt, this process uses no more than the pseudo-terminal: a page of Qt's libraries that it
// shares with the program it measures would count only half in that program's PSS.

#include "benchsupport.h"
#include "pseudoterminal.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Benchmark::Clock;
using namespace std::chrono_literals;

constexpr int DefaultRuns = 7;
constexpr auto IdleBeforeMemory = 1500ms;
constexpr auto StartDeadline = 20s;
constexpr auto ExitDeadline = 3s;
constexpr int PollMilliseconds = 20;
constexpr double TargetFloorStartRatio = 1.25;
constexpr double TargetFloorMemoryRatio = 1.3;
constexpr double TargetCutecomStartRatio = 0.5;
constexpr double TargetCutecomMemoryRatio = 0.4;

struct Program
{
    std::string name;
    std::string path;
    bool opensPortAtStart = true;
};

// One run of a program, the medians of its runs, or the ratios of two programs' medians.
struct Sample
{
    double startMs = NAN;
    double windowMs = NAN;
    double portMs = NAN;
    double drawnMs = NAN;
    double residentMb = NAN;
    double proportionalMb = NAN;
    bool portHeld = false;
};

// What a starting program does that the user sees: the X server reports its first ordinary
// top-level window mapped and first drawn into, and inotify the opening of its device. The
// program under test is the only one to open the device once the watch is set.
class StartWatch
{
public:
    StartWatch() : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            Benchmark::fail("no X server in DISPLAY (run it through bench/run startup)");
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, root, XCB_CW_EVENT_MASK, &mask);
        // The extension must be told the version its client speaks before it reports anything.
        const xcb_query_extension_reply_t *damage
            = xcb_get_extension_data(m_connection, &xcb_damage_id);
        if (damage && damage->present) {
            m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
            std::free(xcb_damage_query_version_reply(
                m_connection,
                xcb_damage_query_version(m_connection, XCB_DAMAGE_MAJOR_VERSION,
                                         XCB_DAMAGE_MINOR_VERSION),
                nullptr));
        }
        xcb_flush(m_connection);
    }
    ~StartWatch()
    {
        close(m_opens);
        xcb_disconnect(m_connection);
    }
    StartWatch(const StartWatch &) = delete;
    StartWatch &operator=(const StartWatch &) = delete;

    bool seesDrawing() const { return m_damageEvent != 0; }
    std::optional<xcb_window_t> mappedWindow() const { return m_mapped; }
    bool drawn() const { return m_drawn; }
    bool opened() const { return m_opened; }

    // Watches the opening of device from now on; before the program is spawned, so that it
    // cannot be missed.
    void watch(const std::string &device)
    {
        close(m_opens);
        m_opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_opens < 0 || inotify_add_watch(m_opens, device.c_str(), IN_OPEN) < 0)
            Benchmark::fail(std::string("inotify: ") + std::strerror(errno));
        m_opened = false;
    }

    // Watches the windows of pid from now on; those of earlier runs have other pids.
    void watch(pid_t pid)
    {
        m_pid = pid;
        m_mapped.reset();
        m_drawn = false;
    }

    // Takes what has been reported, after waiting up to a poll interval for news.
    void takeEvents()
    {
        pollfd news[] = {{xcb_get_file_descriptor(m_connection), POLLIN, 0}, {m_opens, POLLIN, 0}};
        poll(news, 2, PollMilliseconds);
        char events[4096];
        while (read(m_opens, events, sizeof events) > 0)
            m_opened = true;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            const int type = event->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY && seesDrawing()) {
                // Watched from its creation, before anything can have been drawn into it.
                const auto *create = reinterpret_cast<xcb_create_notify_event_t *>(event);
                xcb_damage_create(m_connection, xcb_generate_id(m_connection), create->window,
                                  XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(m_connection);
            } else if (type == XCB_MAP_NOTIFY) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                if (!m_mapped && !map->override_redirect && windowPid(map->window) == m_pid)
                    m_mapped = map->window;
            } else if (type == m_damageEvent) {
                const auto *damage = reinterpret_cast<xcb_damage_notify_event_t *>(event);
                m_drawn = m_drawn || (m_mapped && damage->drawable == *m_mapped);
            }
            std::free(event);
        }
    }

    // As a window manager asks a window to close.
    void askToClose(xcb_window_t window)
    {
        const xcb_client_message_event_t message {
            .response_type = XCB_CLIENT_MESSAGE,
            .format = 32,
            .sequence = 0,
            .window = window,
            .type = atom("WM_PROTOCOLS"),
            .data = {.data32 = {atom("WM_DELETE_WINDOW"), XCB_CURRENT_TIME}}};
        xcb_send_event(m_connection, false, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(m_connection);
    }

private:
    xcb_atom_t atom(const char *name)
    {
        const auto cookie = xcb_intern_atom(m_connection, false,
                                            static_cast<std::uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(m_connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t {XCB_ATOM_NONE};
        std::free(reply);
        return result;
    }

    pid_t windowPid(xcb_window_t window)
    {
        const auto cookie = xcb_get_property(m_connection, false, window, atom("_NET_WM_PID"),
                                             XCB_ATOM_CARDINAL, 0, 1);
        xcb_get_property_reply_t *reply = xcb_get_property_reply(m_connection, cookie, nullptr);
        pid_t pid = -1;
        if (reply && xcb_get_property_value_length(reply) == 4)
            pid = static_cast<pid_t>(*static_cast<std::uint32_t *>(xcb_get_property_value(reply)));
        std::free(reply);
        return pid;
    }

    xcb_connection_t *m_connection;
    int m_damageEvent = 0;
    int m_opens = -1;
    bool m_opened = false;
    pid_t m_pid = -1;
    std::optional<xcb_window_t> m_mapped;
    bool m_drawn = false;
};

// HOME and the XDG folders of every program spawned from here are a folder of their own, so that
// none reads the user's own settings; cutecom's session is written into it before its runs.
class Home
{
public:
    Home()
    {
        char pattern[] = "/tmp/bench-startup.XXXXXX";
        if (!mkdtemp(pattern))
            Benchmark::fail(std::string("mkdtemp: ") + std::strerror(errno));
        m_path = pattern;
        std::filesystem::create_directories(m_path + "/.config/CuteCom");
        std::vector<std::string> names;
        for (char **variable = environ; *variable; ++variable) {
            if (std::string_view(*variable).starts_with("XDG_"))
                names.emplace_back(*variable, std::strchr(*variable, '='));
        }
        for (const std::string &name : names)
            unsetenv(name.c_str());
        setenv("HOME", m_path.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_path + "/.config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    ~Home() { std::filesystem::remove_all(m_path); }
    Home(const Home &) = delete;
    Home &operator=(const Home &) = delete;

    // cutecom's session format, as cutecom writes it itself: Parity 2 is QSerialPort's even parity.
    void writeCutecomSession(const std::string &device) const
    {
        std::ofstream(m_path + "/.config/CuteCom/CuteCom5.conf")
            << "[sessions]\n1\\BaudRate=9600\n1\\DataBits=7\n1\\Device=" << device
            << "\n1\\FlowControl=0\n1\\OpenMode=3\n1\\Parity=2\n1\\StopBits=2\n"
               "1\\autoReconnect=false\n1\\name=Default\nsize=1\n";
    }

private:
    std::string m_path;
};

pid_t spawn(const Program &program)
{
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char *const argv[] = {const_cast<char *>(program.path.c_str()), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.path.c_str(), &quiet, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (error != 0)
        Benchmark::fail("cannot start " + program.path + ": " + std::strerror(error));
    return pid;
}

// Closes the window as a window manager would; a program still there after that gets SIGTERM,
// and then SIGKILL.
void stop(pid_t pid, StartWatch &watch, std::optional<xcb_window_t> window)
{
    if (window)
        watch.askToClose(*window);
    for (const auto &[signal, wait] : {std::pair {0, window ? ExitDeadline : 0s},
                                       {SIGTERM, std::chrono::seconds(1)},
                                       {SIGKILL, 1h}}) {
        kill(pid, signal);
        for (const auto end = Clock::now() + wait; Clock::now() < end;
             std::this_thread::sleep_for(5ms)) {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                return;
        }
    }
}

bool holdsOpen(pid_t pid, const std::string &device)
{
    std::error_code error;
    return std::ranges::any_of(
        std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error),
        [&](const auto &entry) { return std::filesystem::read_symlink(entry, error) == device; });
}

std::optional<Sample> runOnce(const Program &program, StartWatch &watch, const Home &home)
{
    // A fresh line for every run: a program that closes the device at exit must not hang up the
    // line for the next one.
    const PseudoTerminal line;
    const std::string device = line.devicePath().toStdString();
    if (program.name == "cutecom")
        home.writeCutecomSession(device);
    setenv("PELMAR_PORT", device.c_str(), 1);
    watch.watch(device);

    Sample sample;
    std::optional<xcb_window_t> window;
    const Clock::time_point start = Clock::now();
    const auto since = [start] { return Benchmark::milliseconds(Clock::now() - start); };
    const pid_t pid = spawn(program);
    watch.watch(pid);
    while (Clock::now() < start + StartDeadline) {
        watch.takeEvents();
        if (!window && (window = watch.mappedWindow()))
            sample.windowMs = since();
        if (std::isnan(sample.drawnMs) && watch.drawn())
            sample.drawnMs = since();
        if (std::isnan(sample.portMs) && watch.opened())
            sample.portMs = since();
        if (window && (!program.opensPortAtStart || !std::isnan(sample.portMs))
            && (!watch.seesDrawing() || !std::isnan(sample.drawnMs)))
            break;
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            Benchmark::warn(program.name + " ended during start-up");
            return std::nullopt;
        }
    }
    if (!window || (program.opensPortAtStart && std::isnan(sample.portMs))) {
        Benchmark::warn(program.name + " did not start within "
                        + std::to_string(StartDeadline.count()) + " s");
        stop(pid, watch, window);
        return std::nullopt;
    }
    const Clock::time_point started = Clock::now();
    sample.startMs
        = std::isnan(sample.portMs) ? sample.windowMs : std::max(sample.windowMs, sample.portMs);
    sample.portHeld = holdsOpen(pid, device);

    std::this_thread::sleep_until(started + IdleBeforeMemory);
    sample.residentMb = Benchmark::procMegabytes(std::to_string(pid), "status", "VmRSS");
    sample.proportionalMb = Benchmark::procMegabytes(std::to_string(pid), "smaps_rollup", "Pss");
    stop(pid, watch, window);
    return sample;
}

struct Arguments
{
    int runs = DefaultRuns;
    bool verbose = false;
    // Pelmar, the floor, cutecom when it is there, then the others asked for.
    std::vector<Program> programs;
    bool withCutecom = false;
};

std::string findInPath(const std::string &name)
{
    const char *path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (access((folder + "/" + name).c_str(), X_OK) == 0)
            return folder + "/" + name;
    }
    return {};
}

Arguments parseArguments(int argc, char *argv[])
{
    Arguments arguments {DefaultRuns, false, {{"pelmar", PELMAR_PATH}, {"floor", FLOOR_PATH}}};
    Program cutecom {"cutecom", findInPath("cutecom"), false};
    std::vector<Program> others;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool valued = i + 1 < argc;
        if (argument == "--runs" && valued) {
            arguments.runs = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--pelmar" && valued) {
            arguments.programs[0].path = argv[++i];
        } else if (argument == "--floor" && valued) {
            arguments.programs[1].path = argv[++i];
        } else if (argument == "--cutecom" && valued) {
            cutecom.path = argv[++i];
        } else if (argument == "--no-cutecom") {
            cutecom.path.clear();
        } else if (argument == "--also" && valued && std::strchr(argv[i + 1], '=')) {
            // Another build or program to compare, in the same rounds: NAME=PATH.
            const std::string other = argv[++i];
            const std::size_t equals = other.find('=');
            others.push_back({other.substr(0, equals), other.substr(equals + 1)});
        } else if (argument == "--verbose") {
            arguments.verbose = true;
        } else {
            Benchmark::fail("usage: bench-startup [--runs N] [--pelmar PATH] [--floor PATH] "
                            "[--cutecom PATH | --no-cutecom] [--also NAME=PATH]... [--verbose]");
        }
    }
    arguments.withCutecom = !cutecom.path.empty();
    if (arguments.withCutecom)
        arguments.programs.push_back(cutecom);
    else
        Benchmark::warn("measuring without cutecom (apt-get install cutecom)");
    arguments.programs.insert(arguments.programs.end(), others.begin(), others.end());
    return arguments;
}

void printColumns()
{
    std::printf("%-20s %11s %10s %9s %9s %12s %8s %11s\n", "program", "start-up ms", "window ms",
                "port ms", "drawn ms", "resident MB", "PSS MB", "port held");
}

// A row of the table: the medians of runs, and in how many of them the port was still held open.
Sample printRow(const std::string &name, const std::vector<Sample> &runs)
{
    const auto median
        = [&runs](double Sample::*figure) { return Benchmark::Summary(runs, figure).median(); };
    const Sample medians {median(&Sample::startMs),    median(&Sample::windowMs),
                          median(&Sample::portMs),     median(&Sample::drawnMs),
                          median(&Sample::residentMb), median(&Sample::proportionalMb)};
    std::printf("%-20s %11.1f %10.1f %9.1f %9.1f %12.1f %8.1f %7ld/%zu\n", name.c_str(),
                medians.startMs, medians.windowMs, medians.portMs, medians.drawnMs,
                medians.residentMb, medians.proportionalMb,
                std::ranges::count(runs, true, &Sample::portHeld), runs.size());
    return medians;
}

Sample printRatios(const std::string &name, const Sample &of, const Sample &to)
{
    const Sample ratios {of.startMs / to.startMs,
                         NAN,
                         NAN,
                         of.drawnMs / to.drawnMs,
                         of.residentMb / to.residentMb,
                         of.proportionalMb / to.proportionalMb};
    std::printf("%-20s %11.2f %10s %9s %9.2f %12.2f %8.2f\n", name.c_str(), ratios.startMs, "", "",
                ratios.drawnMs, ratios.residentMb, ratios.proportionalMb);
    return ratios;
}

// Every program's runs, or nothing when one failed to start. One round is not counted, so that
// every program starts with its files in the page cache; then the programs take turns, so that a
// slow spell of the machine falls on all of them alike.
std::optional<std::vector<std::vector<Sample>>> measure(const Arguments &arguments)
{
    StartWatch watch;
    const Home home;
    if (arguments.verbose)
        printColumns();
    std::vector<std::vector<Sample>> samples(arguments.programs.size());
    for (int round = 0; round <= arguments.runs; ++round) {
        for (std::size_t p = 0; p < arguments.programs.size(); ++p) {
            const Program &program = arguments.programs[p];
            const std::optional<Sample> sample = runOnce(program, watch, home);
            if (!sample)
                return std::nullopt;
            if (arguments.verbose)
                printRow((round == 0 ? "warm-up " : "run ") + program.name, {*sample});
            if (round > 0)
                samples[p].push_back(*sample);
        }
    }
    return samples;
}

// Prints the table and the verdicts; returns whether every target was met.
bool report(const Arguments &arguments, const std::vector<std::vector<Sample>> &samples)
{
    // Without a session bus, Qt never looks for the accessibility bus, whatever it is told.
    const bool accessible = std::getenv("DBUS_SESSION_BUS_ADDRESS")
        && std::getenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
    std::printf("\nStart-up and memory, medians of %d runs each on DISPLAY %s, accessibility %s; "
                "%s\n(start-up: from spawn until the window is mapped and the port is open; "
                "drawn: until the\nprogram first draws into its window; memory: 1.5 s after "
                "start-up)\n\n",
                arguments.runs, std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "?",
                accessible ? "on" : "off", Benchmark::loadAverage().c_str());
    printColumns();
    std::vector<Sample> medians;
    for (std::size_t p = 0; p < samples.size(); ++p)
        medians.push_back(printRow(arguments.programs[p].name, samples[p]));
    const Sample overFloor = printRatios("Pelmar/floor", medians[0], medians[1]);
    for (std::size_t p = arguments.withCutecom ? 3 : 2; p < medians.size(); ++p)
        printRatios(arguments.programs[p].name + "/floor", medians[p], medians[1]);
    const Sample overCutecom
        = arguments.withCutecom ? printRatios("Pelmar/cutecom", medians[0], medians[2]) : Sample();
    if (arguments.withCutecom)
        std::printf("\ncutecom cannot open its device at start-up: its start-up is its window "
                    "alone, with the port\nclosed (it only shows the session's device and "
                    "9600 7-Even-2 until Open is pressed).\n");
    std::printf("\n");
    Benchmark::Verdicts verdicts;
    verdicts.check(overFloor.startMs <= TargetFloorStartRatio, "start-up within %gx of the floor's",
                   TargetFloorStartRatio);
    verdicts.check(overFloor.residentMb <= TargetFloorMemoryRatio,
                   "memory within %gx of the floor's", TargetFloorMemoryRatio);
    if (arguments.withCutecom) {
        verdicts.check(overCutecom.startMs <= TargetCutecomStartRatio,
                       "start-up at most half of cutecom's");
        verdicts.check(overCutecom.residentMb <= TargetCutecomMemoryRatio,
                       "memory at most 40%% of cutecom's");
    }
    return verdicts.allMet();
}

} // namespace

int main(int argc, char *argv[])
{
    const Arguments arguments = parseArguments(argc, argv);
    const auto samples = measure(arguments);
    return samples && report(arguments, *samples) ? 0 : 1;
}
