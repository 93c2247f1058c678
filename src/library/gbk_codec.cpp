#include "library/gbk_codec.h"

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <cstdint>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

#ifdef Q_OS_WIN
// Qt without ICU has no GBK codec; Windows' own code page 936 is GBK.
constexpr UINT kGbkCodePage = 936;

// `text` in code page 936, with no best-fit look-alikes: what GBK cannot hold
// becomes '?'.
QByteArray EncodeCodePage936(QStringView text)
{
    if (text.isEmpty())
        return {};
    const auto units = reinterpret_cast<const wchar_t*>(text.utf16());
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, units, size, nullptr, 0, nullptr, nullptr);
    QByteArray bytes(length, Qt::Uninitialized);
    WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, units, size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}
#endif

// What one BMP character becomes: 0 nothing, 0x01..0xFF that one byte,
// from 0x100 on the lead byte (high) and the trail byte (low).
using TGbkTable = std::array<std::uint16_t, 0x10000>;

constexpr char16_t kSeparator = 0x0001;  // encodes to itself; never inside a double-byte code

bool IsSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

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
    const QByteArray bytes = SystemGbk(all);
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
    const QByteArray bytes = SystemGbk(QString::fromUcs4(units, 1));
    gbk.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

QByteArray SystemGbk(QStringView text)
{
#ifdef Q_OS_WIN
    // The system gives a '?' for each half of a pair of surrogates; GBK
    // counts the character once, as ICU does.
    QString single;
    single.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            single.append(u'?');
            ++i;
        } else {
            single.append(text[i]);
        }
    }
    return EncodeCodePage936(single);
#else
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
#endif
}

QString TextFromGbk(QByteArrayView gbk)
{
#ifdef Q_OS_WIN
    // An incomplete trailing lead byte is dropped, as ICU's decoder keeps it
    // pending and never emits it.
    qsizetype size = 0;
    while (size < gbk.size()) {
        const auto b = static_cast<unsigned char>(gbk[size]);
        const qsizetype step = b >= 0x81 && b <= 0xFE ? 2 : 1;
        if (size + step > gbk.size())
            break;
        size += step;
    }
    if (size == 0)
        return {};
    const int length = MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(size), nullptr, 0);
    QString text(length, Qt::Uninitialized);
    MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(size), reinterpret_cast<wchar_t*>(text.data()),
                        length);
    return text;
#else
    // The decoder keeps an incomplete trailing lead byte pending and never
    // emits it, which is the drop we want.
    QStringDecoder decoder("GBK");
    return decoder.decode(gbk);
#endif
}

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

namespace {

// The character that starts at `p` in well-formed UTF-8 (no overlong forms,
// no surrogates, nothing past U+10FFFF), with `p` moved past it; false for
// anything else.
bool DecodeUtf8(const unsigned char*& p, const unsigned char* end, char32_t& c)
{
    const unsigned char b = *p;
    int length = 0;
    char32_t least = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2, c = b & 0x1Fu, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3, c = b & 0x0Fu, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, c = b & 0x07u, least = 0x10000;
    } else {
        return false;
    }
    if (end - p < length)
        return false;
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return false;
        c = (c << 6) | (p[k] & 0x3Fu);
    }
    if (c < least || c > 0x10FFFF || IsSurrogate(c))
        return false;
    p += length;
    return true;
}

// At most how many GBK bytes `utf8` becomes within the BMP: one for an ASCII
// byte, two for any other character (whose lead byte is the one >= 0xC0).
std::size_t GbkBound(std::string_view utf8)
{
    std::size_t bound = 0;
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        bound += b < 0x80 ? 1 : (b >= 0xC0 ? 2 : 0);
    }
    return bound;
}

}  // namespace

bool AppendGbkFromUtf8(std::string_view utf8, std::string& gbk)
{
    // Room for the bound is made once and written straight into, so that a
    // fresh string ends up holding its text at about its exact size.
    // Characters beyond the BMP are appended aside.
    const TGbkTable& table = Table();
    const std::size_t start = gbk.size();
    gbk.resize(start + GbkBound(utf8));
    char* out = gbk.data() + start;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        if (*p < 0x80) {
            *out++ = static_cast<char>(*p++);
            continue;
        }
        char32_t c = 0;
        if (!DecodeUtf8(p, end, c)) {
            gbk.resize(start);
            return false;
        }
        if (c < 0x10000) {
            const std::uint16_t code = table[c];
            if (code >= 0x100)
                *out++ = static_cast<char>(code >> 8);
            if (code != 0)
                *out++ = static_cast<char>(code & 0xFF);
            continue;
        }
        std::string wide;
        AppendSupplementary(c, wide);
        const std::size_t at = static_cast<std::size_t>(out - gbk.data());
        gbk.resize(at);
        gbk += wide;
        gbk.resize(gbk.size() + 2 * static_cast<std::size_t>(end - p));  // room for the rest again
        out = gbk.data() + at + wide.size();
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
