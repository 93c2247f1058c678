#include "game/puzzle.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <random>
#include <stdexcept>
#include <utility>

int ClockSeededDraw(int n)
{
    if (n <= 1)
        return 0;
    // A fresh generator seeded from the clock for every draw, so that no
    // state survives between draws.
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::mt19937_64 generator(static_cast<std::uint64_t>(ticks));
    std::uniform_int_distribution<int> uniform(0, n - 1);
    return uniform(generator);
}

namespace {

// Calls visit(candidate) for each stanza start of poem number `p`, in order,
// until it returns false; false when it was stopped.
template <typename TVisit> bool VisitPoemCandidates(const TPoemRecord& poem, std::size_t p, TVisit&& visit)
{
    return VisitStanzaStarts(poem.Lines, [&](std::size_t start) {
        return visit(TStanzaCandidate{static_cast<std::int32_t>(p), static_cast<std::int32_t>(start)});
    });
}

// Walks the candidates in library order, start by start, calling
// visit(candidate) for each until it returns false.
template <typename TVisit>
void VisitCandidates(const std::vector<TPoemRecord>& poems, int poemCount, const TTitleFilter& isUsed, TVisit&& visit)
{
    const std::size_t count = std::min(static_cast<std::size_t>(std::max(poemCount, 0)), poems.size());
    for (std::size_t p = 0; p < count; ++p) {
        if (isUsed && isUsed(poems[p].Title))
            continue;
        if (!VisitPoemCandidates(poems[p], p, visit))
            return;
    }
}

}  // namespace

std::vector<TStanzaCandidate> StanzaCandidates(const std::vector<TPoemRecord>& poems, int poemCount,
                                               const TTitleFilter& isUsed)
{
    std::vector<TStanzaCandidate> candidates;
    VisitCandidates(poems, poemCount, isUsed, [&](const TStanzaCandidate& candidate) {
        candidates.push_back(candidate);
        return true;
    });
    return candidates;
}

TCharPos RevealWalk(const TGuessTask& task, int r)
{
    if (r < 0)
        return {};
    for (int line = 0; line < kStanzaLines; ++line) {
        const int count = task.Lines[static_cast<std::size_t>(line)].CharCount;
        if (count > r)
            return {line, r};
        r -= count;
    }
    return {};
}

void FillTask(TGuessTask& task, const TPoemRecord& poem, int start)
{
    task.Title = poem.Title;
    task.Author = poem.Author;
    task.Dynasty = poem.Dynasty;
    task.Content = poem.Content;
    task.TotalChars = 0;
    for (int i = 0; i < kStanzaLines; ++i) {
        TLineState& line = task.Lines[static_cast<std::size_t>(i)];
        line.Text = poem.Lines.at(static_cast<std::size_t>(start + i));
        line.CharCount = LineCharCount(line.Text);
        task.TotalChars += line.CharCount;
        line.Revealed.assign(static_cast<std::size_t>(line.CharCount), 0);
    }
    task.RevealedCount = 0;
}

namespace {

int Draw(const TRandomDraw& draw, int n)
{
    const int value = draw ? draw(n) : ClockSeededDraw(n);
    if (value < 0 || value >= n)
        throw std::out_of_range("random draw " + std::to_string(value) + " outside 0.." + std::to_string(n - 1));
    return value;
}

}  // namespace

bool PickStanzaFrom(const std::vector<TPoemRecord>& poems, int poemCount, const TTitleFilter& isUsed,
                    const TRandomDraw& draw, TGuessTask& task)
{
    // Each poem's candidates are counted (when loaded, mostly); the drawn one
    // is then found among those counts and in its poem's lines alone. Same
    // choice as walking the whole list, without storing it (megabytes for a
    // large library) or walking every line of the library.
    const std::size_t size = std::min(static_cast<std::size_t>(std::max(poemCount, 0)), poems.size());
    std::vector<std::uint32_t> perPoem(size);
    std::int64_t count = 0;
    for (std::size_t p = 0; p < size; ++p) {
        const TPoemRecord& poem = poems[p];
        if (poem.Lines.size() < static_cast<std::size_t>(kStanzaLines) || (isUsed && isUsed(poem.Title)))
            continue;
        perPoem[p] = static_cast<std::uint32_t>(poem.StanzaCount >= 0 ? poem.StanzaCount : CountStanzas(poem.Lines));
        count += perPoem[p];
    }
    if (count == 0)
        return false;
    if (count > std::numeric_limits<int>::max())
        throw std::length_error("too many stanza candidates");

    int drawn = Draw(draw, static_cast<int>(count));
    std::size_t poem = 0;
    while (static_cast<std::uint32_t>(drawn) >= perPoem[poem])
        drawn -= static_cast<int>(perPoem[poem++]);
    TStanzaCandidate chosen;
    VisitPoemCandidates(poems[poem], poem, [&](const TStanzaCandidate& candidate) {
        if (drawn-- > 0)
            return true;
        chosen = candidate;
        return false;
    });

    // Built aside and moved in at the end, so that a failing draw leaves the
    // current puzzle as it was.
    TGuessTask next;
    FillTask(next, poems[static_cast<std::size_t>(chosen.Poem)], chosen.Start);
    const TCharPos pos = RevealWalk(next, Draw(draw, next.TotalChars));
    next.Lines[static_cast<std::size_t>(pos.Line)].Revealed[static_cast<std::size_t>(pos.Index)] = 1;
    next.RevealedCount = 1;
    task = std::move(next);
    return true;
}
