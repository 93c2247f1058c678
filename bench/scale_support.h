#pragma once
// What the full-scale benchmarks (bench_scale.cpp, bench_scale_remote.cpp)
// share: the moment the source dialog was accepted, showing a window until it
// painted, the heap a library gives back, medians.

#include "app/uMain.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

// When OK was last pressed in the source dialog (main() accepts every one at once).
struct TDialogAccepted {
    std::chrono::steady_clock::time_point Accepted;
};
extern TDialogAccepted* gAccepter;

// Bytes the program holds from malloc: small blocks and mapped large ones.
std::size_t HeapInUse();
// Shows `frm` and returns once it has painted itself.
void ShowUntilPainted(TfrmMain& frm);
// The resident memory of the process, now and at its peak since the last
// reset, in bytes: one read of /proc/self/status (Linux).
struct TResidentMemory {
    std::int64_t Current = 0;
    std::int64_t Peak = 0;
};
TResidentMemory ResidentMemory();
void ResetPeakResident();

// What the library of a window holds, measured as what freeing it gives back
// (the library is empty afterwards): heap bytes, and resident bytes once the
// heap has returned its free pages to the system.
struct TLibraryMemory {
    std::int64_t Heap = 0;
    std::int64_t Resident = 0;
    // Sets the counters bytes_per_poem (heap) and rss_bytes_per_poem.
    void Report(benchmark::State& state, std::int64_t poems) const;
};
TLibraryMemory LibraryMemory(TfrmMain& frm);
// The middle value of `values` (0 for none).
double Median(std::vector<double> values);

// The figures of load iterations, each beside its floor.
struct TLoadFigures {
    std::vector<double> Floors;
    std::vector<double> Ratios;
    std::int64_t Poems = 0;
    // Notes one iteration: its load time (as the benchmark's), its floor, the
    // poems of `frm`; marks the run failed when no puzzle is on screen.
    void Note(benchmark::State& state, const TfrmMain& frm, double load, double floor);
    // Sets the counters poems, floor_ms and ratio (the medians), and
    // first_ratio (the first iteration's).
    void Report(benchmark::State& state) const;
};
