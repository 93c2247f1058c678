#pragma once
// The puzzle state: four verse lines of one poem with their uncovered flags,
// and the poem's title (the answer), author, dynasty and text. Also the pure
// rules of choosing a stanza, free of widgets so that tests call them directly.

#include "library/poem.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TLineState {
    std::string Text;  // the line's GBK bytes, double-byte characters only
    std::vector<std::uint8_t> Revealed;  // one flag per character: 0 covered, 1 uncovered
    int CharCount = 0;  // byte length of Text div 2
};

// A puzzle shows one stanza: kStanzaLines consecutive verse lines of one
// poem (library/poem.h holds the stanza rule).
struct TGuessTask {
    std::array<TLineState, kStanzaLines> Lines;
    std::string Title;
    std::string Author;
    std::string Dynasty;
    std::string Content;
    int RevealedCount = 0;
    int TotalChars = 0;
};

// One possible stanza: the poem's index in the library and the index of the
// stanza's first line in that poem's Lines. Kept as two full integers rather
// than packed into one, so that libraries of any size pick the right poem.
struct TStanzaCandidate {
    std::int32_t Poem = 0;
    std::int32_t Start = 0;
    friend bool operator==(const TStanzaCandidate&, const TStanzaCandidate&) = default;
};

// A uniform draw from 0 .. n-1 (n >= 1).
using TRandomDraw = std::function<int(int n)>;
// Tells whether a title has been solved already; such poems are skipped.
using TTitleFilter = std::function<bool(const std::string& title)>;

// The game's draw: a generator freshly seeded from the high-resolution clock
// for every call, then one uniform value from 0 .. n-1.
int ClockSeededDraw(int n);

// Every stanza start, poem by poem in library order and start by start;
// overlapping stanzas all count.
// Only the first `poemCount` poems (at most poems.size()) are looked at;
// poems whose title `isUsed` reports are skipped (an empty filter skips none).
// The game itself never stores this list (PickStanzaFrom walks the same
// candidates twice instead); tests and the benchmark read it to check and
// measure the walk.
std::vector<TStanzaCandidate> StanzaCandidates(const std::vector<TPoemRecord>& poems, int poemCount,
                                               const TTitleFilter& isUsed = {});

// Line and character index of stanza character r (0-based, row by row), as
// the walk over the lines' counts finds it. {-1, -1} when r lies outside.
struct TCharPos {
    int Line = -1;
    int Index = -1;
    friend bool operator==(const TCharPos&, const TCharPos&) = default;
};
TCharPos RevealWalk(const TGuessTask& task, int r);

// Fills `task` with the poem's title, author, dynasty, text and its lines
// start .. start+3, every character covered, no count yet.
void FillTask(TGuessTask& task, const TPoemRecord& poem, int start);

// The whole choice: candidates, one drawn, the task filled, one random
// character uncovered. False, with `task` untouched, when there is no candidate.
// Throws std::out_of_range when `draw` answers outside 0 .. n-1.
bool PickStanzaFrom(const std::vector<TPoemRecord>& poems, int poemCount, const TTitleFilter& isUsed,
                    const TRandomDraw& draw, TGuessTask& task);
