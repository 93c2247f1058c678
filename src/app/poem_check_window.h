#pragma once
// The --check run: the game starts as usual but off the screen, loads the
// given sources through its own loader, sets up a puzzle from each and
// reports what it found, with nobody at the window.

#include <QList>

class QTextStream;

// Loads each source of `sources` (indices) in turn and writes one line per
// source to `out`: its name and how many poems it gave. The message boxes the
// game would show go to `err` instead. 0 when every source gave poems and a
// puzzle, 1 otherwise.
int RunPoemCheck(const QList<int>& sources, QTextStream& out, QTextStream& err);
