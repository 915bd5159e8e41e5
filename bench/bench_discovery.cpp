// Measures how long start-up spends finding the idle ports while many other processes hold
// files: one walk of /proc must serve one port or 32 alike.

#include "serial/busyport.h"
#include "rig.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The median time of a few calls, in milliseconds.
template <class Call>
double medianMs(Call call)
{
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        call();
        times.push_back(std::chrono::duration<double, std::milli>(
                                std::chrono::steady_clock::now() - start)
                                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    constexpr int Processes = 2000;
    constexpr int Ports = 32;

    // What a typical process holds: its standard streams, a device or two, some files.
    std::vector<int> held;
    for (const char *path : {"/dev/null", "/dev/null", "/dev/null", "/dev/urandom", "/etc/passwd",
                             "/etc/hostname", "/etc/os-release", "/proc/self/stat"})
        held.push_back(::open(path, O_RDONLY | O_CLOEXEC));
    std::vector<pid_t> holders;
    for (int i = 0; i < Processes; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::pause();
            ::_exit(0);
        }
        if (pid < 0)
            break;
        holders.push_back(pid);
    }
    for (const int fd : held)
        ::close(fd);

    // Pseudo-terminals are not listed as serial ports; their paths go to the check directly.
    std::vector<std::unique_ptr<PseudoTerminal>> devices;
    QStringList ports;
    for (int i = 0; i < Ports; ++i) {
        devices.push_back(std::make_unique<PseudoTerminal>());
        ports.append(devices.back()->portName());
    }

    busyPorts(ports); // the first walk also fills the kernel's caches
    const double one = medianMs([&] { busyPorts(ports.mid(0, 1)); });
    const double all = medianMs([&] { busyPorts(ports); });
    const double each = medianMs([&] {
        for (const QString &port : qAsConst(ports))
            busyPorts({port});
    });
    std::printf("Idle-port discovery with %d other processes holding %zu files each "
                "(median of 5):\n  1 port: %.1f ms; %d ports: %.1f ms; %d ports asked one at a "
                "time: %.1f ms\n",
                int(holders.size()), held.size(), one, Ports, all, Ports, each);

    for (const pid_t pid : holders)
        ::kill(pid, SIGKILL);
    for (const pid_t pid : holders)
        ::waitpid(pid, nullptr, 0);
    return 0;
}
