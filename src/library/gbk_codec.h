#pragma once
// Unicode -> GBK through one table of the Basic Multilingual Plane, built once
// from the system's GBK encoder (ICU; on Windows code page 936). Gives the
// bytes that encoder gives, a character at a time, without its per-call cost:
// '?' for a character GBK cannot hold, nothing for the invisible ones the
// encoder drops. QtCore only.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
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

// The system's GBK encoder itself, the whole of `text` in one call: the
// source of the table. A character GBK cannot hold, even one outside the
// BMP, becomes one '?'.
QByteArray SystemGbk(QStringView text);

// GBK bytes as text, through the system's decoder; an incomplete trailing
// lead byte is dropped.
QString TextFromGbk(QByteArrayView gbk);
