// Throughput of cutting poem texts into verse lines, as the loader does for
// every row it reads.
#include "library/poem.h"

#include <benchmark/benchmark.h>

namespace {

std::string SampleContent()
{
    return GbkFromUtf8("床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。\r\n"
                       "两个黄鹂鸣翠柳，一行白鹭上青天。\r\n窗含西岭千秋雪，门泊东吴万里船。\r\n");
}

void BM_SplitVerseLines(benchmark::State& state)
{
    std::string content;
    for (int i = 0; i < state.range(0); ++i)
        content += SampleContent();
    TStrArray lines;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SplitVerseLines(content, lines));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(content.size()));
}
BENCHMARK(BM_SplitVerseLines)->Arg(1)->Arg(64);

}  // namespace
