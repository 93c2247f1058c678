#include "support/rules_support.h"

#include "library/poem.h"

#include <cctype>

std::string G(const char* utf8)
{
    return GbkFromUtf8(utf8);
}

std::string RowTestName(const char* name)
{
    std::string row(name);
    for (char& c : row)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return row;
}
