#pragma once
// The rules behind answers, hints, giving up and the history, on GBK bytes.
// No widgets here.

#include <cstdint>
#include <string>
#include <string_view>

// The title as the player sees it after `hintCount` hints: its first
// characters (two bytes each, one more per hint, never more than the title
// holds) and an asterisk for every byte still hidden. A trailing odd byte
// always stays hidden; a one-byte title is a single asterisk.
std::string HintMask(std::string_view title, std::int32_t hintCount);

// The title in book-title marks: "《title》".
std::string BookTitle(std::string_view title);
// The dynasty in square brackets: "【dynasty】".
std::string DynastyTag(std::string_view dynasty);

// "《title》", then "【dynasty】" when there is a dynasty, then the author
// when there is one.
std::string AnswerLine(std::string_view title, std::string_view author, std::string_view dynasty);

// One entry of the history list: the three fields joined by TAB.
std::string HistoryRecord(std::string_view user, std::string_view title, std::string_view answer);

// The status after giving up: the title and the author (inserted even when
// empty; no dynasty) and how many titles were guessed.
std::string GiveUpMessage(std::string_view title, std::string_view author, std::int32_t score);
