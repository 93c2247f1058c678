#include "library/verse_lines.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <stdexcept>

TVerseLines::TVerseLines(std::initializer_list<std::string_view> lines)
{
    Assign(std::vector<std::string_view>(lines));
}

TVerseLines::TVerseLines(const TVerseLines& other)
{
    *this = other;
}

void TVerseLines::Take(std::unique_ptr<char[]> block, std::uint32_t count)
{
    FBlock = std::move(block);
    FCount = count;
}

TVerseLines& TVerseLines::operator=(const TVerseLines& other)
{
    if (this == &other)
        return *this;
    if (!other.FBlock) {
        Take(nullptr, 0);
        return *this;
    }
    const std::size_t size = other.BlockSize();
    auto block = std::make_unique_for_overwrite<char[]>(size);
    std::memcpy(block.get(), other.FBlock.get(), size);
    Take(std::move(block), other.FCount);
    return *this;
}

std::size_t TVerseLines::BlockSize() const
{
    const unsigned char* lengths = Lengths();
    std::size_t bytes = 0;
    for (std::uint32_t i = 0; i < FCount; ++i)
        bytes += lengths[i];
    return FCount + bytes;
}

std::string_view TVerseLines::operator[](std::size_t index) const
{
    const unsigned char* lengths = Lengths();
    const char* bytes = Bytes();
    for (std::size_t i = 0; i < index; ++i)
        bytes += lengths[i];
    return {bytes, lengths[index]};
}

std::string_view TVerseLines::at(std::size_t index) const
{
    if (index >= size())
        throw std::out_of_range("TVerseLines::at: no line " + std::to_string(index));
    return (*this)[index];
}

TVerseLines::const_iterator TVerseLines::begin() const
{
    if (!FBlock)
        return {};
    return {Lengths(), Bytes()};
}

TVerseLines::const_iterator TVerseLines::end() const
{
    if (!FBlock)
        return {};
    return {Lengths() + FCount, nullptr};
}

void TVerseLines::push_back(std::string_view line)
{
    std::vector<std::string_view> lines(begin(), end());
    lines.push_back(line);
    Assign(lines);
}

void TVerseLines::Assign(const std::vector<std::string_view>& lines)
{
    if (lines.empty()) {
        Take(nullptr, 0);
        return;
    }
    std::size_t bytes = 0;
    for (const std::string_view line : lines) {
        if (line.size() > kMaxLineBytes)
            throw std::length_error("TVerseLines: a line of more than 255 bytes");
        bytes += line.size();
    }
    const auto count = static_cast<std::uint32_t>(lines.size());
    auto block = std::make_unique_for_overwrite<char[]>(count + bytes);
    char* length = block.get();
    char* out = length + count;
    for (const std::string_view line : lines) {
        *length++ = static_cast<char>(line.size());
        out = std::copy(line.begin(), line.end(), out);
    }
    Take(std::move(block), count);  // the lines may have been views into the old block
}

void TVerseLines::AssignPacked(std::string_view lengths, std::string_view bytes)
{
    if (lengths.empty()) {
        Take(nullptr, 0);
        return;
    }
    const auto count = static_cast<std::uint32_t>(lengths.size());
    auto block = std::make_unique_for_overwrite<char[]>(count + bytes.size());
    std::memcpy(block.get(), lengths.data(), count);
    std::memcpy(block.get() + count, bytes.data(), bytes.size());
    Take(std::move(block), count);
}

std::vector<std::string> TVerseLines::ToStrings() const
{
    return std::vector<std::string>(begin(), end());
}

bool operator==(const TVerseLines& a, const TVerseLines& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool operator==(const TVerseLines& a, const std::vector<std::string>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](std::string_view x, const std::string& y) { return x == y; });
}

std::ostream& operator<<(std::ostream& out, const TVerseLines& lines)
{
    out << '{';
    const char* separator = "";
    for (const std::string_view line : lines) {
        out << separator << '"' << line << '"';
        separator = ", ";
    }
    return out << '}';
}
