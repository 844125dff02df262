// The program's start against a bare Qt window's. Both run as real processes on a virtual
// X display of their own, alternately; the time is from the fork to the first top-level
// window mapped, and the memory is the peak resident size once the process has gone quiet
// (the start screen drawn, nothing more to do). The CPU time up to the window mapped (all
// threads) is given too: on a busy machine it varies less than the time. The counters give
// the medians and their ratios: program over hello.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kShowLimit = std::chrono::seconds(30);

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void stop(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Xvfb on a display number it picks itself, watched for windows mapped on its root.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (pipe(fds) != 0) return;
        server_ = fork();
        if (server_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDERR_FILENO);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return;
        name_ = ":" + number;
        connection_ = xcb_connect(name_.c_str(), nullptr);
        if (xcb_connection_has_error(connection_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
        ready_ = true;
    }
    ~VirtualDisplay() {
        if (connection_) xcb_disconnect(connection_);
        if (server_ > 0) stop(server_);
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool ready() const { return ready_; }
    const std::string& name() const { return name_; }

    void drain() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(connection_)) std::free(e);
    }

    // Waits for a top-level window to be mapped; false when `alive` says the process has
    // gone or the limit passed.
    template <class Alive>
    bool waitForMap(Alive alive) {
        const auto end = Clock::now() + kShowLimit;
        pollfd p{xcb_get_file_descriptor(connection_), POLLIN, 0};
        while (Clock::now() < end) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(connection_)) {
                const bool mapped = (e->response_type & 0x7F) == XCB_MAP_NOTIFY;
                std::free(e);
                if (mapped) return true;
            }
            if (!alive()) return false;
            poll(&p, 1, 50);
        }
        return false;
    }

private:
    pid_t server_ = -1;
    std::string name_;
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    bool ready_ = false;
};

// A copy of the program folder, so that the program's locks and Master.dat's user row
// stay out of the build's own folder, and a running `make run` is not disturbed.
class ProgramFolder {
public:
    ProgramFolder() {
        char pattern[] = "/tmp/kv-bench-start-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        dir_ = pattern;
        fs::copy(KV_BIN_DIR, dir_, fs::copy_options::recursive);
    }
    ~ProgramFolder() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path path() const { return dir_; }

private:
    fs::path dir_;
};

// Total CPU ticks of a process, all its threads.
long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

// CPU time of a process so far, all its threads, in milliseconds.
double cpuMilliseconds(pid_t pid) {
    double total = 0;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "schedstat");
        double ns = 0;
        if (in >> ns) total += ns / 1e6;
    }
    return total;
}

double peakMiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// Waits until the process has used no CPU for a while: its start is over.
void waitUntilQuiet(pid_t pid) {
    const auto end = Clock::now() + kShowLimit;
    long last = cpuTicks(pid);
    int quiet = 0;
    while (quiet < 4 && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const long now = cpuTicks(pid);
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
}

struct Start {
    double shownMs = 0;
    double cpuMs = 0;
    double peakMiB = 0;
};

std::optional<Start> measure(VirtualDisplay& display, const fs::path& program, const std::string& card) {
    display.drain();
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.name().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("RDX_EMULATOR_CARD", card.c_str(), 1);
        // A desktop has its session bus running. Without one, Qt's accessibility bridge
        // would launch one on demand, and that fork would measure the size of the process
        // rather than its start.
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kv-bench-bus", 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) return std::nullopt;
    const bool shown = display.waitForMap([pid] { return waitpid(pid, nullptr, WNOHANG) == 0; });
    Start result;
    result.shownMs = millisecondsSince(start);
    if (shown) {
        result.cpuMs = cpuMilliseconds(pid);
        waitUntilQuiet(pid);
        result.peakMiB = peakMiB(pid);
    }
    stop(pid);
    if (!shown) return std::nullopt;
    return result;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void BM_StartAgainstBareQt(benchmark::State& state) {
    VirtualDisplay display;
    if (!display.ready()) {
        state.SkipWithError("Xvfb did not start (package xvfb)");
        return;
    }
    ProgramFolder folder;
    const fs::path program = folder.path() / "KV_M58S";
    const std::string card = (folder.path() / "emulated-card.img").string();
    std::vector<double> helloMs, programMs, helloCpu, programCpu, helloMiB, programMiB;
    bool helloFirst = true;
    // One pair first, unmeasured: the font cache and the files' pages are warm after it.
    measure(display, KV_HELLO, card);
    measure(display, program, card);
    for (auto _ : state) {
        std::optional<Start> hello, ours;
        if (helloFirst) hello = measure(display, KV_HELLO, card);
        ours = measure(display, program, card);
        if (!helloFirst) hello = measure(display, KV_HELLO, card);
        helloFirst = !helloFirst;
        if (!hello || !ours) {
            state.SkipWithError("a window was not shown within 30 seconds");
            return;
        }
        state.SetIterationTime(ours->shownMs / 1000.0);
        helloMs.push_back(hello->shownMs);
        programMs.push_back(ours->shownMs);
        helloCpu.push_back(hello->cpuMs);
        programCpu.push_back(ours->cpuMs);
        helloMiB.push_back(hello->peakMiB);
        programMiB.push_back(ours->peakMiB);
    }
    state.counters["hello_ms"] = median(helloMs);
    state.counters["program_ms"] = median(programMs);
    state.counters["time_ratio"] = median(programMs) / median(helloMs);
    state.counters["hello_cpu_ms"] = median(helloCpu);
    state.counters["program_cpu_ms"] = median(programCpu);
    state.counters["cpu_ratio"] = median(programCpu) / median(helloCpu);
    state.counters["hello_MiB"] = median(helloMiB);
    state.counters["program_MiB"] = median(programMiB);
    state.counters["memory_ratio"] = median(programMiB) / median(helloMiB);
}
BENCHMARK(BM_StartAgainstBareQt)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
