// Choosing a stanza from a large library: the candidate list alone, the whole
// pure pick (candidates, draws, task filled), and the window's PickStanza.
// Target: one pick under 20 ms for 60,000 poems (about 480,000 lines).
#include "app/uMain.h"
#include "bench_main.h"
#include "game/puzzle.h"
#include "support/dialog_answerer.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kPoems = 60000;
constexpr int kLinesPerPoem = 8;

// 60,000 poems of eight lines: five- and seven-character poems, and every
// tenth poem irregular (a seven-character line among five-character ones).
const std::vector<TPoemRecord>& Library()
{
    static const std::vector<TPoemRecord> poems = [] {
        const std::string chars = GbkFromUtf8("春眠不觉晓处闻啼鸟夜来风雨声花落知多少床前明月光疑是地上霜举");
        std::vector<TPoemRecord> library(kPoems);
        for (int p = 0; p < kPoems; ++p) {
            TPoemRecord& poem = library[static_cast<std::size_t>(p)];
            poem.Title = GbkFromUtf8("诗") + std::to_string(p);
            poem.Author = GbkFromUtf8("佚名");
            const int n = p % 2 == 0 ? 5 : 7;
            TStrArray lines;
            for (int i = 0; i < kLinesPerPoem; ++i) {
                const int length = (p % 10 == 9 && i == 3) ? 7 : n;
                std::string line;
                for (int k = 0; k < length; ++k)
                    line += chars.substr(static_cast<std::size_t>((p + i * 3 + k) % 30) * 2, 2);
                poem.Content += line + "\r\n";
                lines.push_back(std::move(line));
            }
            poem.Lines = TVerseLines::From(lines);
        }
        return library;
    }();
    return poems;
}

// The stored list, which the pick itself does not build: for comparison with
// the two walks the pick makes instead (the list's fresh megabytes cost page
// faults on every call).
void BM_StanzaCandidates(benchmark::State& state)
{
    const auto& poems = Library();
    std::size_t count = 0;
    for (auto _ : state) {
        const auto candidates = StanzaCandidates(poems, kPoems);
        count = candidates.size();
        benchmark::DoNotOptimize(candidates.data());
    }
    state.counters["candidates"] = static_cast<double>(count);
}
BENCHMARK(BM_StanzaCandidates)->Unit(benchmark::kMillisecond);

void BM_PickStanzaFrom(benchmark::State& state)
{
    const auto& poems = Library();
    TGuessTask task;
    for (auto _ : state) {
        const bool picked = PickStanzaFrom(poems, kPoems, {}, ClockSeededDraw, task);
        benchmark::DoNotOptimize(picked);
        benchmark::DoNotOptimize(task.RevealedCount);
    }
}
BENCHMARK(BM_PickStanzaFrom)->Unit(benchmark::kMillisecond);

void BM_WindowPickStanza(benchmark::State& state)
{
    QTemporaryDir programDir;  // no database: the window starts with an empty library
    SetProgramDirectoryOverride(programDir.path());
    auto frm = std::make_unique<TfrmMain>();
    SetProgramDirectoryOverride(QString());
    frm->FPoems = Library();
    frm->FPoemCount = kPoems;
    for (auto _ : state) {
        const bool picked = frm->PickStanza();
        benchmark::DoNotOptimize(picked);
    }
}
BENCHMARK(BM_WindowPickStanza)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    SetMessageBoxHook([](const TMessageBoxCall&) {});  // the missing database is expected
    // Accepts the source dialog every window opens while it is created.
    new TDialogAnswerer([](QDialog* dialog) { dialog->accept(); }, &app);
    return RunBenchmarks(argc, argv);
}
