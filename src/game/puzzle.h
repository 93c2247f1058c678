#pragma once
// The puzzle state: four verse lines of one poem with their uncovered flags,
// and the poem's title (the answer), author, dynasty and text.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TLineState {
    std::string Text;                // the line's GBK bytes, double-byte characters only
    std::vector<std::uint8_t> Revealed;  // one flag per character: 0 covered, 1 uncovered
    int CharCount = 0;               // byte length of Text div 2
};

struct TGuessTask {
    std::array<TLineState, 4> Lines;
    std::string Title;
    std::string Author;
    std::string Dynasty;
    std::string Content;
    int RevealedCount = 0;
    int TotalChars = 0;
};
