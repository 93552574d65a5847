// bench-startup: Pelmar's start-up time and memory, against the floor (bench-floorwindow: a Qt 6
// program that only opens the port and shows a window with one label and one button) and against
// Debian's cutecom, a general serial terminal on Qt, all started the same way on the same X
// server. bench/run starts it under Xvfb with a session bus and the accessibility bus, and with
// QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1, so that every Qt program builds its accessibility tree as it
// would for a screen reader.
//
// Each run gives a program a fresh pseudo-terminal and measures, from just before it is spawned:
// the mapping of its first top-level window (watched on the X server, matched by _NET_WM_PID) and
// the opening of the pseudo-terminal (inotify IN_OPEN on the device), then checks in /proc that
// the device is still held open; start-up is the later of the two. Beside it, the first drawing
// into that window (a Damage report), which is when the user sees more than an empty frame: a
// program can map its window sooner by leaving work for its first paint. The resident memory is
// read 1.5 s after start-up. Then the window is closed as a window manager would close it.
//
// cutecom (Debian 12: 0.51, on Qt 5) reads its device and line settings from a session in its
// configuration, but none of its command-line options, its manual page or the settings it saves
// opens the device at start-up: its start-up is the mapping of its window alone, with the port
// still closed. --also NAME=PATH adds other builds to the same rounds, for comparisons.

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
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int DefaultRuns = 7;
constexpr auto IdleBeforeMemory = std::chrono::milliseconds(1500);
constexpr auto StartDeadline = std::chrono::seconds(20);
constexpr auto ExitDeadline = std::chrono::seconds(3);
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

// One run of a program, or the medians of its runs.
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

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench-startup: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

bool holdsOpen(pid_t pid, const std::string &device)
{
    std::error_code error;
    for (const auto &entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (std::filesystem::read_symlink(entry.path(), error) == device)
            return true;
    }
    return false;
}

// Sees the device being opened: the program under test is the only one to open it once the
// watch is set.
class OpenWatch
{
public:
    explicit OpenWatch(const std::string &device) : m_watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_watch < 0 || inotify_add_watch(m_watch, device.c_str(), IN_OPEN) < 0)
            fail("inotify");
    }
    ~OpenWatch() { ::close(m_watch); }
    OpenWatch(const OpenWatch &) = delete;
    OpenWatch &operator=(const OpenWatch &) = delete;

    int fd() const { return m_watch; }

    bool takeOpened()
    {
        char buffer[4096];
        bool opened = false;
        while (read(m_watch, buffer, sizeof buffer) > 0)
            opened = true;
        return opened;
    }

private:
    int m_watch;
};

// The X server side: sees top-level windows being mapped and first drawn into, and closes them.
class Display
{
public:
    Display() : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection)) {
            std::fprintf(stderr,
                         "bench-startup: no X server in DISPLAY (run it through bench/run "
                         "startup)\n");
            std::exit(2);
        }
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
    ~Display() { xcb_disconnect(m_connection); }
    Display(const Display &) = delete;
    Display &operator=(const Display &) = delete;

    int fd() const { return xcb_get_file_descriptor(m_connection); }
    bool seesDrawing() const { return m_damageEvent != 0; }

    // Watches for the windows of pid from now on; those of earlier runs have other pids.
    void watch(pid_t pid)
    {
        m_pid = pid;
        m_mapped.reset();
        m_drawn = false;
    }

    // Reads what the X server has reported: whether pid's first ordinary top-level window has
    // been mapped, and drawn into, by now.
    void takeEvents()
    {
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

    std::optional<xcb_window_t> mappedWindow() const { return m_mapped; }
    bool drawn() const { return m_drawn; }

    void askToClose(xcb_window_t window)
    {
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atom("WM_PROTOCOLS");
        message.data.data32[0] = atom("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
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
    pid_t m_pid = -1;
    std::optional<xcb_window_t> m_mapped;
    bool m_drawn = false;
};

// One folder for HOME and the XDG folders of every program, so that none reads the user's own
// settings; cutecom's session is written into it before each of its runs.
class Home
{
public:
    Home()
    {
        char pattern[] = "/tmp/bench-startup.XXXXXX";
        if (!mkdtemp(pattern))
            fail("mkdtemp");
        m_path = pattern;
        std::filesystem::create_directories(m_path + "/.config/CuteCom");
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

    std::vector<std::string> environmentFor(const std::string &device) const
    {
        std::vector<std::string> result;
        for (char **variable = environ; *variable; ++variable) {
            const std::string entry = *variable;
            const std::string name = entry.substr(0, entry.find('='));
            if (name != "HOME" && name != "PELMAR_PORT" && name != "QT_QPA_PLATFORM"
                && !name.starts_with("XDG_"))
                result.push_back(entry);
        }
        result.push_back("HOME=" + m_path);
        result.push_back("XDG_CONFIG_HOME=" + m_path + "/.config");
        result.push_back("XDG_RUNTIME_DIR=" + m_path);
        result.push_back("QT_QPA_PLATFORM=xcb");
        result.push_back("PELMAR_PORT=" + device);
        return result;
    }

private:
    std::string m_path;
};

pid_t spawn(const Program &program, const std::vector<std::string> &environment)
{
    std::vector<char *> argv {const_cast<char *>(program.path.c_str()), nullptr};
    std::vector<char *> envp;
    for (const std::string &entry : environment)
        envp.push_back(const_cast<char *>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error
        = posix_spawn(&pid, program.path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "bench-startup: cannot start %s: %s\n", program.path.c_str(),
                     std::strerror(error));
        std::exit(2);
    }
    return pid;
}

bool waitForExit(pid_t pid, std::chrono::milliseconds deadline)
{
    for (const auto end = Clock::now() + deadline; Clock::now() < end;) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void stop(pid_t pid, Display &display, std::optional<xcb_window_t> window)
{
    if (window)
        display.askToClose(*window);
    if (window && waitForExit(pid, ExitDeadline))
        return;
    kill(pid, SIGTERM);
    if (!waitForExit(pid, std::chrono::seconds(1))) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

std::optional<Sample> runOnce(const Program &program, Display &display, const Home &home)
{
    // A fresh line for every run: a program that closes the device at exit must not hang up the
    // line for the next one.
    const PseudoTerminal line;
    const std::string device = line.devicePath().toStdString();
    OpenWatch watch(device);
    if (program.name == "cutecom")
        home.writeCutecomSession(device);
    const std::vector<std::string> environment = home.environmentFor(device);

    Sample sample;
    std::optional<xcb_window_t> window;
    const Clock::time_point start = Clock::now();
    const auto since = [start] {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    const pid_t pid = spawn(program, environment);
    display.watch(pid);
    while (Clock::now() < start + StartDeadline) {
        display.takeEvents();
        if (!window && (window = display.mappedWindow()))
            sample.windowMs = since();
        if (std::isnan(sample.drawnMs) && display.drawn())
            sample.drawnMs = since();
        if (std::isnan(sample.portMs) && watch.takeOpened())
            sample.portMs = since();
        if (window && (!program.opensPortAtStart || !std::isnan(sample.portMs))
            && (!display.seesDrawing() || !std::isnan(sample.drawnMs)))
            break;
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "bench-startup: %s ended during start-up\n", program.name.c_str());
            return std::nullopt;
        }
        pollfd fds[] = {{display.fd(), POLLIN, 0}, {watch.fd(), POLLIN, 0}};
        poll(fds, 2, PollMilliseconds);
    }
    if (!window || (program.opensPortAtStart && std::isnan(sample.portMs))) {
        std::fprintf(stderr, "bench-startup: %s did not start within %lld s\n",
                     program.name.c_str(), static_cast<long long>(StartDeadline.count()));
        stop(pid, display, window);
        return std::nullopt;
    }
    const Clock::time_point started = Clock::now();
    sample.startMs
        = std::isnan(sample.portMs) ? sample.windowMs : std::max(sample.windowMs, sample.portMs);
    sample.portHeld = holdsOpen(pid, device);

    std::this_thread::sleep_until(started + IdleBeforeMemory);
    sample.residentMb = Benchmark::residentMegabytes(std::to_string(pid));
    sample.proportionalMb
        = Benchmark::procMegabytes("/proc/" + std::to_string(pid) + "/smaps_rollup", "Pss");
    stop(pid, display, window);
    return sample;
}

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

struct Arguments
{
    int runs = DefaultRuns;
    bool verbose = false;
    // Pelmar, the floor, cutecom when it is there, then the others asked for.
    std::vector<Program> programs;
    bool withCutecom = false;
};

std::optional<Arguments> parseArguments(int argc, char *argv[])
{
    Arguments arguments;
    Program pelmar {"pelmar", PELMAR_PATH};
    Program floor {"floor", FLOOR_PATH};
    Program cutecom {"cutecom", findInPath("cutecom"), false};
    std::vector<Program> others;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool valued = i + 1 < argc;
        if (argument == "--runs" && valued) {
            arguments.runs = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--pelmar" && valued) {
            pelmar.path = argv[++i];
        } else if (argument == "--floor" && valued) {
            floor.path = argv[++i];
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
            std::fprintf(stderr,
                         "usage: bench-startup [--runs N] [--pelmar PATH] [--floor PATH] "
                         "[--cutecom PATH | --no-cutecom] [--also NAME=PATH]... [--verbose]\n");
            return std::nullopt;
        }
    }
    arguments.programs = {pelmar, floor};
    arguments.withCutecom = !cutecom.path.empty();
    if (arguments.withCutecom)
        arguments.programs.push_back(cutecom);
    else
        std::fprintf(stderr,
                     "bench-startup: measuring without cutecom (apt-get install cutecom)\n");
    arguments.programs.insert(arguments.programs.end(), others.begin(), others.end());
    return arguments;
}

// Every program's runs, or nothing when one failed to start. One round is not counted, so that
// every program starts with its files in the page cache; then the programs take turns, so that a
// slow spell of the machine falls on all of them alike.
std::optional<std::vector<std::vector<Sample>>> measure(const Arguments &arguments)
{
    Display display;
    const Home home;
    std::vector<std::vector<Sample>> samples(arguments.programs.size());
    for (int round = 0; round <= arguments.runs; ++round) {
        for (std::size_t p = 0; p < arguments.programs.size(); ++p) {
            const Program &program = arguments.programs[p];
            const std::optional<Sample> sample = runOnce(program, display, home);
            if (!sample)
                return std::nullopt;
            if (arguments.verbose) {
                std::printf("%s %-8s start %7.1f ms  window %7.1f ms  port %7.1f ms  drawn %7.1f ms"
                            "  RSS %6.1f MB  PSS %6.1f MB%s\n",
                            round == 0 ? "warm-up" : "run    ", program.name.c_str(),
                            sample->startMs, sample->windowMs, sample->portMs, sample->drawnMs,
                            sample->residentMb, sample->proportionalMb,
                            sample->portHeld ? "  port held" : "");
            }
            if (round > 0)
                samples[p].push_back(*sample);
        }
    }
    return samples;
}

Sample medianOf(const std::vector<Sample> &samples)
{
    const auto median = [&samples](double Sample::*field) {
        std::vector<double> values;
        for (const Sample &sample : samples)
            values.push_back(sample.*field);
        return Benchmark::Summary(values).median();
    };
    return {median(&Sample::startMs), median(&Sample::windowMs),   median(&Sample::portMs),
            median(&Sample::drawnMs), median(&Sample::residentMb), median(&Sample::proportionalMb)};
}

std::string ratioText(double ratio)
{
    char text[32];
    std::snprintf(text, sizeof text, "%gx", ratio);
    return text;
}

// One program's medians over another's.
struct Ratios
{
    double start;
    double drawn;
    double resident;
    double proportional;
};

Ratios printRatios(const std::string &name, const Sample &of, const Sample &to)
{
    const Ratios ratios {of.startMs / to.startMs, of.drawnMs / to.drawnMs,
                         of.residentMb / to.residentMb, of.proportionalMb / to.proportionalMb};
    std::printf("%-20s %11.2f %10s %9s %9.2f %12.2f %8.2f\n", name.c_str(), ratios.start, "", "",
                ratios.drawn, ratios.resident, ratios.proportional);
    return ratios;
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
    std::printf("%-20s %11s %10s %9s %9s %12s %8s %11s\n", "program", "start-up ms", "window ms",
                "port ms", "drawn ms", "resident MB", "PSS MB", "port held");
    std::vector<Sample> medians;
    for (std::size_t p = 0; p < samples.size(); ++p) {
        medians.push_back(medianOf(samples[p]));
        const Sample &s = medians.back();
        std::printf("%-20s %11.1f %10.1f %9.1f %9.1f %12.1f %8.1f %7ld/%zu\n",
                    arguments.programs[p].name.c_str(), s.startMs, s.windowMs, s.portMs, s.drawnMs,
                    s.residentMb, s.proportionalMb,
                    std::count_if(samples[p].begin(), samples[p].end(),
                                  [](const Sample &sample) { return sample.portHeld; }),
                    samples[p].size());
    }
    const Ratios overFloor = printRatios("Pelmar/floor", medians[0], medians[1]);
    for (std::size_t p = arguments.withCutecom ? 3 : 2; p < medians.size(); ++p)
        printRatios(arguments.programs[p].name + "/floor", medians[p], medians[1]);
    std::optional<Ratios> overCutecom;
    if (arguments.withCutecom) {
        overCutecom = printRatios("Pelmar/cutecom", medians[0], medians[2]);
        std::printf("\ncutecom cannot open its device at start-up: its start-up is its window "
                    "alone, with the port\nclosed (it only shows the session's device and "
                    "9600 7-Even-2 until Open is pressed).\n");
    }
    std::printf("\n");
    bool met = Benchmark::printVerdict("start-up within " + ratioText(TargetFloorStartRatio)
                                           + " of the floor's",
                                       overFloor.start <= TargetFloorStartRatio);
    met = Benchmark::printVerdict("memory within " + ratioText(TargetFloorMemoryRatio)
                                      + " of the floor's",
                                  overFloor.resident <= TargetFloorMemoryRatio)
        && met;
    if (overCutecom) {
        met = Benchmark::printVerdict("start-up at most half of cutecom's",
                                      overCutecom->start <= TargetCutecomStartRatio)
            && met;
        met = Benchmark::printVerdict("memory at most 40% of cutecom's",
                                      overCutecom->resident <= TargetCutecomMemoryRatio)
            && met;
    }
    return met;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::optional<Arguments> arguments = parseArguments(argc, argv);
    if (!arguments)
        return 2;
    const auto samples = measure(*arguments);
    if (!samples)
        return 1;
    return report(*arguments, *samples) ? 0 : 1;
}
