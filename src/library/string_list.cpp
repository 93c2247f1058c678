#include "library/string_list.h"

#include "library/poem.h"

#include <algorithm>

TStringList::TStringList(bool sortedIgnoringDuplicates) : FSorted(sortedIgnoringDuplicates) {}

int TStringList::Compare(const std::string& a, const std::string& b)
{
    return QString::localeAwareCompare(AnsiToWide(a).toCaseFolded(), AnsiToWide(b).toCaseFolded());
}

void TStringList::Add(const std::string& text)
{
    if (!FSorted) {
        FItems.push_back(text);
        return;
    }
    const auto less = [](const std::string& a, const std::string& b) { return Compare(a, b) < 0; };
    const auto at = std::lower_bound(FItems.begin(), FItems.end(), text, less);
    if (at != FItems.end() && Compare(*at, text) == 0)
        return;  // duplicates are ignored
    FItems.insert(at, text);
}

bool TStringList::Contains(const std::string& text) const
{
    if (FSorted) {
        const auto less = [](const std::string& a, const std::string& b) { return Compare(a, b) < 0; };
        const auto at = std::lower_bound(FItems.begin(), FItems.end(), text, less);
        return at != FItems.end() && Compare(*at, text) == 0;
    }
    return std::any_of(FItems.begin(), FItems.end(),
                       [&](const std::string& item) { return Compare(item, text) == 0; });
}
