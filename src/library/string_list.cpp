#include "library/string_list.h"

#include "library/poem.h"

#include <algorithm>

TStringList::TStringList(bool sortedIgnoringDuplicates) : FSorted(sortedIgnoringDuplicates) { }

int TStringList::Compare(const std::string& a, const std::string& b)
{
    return QString::localeAwareCompare(AnsiToWide(a).toCaseFolded(), AnsiToWide(b).toCaseFolded());
}

std::vector<std::string>::const_iterator TStringList::LowerBound(const std::string& text) const
{
    const auto less = [](const std::string& a, const std::string& b) { return Compare(a, b) < 0; };
    return std::lower_bound(FItems.begin(), FItems.end(), text, less);
}

void TStringList::Add(const std::string& text)
{
    if (!FSorted) {
        FItems.push_back(text);
        return;
    }
    const auto at = LowerBound(text);
    if (at != FItems.end() && Compare(*at, text) == 0)
        return;  // duplicates are ignored
    FItems.insert(at, text);
}

bool TStringList::Contains(const std::string& text) const
{
    if (FSorted) {
        const auto at = LowerBound(text);
        return at != FItems.end() && Compare(*at, text) == 0;
    }
    return std::any_of(FItems.begin(), FItems.end(), [&](const std::string& item) { return Compare(item, text) == 0; });
}
