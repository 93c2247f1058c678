#pragma once
// Cutting a poem's text into sentences for the side panel, one sentence a
// line. Separate from the verse-line rule of the puzzles: sentences of every
// length are kept. QtCore only.

#include "library/poem.h"

#include <QString>

#include <string>
#include <string_view>

// Walks the GBK text byte by byte. A sentence ends after one of the ASCII
// marks ! , . : ; ? and after a double-byte punctuation mark (both stay at its
// end), and at CR or LF (dropped). A double-byte character always takes the
// byte after it, whatever it is; a lone lead byte at the very end is dropped.
// Empty sentences are never listed.
TStrArray CutSentences(std::string_view content);

// The sentences joined with CR LF between them, none after the last.
std::string JoinSentences(const TStrArray& sentences);

// GBK text for a label: decoded, each CR LF turned into the newline a label breaks at.
QString LabelText(std::string_view gbk);
