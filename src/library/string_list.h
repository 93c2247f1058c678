#pragma once
// A list of GBK strings. A sorted list keeps its entries in order and ignores
// the addition of a string equal to one it holds; it compares as the user's
// locale does, ignoring letter case.

#include <string>
#include <vector>

class TStringList {
public:
    explicit TStringList(bool sortedIgnoringDuplicates = false);

    void Add(const std::string& text);
    bool Contains(const std::string& text) const;
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    // Entry `index` in list order. The game itself only adds, counts and
    // looks up; the tests read entries to check what was recorded.
    const std::string& operator[](int index) const { return FItems[static_cast<std::size_t>(index)]; }

    // The list's comparison: negative, zero or positive.
    static int Compare(const std::string& a, const std::string& b);

private:
    // The first entry of a sorted list not ordered before `text`.
    std::vector<std::string>::const_iterator LowerBound(const std::string& text) const;

    bool FSorted;
    std::vector<std::string> FItems;
};
