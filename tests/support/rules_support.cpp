#include "support/rules_support.h"

#include "library/poem.h"

std::string G(const char* utf8)
{
    return GbkFromUtf8(utf8);
}
