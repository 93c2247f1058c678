#pragma once
// A poem's verse lines, held compactly: one block of memory per poem with the
// lines' lengths and then their bytes, one line after another, and the count. The library
// keeps the lines of every poem for the whole game; one std::string per line
// costs its own 32 bytes and a block of the vector. Read-only once built,
// except push_back, which rebuilds the block (for building test libraries).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TVerseLines {
public:
    // Walks the lines in order.
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        std::string_view operator*() const { return {FBytes, *FLength}; }
        const_iterator& operator++()
        {
            FBytes += *FLength++;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.FLength == b.FLength; }

    private:
        friend class TVerseLines;
        const_iterator(const unsigned char* length, const char* bytes) : FLength(length), FBytes(bytes) { }
        const unsigned char* FLength = nullptr;
        const char* FBytes = nullptr;
    };
    using value_type = std::string_view;
    using iterator = const_iterator;

    // The longest line it holds, in bytes; a verse line has 14 at most.
    static constexpr std::size_t kMaxLineBytes = 255;

    TVerseLines() = default;
    TVerseLines(std::initializer_list<std::string_view> lines);
    // Raises std::length_error for a line longer than kMaxLineBytes.
    template <typename TLines> static TVerseLines From(const TLines& lines)
    {
        TVerseLines result;
        result.Assign(std::vector<std::string_view>(std::begin(lines), std::end(lines)));
        return result;
    }
    TVerseLines(const TVerseLines& other);
    TVerseLines& operator=(const TVerseLines& other);
    TVerseLines(TVerseLines&& other) noexcept : FBlock(std::move(other.FBlock)), FCount(std::exchange(other.FCount, 0))
    {
    }
    TVerseLines& operator=(TVerseLines&& other) noexcept
    {
        FBlock = std::move(other.FBlock);
        FCount = std::exchange(other.FCount, 0);
        return *this;
    }

    std::size_t size() const { return FCount; }
    bool empty() const { return size() == 0; }
    // Line `index` (< size()); a walk over the lengths before it.
    std::string_view operator[](std::size_t index) const;
    // The same; raises std::out_of_range past the end.
    std::string_view at(std::size_t index) const;
    const_iterator begin() const;
    const_iterator end() const;

    // Adds `line` at the end (rebuilding the block).
    void push_back(std::string_view line);
    // Replaces the lines by `lines`.
    void Assign(const std::vector<std::string_view>& lines);
    // Replaces the lines by those whose lengths `lengths` gives, one byte a
    // line, and whose bytes follow one another in `bytes`.
    void AssignPacked(std::string_view lengths, std::string_view bytes);

    // The lines as separate strings.
    std::vector<std::string> ToStrings() const;

    friend bool operator==(const TVerseLines& a, const TVerseLines& b);
    friend bool operator==(const TVerseLines& a, const std::vector<std::string>& b);
    // The lines' bytes in quotes, comma-separated (for test messages).
    friend std::ostream& operator<<(std::ostream& out, const TVerseLines& lines);

private:
    std::size_t BlockSize() const;
    const unsigned char* Lengths() const { return reinterpret_cast<const unsigned char*>(FBlock.get()); }
    const char* Bytes() const { return FBlock.get() + FCount; }
    void Take(std::unique_ptr<char[]> block, std::uint32_t count);

    // The block: one length byte per line, then the lines' bytes; none while
    // there is no line. The count stays beside it, so that asking for it
    // (a stanza pick asks every poem) never touches the block.
    std::unique_ptr<char[]> FBlock;
    std::uint32_t FCount = 0;
};
