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
    const std::string& operator[](int index) const { return FItems[static_cast<std::size_t>(index)]; }
    const std::vector<std::string>& Items() const { return FItems; }

    // The list's comparison: negative, zero or positive.
    static int Compare(const std::string& a, const std::string& b);

private:
    bool FSorted;
    std::vector<std::string> FItems;
};
