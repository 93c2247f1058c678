#pragma once
// The part of main() every benchmark program shares, once the program has
// made the Qt application object it needs.

#include <benchmark/benchmark.h>

inline int RunBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
