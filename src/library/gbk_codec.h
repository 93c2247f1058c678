#pragma once
// Unicode -> GBK through one table of the Basic Multilingual Plane, built once
// from the system's GBK encoder (ICU). Gives the bytes that encoder gives, a
// character at a time, without its per-call cost: '?' for a character GBK
// cannot hold, nothing for the invisible ones the encoder drops. QtCore only.

#include <QStringView>

#include <string>
#include <string_view>

// Appends the GBK bytes of `text` to `gbk`.
void AppendGbk(QStringView text, std::string& gbk);

// Appends the GBK bytes of the UTF-8 text `utf8` to `gbk`. Returns false, with
// `gbk` as it was, when `utf8` is not well-formed UTF-8 (decoders differ in
// how they mend such text, so the caller chooses).
bool AppendGbkFromUtf8(std::string_view utf8, std::string& gbk);

// True when every character of `text` is ASCII or has a double-byte GBK code,
// so that the GBK text cuts into characters as the game counts them.
bool GbkHolds(QStringView text);
