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
// The bytes the library of `frm` holds, measured as the heap it gives back
// (the library is empty afterwards).
std::size_t LibraryBytes(TfrmMain& frm);
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
    // Sets the counters poems, floor_ms and ratio (the medians).
    void Report(benchmark::State& state) const;
};
