#include "library/gbk_codec.h"

#include <QString>
#include <QStringEncoder>

#include <array>
#include <cstdint>
#include <memory>

namespace {

// What one BMP character becomes: 0 nothing, 0x01..0xFF that one byte,
// from 0x100 on the lead byte (high) and the trail byte (low).
using TGbkTable = std::array<std::uint16_t, 0x10000>;

constexpr char16_t kSeparator = 0x0001;  // encodes to itself; never inside a double-byte code

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Encodes every BMP character once, each followed by the separator, in a
// single call, and reads the bytes between separators back.
std::unique_ptr<TGbkTable> BuildTable()
{
    auto table = std::make_unique<TGbkTable>();
    for (char16_t c = 0; c < 0x80; ++c)
        (*table)[c] = c;
    QString all;
    all.reserve(2 * 0x10000);
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (IsSurrogate(c))
            continue;
        all.append(QChar(static_cast<char16_t>(c)));
        all.append(QChar(kSeparator));
    }
    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder.encode(all);
    qsizetype at = 0;
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (IsSurrogate(c)) {
            (*table)[c] = '?';
            continue;
        }
        std::uint16_t code = 0;
        int length = 0;
        while (at < bytes.size() && bytes[at] != static_cast<char>(kSeparator)) {
            code = static_cast<std::uint16_t>((code << 8) | static_cast<unsigned char>(bytes[at]));
            ++at;
            ++length;
        }
        ++at;  // the separator
        (*table)[c] = length <= 2 ? code : static_cast<std::uint16_t>('?');
    }
    return table;
}

const TGbkTable& Table()
{
    static const std::unique_ptr<TGbkTable> table = BuildTable();
    return *table;
}

void AppendCode(std::uint16_t code, std::string& gbk)
{
    if (code >= 0x100) {
        gbk.push_back(static_cast<char>(code >> 8));
        gbk.push_back(static_cast<char>(code & 0xFF));
    } else if (code != 0) {
        gbk.push_back(static_cast<char>(code));
    }
}

// A character outside the BMP: rare enough to ask the encoder itself.
void AppendSupplementary(char32_t c, std::string& gbk)
{
    const char32_t units[] = {c};
    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder.encode(QString::fromUcs4(units, 1));
    gbk.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

void AppendGbk(QStringView text, std::string& gbk)
{
    const TGbkTable& table = Table();
    const qsizetype size = text.size();
    gbk.reserve(gbk.size() + static_cast<std::size_t>(size) * 2);
    const char16_t* units = text.utf16();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = units[i];
        if (c < 0x80) {
            gbk.push_back(static_cast<char>(c));
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            AppendSupplementary(QChar::surrogateToUcs4(c, units[i + 1]), gbk);
            ++i;
        } else {
            AppendCode(table[c], gbk);
        }
    }
}

bool AppendGbkFromUtf8(std::string_view utf8, std::string& gbk)
{
    // An ASCII byte gives one GBK byte, any other character at most two (its
    // lead byte is the one UTF-8 byte >= 0xC0): room for that bound is made
    // once and written straight into, so that a fresh string ends up holding
    // its text at about its exact size. Characters beyond the BMP are
    // appended aside.
    const TGbkTable& table = Table();
    const std::size_t start = gbk.size();
    std::size_t bound = 0;
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        bound += b < 0x80 ? 1 : (b >= 0xC0 ? 2 : 0);
    }
    gbk.resize(start + bound);
    char* out = gbk.data() + start;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    auto fail = [&] {
        gbk.resize(start);
        return false;
    };
    auto put = [&](std::uint16_t code) {
        if (code >= 0x100) {
            *out++ = static_cast<char>(code >> 8);
            *out++ = static_cast<char>(code & 0xFF);
        } else if (code != 0) {
            *out++ = static_cast<char>(code);
        }
    };
    auto continuation = [&](int k) { return p + k < end && (p[k] & 0xC0) == 0x80; };
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            *out++ = static_cast<char>(b);
            ++p;
        } else if (b >= 0xC2 && b <= 0xDF) {
            if (!continuation(1))
                return fail();
            put(table[((b & 0x1Fu) << 6) | (p[1] & 0x3Fu)]);
            p += 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            if (!continuation(1) || !continuation(2))
                return fail();
            const char32_t c = ((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
            if (c < 0x800 || IsSurrogate(c))
                return fail();
            put(table[c]);
            p += 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            if (!continuation(1) || !continuation(2) || !continuation(3))
                return fail();
            const char32_t c = ((b & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) |
                               (p[3] & 0x3Fu);
            if (c < 0x10000 || c > 0x10FFFF)
                return fail();
            std::string wide;
            AppendSupplementary(c, wide);
            const std::size_t at = static_cast<std::size_t>(out - gbk.data());
            gbk.resize(at);
            gbk += wide;
            gbk.resize(gbk.size() + 2 * static_cast<std::size_t>(end - p));  // room for the rest again
            out = gbk.data() + at + wide.size();
            p += 4;
        } else {
            return fail();
        }
    }
    gbk.resize(static_cast<std::size_t>(out - gbk.data()));
    return true;
}

bool GbkHolds(QStringView text)
{
    const TGbkTable& table = Table();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80 && table[u] < 0x100)
            return false;
    }
    return true;
}
