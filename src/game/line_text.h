#pragma once
// A verse line as text, the way it shows in its box: each uncovered
// character in place and a white square for each covered one. Screen
// readers read it; no widgets here.

#include "game/puzzle.h"

#include <QString>

// The sign of a covered character, U+25A1 WHITE SQUARE.
inline constexpr char16_t kCoveredSign = u'\u25A1';

// Character k of `line`: its character when uncovered, the covered sign
// otherwise; empty when k is not one of its characters.
QString ShownCharText(const TLineState& line, int k);
// The whole line, one entry of ShownCharText per character.
QString ShownLineText(const TLineState& line);
