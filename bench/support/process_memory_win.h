#pragma once
// The process's memory as the system counts it (GetProcessMemoryInfo), for
// the benchmarks: private bytes and working set now, the highest of each
// while a step runs, and how many copies of one full picture that is above
// an idle figure taken in the same run. Where the system leaves the private
// bytes at 0 (Wine), they are summed from the committed private regions of
// the address space, which is what the figure means.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

struct MemoryFigures {
    double privateMb = 0;
    double workingSetMb = 0;
};

inline SIZE_T committedPrivateBytes(HANDLE process) {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    const char* at = nullptr;
    while (VirtualQueryEx(process, at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

inline MemoryFigures memoryOf(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    SIZE_T privateBytes = counters.PrivateUsage ? counters.PrivateUsage : committedPrivateBytes(process);
    constexpr double kMb = 1024.0 * 1024.0;
    return {static_cast<double>(privateBytes) / kMb, static_cast<double>(counters.WorkingSetSize) / kMb};
}

inline MemoryFigures memoryNow() {
    return memoryOf(GetCurrentProcess());
}

// Samples the figures every millisecond on a thread of its own from
// construction to peak(); only for steps whose time is not being measured.
class MemoryPeak {
public:
    MemoryPeak() : highest_(memoryNow()), sampler_([this] { sample(); }) {}
    ~MemoryPeak() { stop(); }
    MemoryPeak(const MemoryPeak&) = delete;
    MemoryPeak& operator=(const MemoryPeak&) = delete;

    MemoryFigures peak() {
        stop();
        keep(memoryNow());
        return highest_;
    }

private:
    void sample() {
        while (!done_) {
            keep(memoryNow());
            Sleep(1);
        }
    }
    void keep(MemoryFigures now) {
        highest_.privateMb = std::max(highest_.privateMb, now.privateMb);
        highest_.workingSetMb = std::max(highest_.workingSetMb, now.workingSetMb);
    }
    void stop() {
        done_ = true;
        if (sampler_.joinable()) sampler_.join();
    }

    MemoryFigures highest_;
    std::atomic<bool> done_{false};
    std::thread sampler_;
};

// One line: the figures and the full copies of `copyMb` each holds above idle.
inline void printMemoryStep(const char* step, MemoryFigures figures, MemoryFigures idle, double copyMb) {
    std::printf("  %-44s private %7.1f MB (%5.2f copies)   working set %7.1f MB (%5.2f copies)\n", step,
                figures.privateMb, (figures.privateMb - idle.privateMb) / copyMb, figures.workingSetMb,
                (figures.workingSetMb - idle.workingSetMb) / copyMb);
}

// Runs one step and prints the highest figures seen while it ran.
template <typename Step>
void printPeakOf(const char* step, Step&& run, MemoryFigures idle, double copyMb) {
    MemoryPeak during;
    run();
    printMemoryStep(step, during.peak(), idle, copyMb);
}
