#pragma once
// Table and column names compare as the database engines compare them:
// ASCII letters without regard to case, every other character exactly.

#include <QStringView>

inline bool EqualsIgnoringAsciiCase(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; };
    for (qsizetype i = 0; i < a.size(); ++i)
        if (upper(a[i].unicode()) != upper(b[i].unicode()))
            return false;
    return true;
}
