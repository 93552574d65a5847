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
#include <sys/stat.h>
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

struct Sample
{
    double windowMs = NAN;
    double portMs = NAN;
    double startMs = NAN;
    double drawnMs = NAN;
    double residentMb = NAN;
    double proportionalMb = NAN;
    bool portHeld = false;
};

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench-startup: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

bool holdsOpen(pid_t pid, const std::string &device)
{
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
    for (int fd = 0; fd < 1024; ++fd) {
        char target[256] = {};
        const ssize_t n
            = readlink((folder + std::to_string(fd)).c_str(), target, sizeof target - 1);
        if (n > 0 && device == target)
            return true;
    }
    return false;
}

// Sees the device being opened: the program under test is the only one to open it once the
// watch is set.
class OpenWatch
{
public:
    explicit OpenWatch(const std::string &device)
    {
        m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
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
    int m_watch = -1;
};

// The X server side: sees top-level windows being mapped and first drawn into, and closes them.
class Display
{
public:
    Display()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection)) {
            std::fprintf(stderr,
                         "bench-startup: no X server in DISPLAY (run it through bench/run "
                         "startup)\n");
            std::exit(2);
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        m_pidAtom = atom("_NET_WM_PID");
        m_protocolsAtom = atom("WM_PROTOCOLS");
        m_deleteAtom = atom("WM_DELETE_WINDOW");
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
        message.type = m_protocolsAtom;
        message.data.data32[0] = m_deleteAtom;
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, false, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(m_connection);
    }

private:
    xcb_atom_t atom(const char *name)
    {
        const auto cookie = xcb_intern_atom(m_connection, false, uint16_t(std::strlen(name)), name);
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(m_connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    pid_t windowPid(xcb_window_t window)
    {
        const auto cookie
            = xcb_get_property(m_connection, false, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1);
        xcb_get_property_reply_t *reply = xcb_get_property_reply(m_connection, cookie, nullptr);
        pid_t pid = -1;
        if (reply && xcb_get_property_value_length(reply) == 4)
            pid = pid_t(*static_cast<uint32_t *>(xcb_get_property_value(reply)));
        std::free(reply);
        return pid;
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
    xcb_atom_t m_protocolsAtom = XCB_ATOM_NONE;
    xcb_atom_t m_deleteAtom = XCB_ATOM_NONE;
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
        mkdir((m_path + "/.config").c_str(), 0700);
        mkdir((m_path + "/.config/CuteCom").c_str(), 0700);
    }
    ~Home() { std::filesystem::remove_all(m_path); }
    Home(const Home &) = delete;
    Home &operator=(const Home &) = delete;

    const std::string &path() const { return m_path; }

    // cutecom's session format, as cutecom writes it itself: Parity 2 is QSerialPort's even parity.
    void writeCutecomSession(const std::string &device) const
    {
        std::ofstream out(m_path + "/.config/CuteCom/CuteCom5.conf");
        out << "[sessions]\n"
               "1\\BaudRate=9600\n1\\DataBits=7\n1\\Device="
            << device
            << "\n1\\FlowControl=0\n1\\OpenMode=3\n1\\Parity=2\n1\\StopBits=2\n"
               "1\\autoReconnect=false\n1\\name=Default\nsize=1\n";
    }

private:
    std::string m_path;
};

std::vector<std::string> environmentFor(const Home &home, const std::string &device)
{
    std::vector<std::string> result;
    for (char **variable = environ; *variable; ++variable) {
        const std::string entry = *variable;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "HOME" && name != "PELMAR_PORT" && name != "QT_QPA_PLATFORM"
            && name.rfind("XDG_", 0) != 0)
            result.push_back(entry);
    }
    result.push_back("HOME=" + home.path());
    result.push_back("XDG_CONFIG_HOME=" + home.path() + "/.config");
    result.push_back("XDG_RUNTIME_DIR=" + home.path());
    result.push_back("QT_QPA_PLATFORM=xcb");
    result.push_back("PELMAR_PORT=" + device);
    return result;
}

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
    const auto end = Clock::now() + deadline;
    while (Clock::now() < end) {
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
    // The slave stays open here too: a program that closes the device at exit must not hang up
    // the line for the next one.
    const PseudoTerminal line;
    const std::string device = line.devicePath().toStdString();
    OpenWatch watch(device);
    if (program.name == "cutecom")
        home.writeCutecomSession(device);
    const std::vector<std::string> environment = environmentFor(home, device);

    Sample sample;
    std::optional<xcb_window_t> window;
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(program, environment);
    display.watch(pid);
    const auto deadline = start + StartDeadline;
    while (Clock::now() < deadline) {
        display.takeEvents();
        if (!window && (window = display.mappedWindow()))
            sample.windowMs = millisecondsSince(start);
        if (std::isnan(sample.drawnMs) && display.drawn())
            sample.drawnMs = millisecondsSince(start);
        if (std::isnan(sample.portMs) && watch.takeOpened())
            sample.portMs = millisecondsSince(start);
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
    const std::string proc = "/proc/" + std::to_string(pid);
    sample.residentMb = Benchmark::residentMegabytes(pid);
    sample.proportionalMb = Benchmark::procMegabytes(proc + "/smaps_rollup", "Pss");
    stop(pid, display, window);
    return sample;
}

struct Summary
{
    double startMs;
    double windowMs;
    double portMs;
    double drawnMs;
    double residentMb;
    double proportionalMb;
    int portHeld;
    int runs;
};

Summary summarize(const std::vector<Sample> &samples)
{
    auto column = [&](double Sample::*field) {
        std::vector<double> values;
        for (const Sample &sample : samples)
            values.push_back(sample.*field);
        return Benchmark::percentile(values, 0.5);
    };
    const int held = int(std::count_if(samples.begin(), samples.end(),
                                       [](const Sample &sample) { return sample.portHeld; }));
    return {column(&Sample::startMs),
            column(&Sample::windowMs),
            column(&Sample::portMs),
            column(&Sample::drawnMs),
            column(&Sample::residentMb),
            column(&Sample::proportionalMb),
            held,
            int(samples.size())};
}

std::string ratioText(double ratio)
{
    char text[32];
    std::snprintf(text, sizeof text, "%gx", ratio);
    return text;
}

std::string findInPath(const std::string &name)
{
    const char *path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

} // namespace

int main(int argc, char *argv[])
{
    int runs = DefaultRuns;
    bool verbose = false;
    std::string pelmarPath = PELMAR_PATH;
    std::string floorPath = FLOOR_PATH;
    std::string cutecom = findInPath("cutecom");
    std::vector<Program> others;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--pelmar" && i + 1 < argc) {
            pelmarPath = argv[++i];
        } else if (argument == "--floor" && i + 1 < argc) {
            floorPath = argv[++i];
        } else if (argument == "--cutecom" && i + 1 < argc) {
            cutecom = argv[++i];
        } else if (argument == "--no-cutecom") {
            cutecom.clear();
        } else if (argument == "--also" && i + 1 < argc && std::strchr(argv[i + 1], '=')) {
            // Another build or program to compare, in the same rounds: NAME=PATH.
            const std::string other = argv[++i];
            const std::size_t equals = other.find('=');
            others.push_back({other.substr(0, equals), other.substr(equals + 1), true});
        } else if (argument == "--verbose") {
            verbose = true;
        } else {
            std::fprintf(stderr,
                         "usage: bench-startup [--runs N] [--pelmar PATH] [--floor PATH] "
                         "[--cutecom PATH | --no-cutecom] [--also NAME=PATH]... [--verbose]\n");
            return 2;
        }
    }

    std::vector<Program> programs {{"pelmar", pelmarPath, true}, {"floor", floorPath, true}};
    std::optional<std::size_t> cutecomIndex;
    if (cutecom.empty()) {
        std::fprintf(stderr,
                     "bench-startup: measuring without cutecom (apt-get install cutecom)\n");
    } else {
        cutecomIndex = programs.size();
        programs.push_back({"cutecom", cutecom, false});
    }
    programs.insert(programs.end(), others.begin(), others.end());

    Display display;
    const Home home;
    std::vector<std::vector<Sample>> samples(programs.size());
    // One round not counted, so that every program starts with its files in the page cache; then
    // the programs take turns, so that a slow spell of the machine falls on all of them alike.
    for (int round = 0; round <= runs; ++round) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            const std::optional<Sample> sample = runOnce(programs[p], display, home);
            if (!sample)
                return 1;
            if (verbose) {
                std::printf("%s %-8s start %7.1f ms  window %7.1f ms  port %7.1f ms  drawn %7.1f ms"
                            "  RSS %6.1f MB  PSS %6.1f MB%s\n",
                            round == 0 ? "warm-up" : "run    ", programs[p].name.c_str(),
                            sample->startMs, sample->windowMs, sample->portMs, sample->drawnMs,
                            sample->residentMb, sample->proportionalMb,
                            sample->portHeld ? "  port held" : "");
            }
            if (round > 0)
                samples[p].push_back(*sample);
        }
    }

    std::vector<Summary> summaries;
    for (const std::vector<Sample> &programSamples : samples)
        summaries.push_back(summarize(programSamples));

    // Without a session bus, Qt never looks for the accessibility bus, whatever it is told.
    const bool accessible = std::getenv("DBUS_SESSION_BUS_ADDRESS")
        && std::getenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
    std::printf("\nStart-up and memory, medians of %d runs each on DISPLAY %s, accessibility %s; "
                "%s\n(start-up: from spawn until the window is mapped and the port is open; "
                "drawn: until the\nprogram first draws into its window; memory: 1.5 s after "
                "start-up)\n\n",
                runs, std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "?",
                accessible ? "on" : "off", Benchmark::loadAverage().c_str());
    std::printf("%-20s %11s %10s %9s %9s %12s %8s %11s\n", "program", "start-up ms", "window ms",
                "port ms", "drawn ms", "resident MB", "PSS MB", "port held");
    for (std::size_t p = 0; p < programs.size(); ++p) {
        const Summary &s = summaries[p];
        std::printf("%-20s %11.1f %10.1f %9.1f %9.1f %12.1f %8.1f %7d/%d\n",
                    programs[p].name.c_str(), s.startMs, s.windowMs, s.portMs, s.drawnMs,
                    s.residentMb, s.proportionalMb, s.portHeld, s.runs);
    }
    const auto printRatios = [](const std::string &name, const Summary &s, const Summary &to) {
        std::printf("%-20s %11.2f %10s %9s %9.2f %12.2f %8.2f\n", name.c_str(),
                    s.startMs / to.startMs, "", "", s.drawnMs / to.drawnMs,
                    s.residentMb / to.residentMb, s.proportionalMb / to.proportionalMb);
    };
    const Summary &pelmar = summaries[0];
    const Summary &floor = summaries[1];
    const double floorStart = pelmar.startMs / floor.startMs;
    const double floorMemory = pelmar.residentMb / floor.residentMb;
    printRatios("Pelmar/floor", pelmar, floor);
    for (std::size_t p = programs.size() - others.size(); p < programs.size(); ++p)
        printRatios(programs[p].name + "/floor", summaries[p], floor);
    bool met = floorStart <= TargetFloorStartRatio && floorMemory <= TargetFloorMemoryRatio;
    if (cutecomIndex) {
        const Summary &other = summaries[*cutecomIndex];
        const double cutecomStart = pelmar.startMs / other.startMs;
        const double cutecomMemory = pelmar.residentMb / other.residentMb;
        printRatios("Pelmar/cutecom", pelmar, other);
        std::printf("\ncutecom cannot open its device at start-up: its start-up is its window "
                    "alone, with the port\nclosed (it only shows the session's device and "
                    "9600 7-Even-2 until Open is pressed).\n");
        met = met && cutecomStart <= TargetCutecomStartRatio
            && cutecomMemory <= TargetCutecomMemoryRatio;
    }
    std::printf("\n");
    Benchmark::printVerdict("start-up within " + ratioText(TargetFloorStartRatio)
                                + " of the floor's",
                            floorStart <= TargetFloorStartRatio);
    Benchmark::printVerdict("memory within " + ratioText(TargetFloorMemoryRatio)
                                + " of the floor's",
                            floorMemory <= TargetFloorMemoryRatio);
    if (cutecomIndex) {
        const Summary &other = summaries[*cutecomIndex];
        Benchmark::printVerdict("start-up at most half of cutecom's",
                                pelmar.startMs / other.startMs <= TargetCutecomStartRatio);
        Benchmark::printVerdict("memory at most 40% of cutecom's",
                                pelmar.residentMb / other.residentMb <= TargetCutecomMemoryRatio);
    }
    return met ? 0 : 1;
}
