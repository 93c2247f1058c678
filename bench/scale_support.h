#pragma once
// What the full-scale benchmarks (bench_scale.cpp, bench_scale_remote.cpp)
// share: the moment the source dialog was accepted, showing a window until it
// painted, the heap a library gives back, medians.

#include "app/uMain.h"

#include <chrono>
#include <cstddef>
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
