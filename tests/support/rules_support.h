#pragma once
// Helpers of every suite, the rules suites included: nothing here needs a
// window or a display.

#include "library/app_error.h"

#include <QString>

#include <gtest/gtest.h>

#include <string>

// GBK bytes of a UTF-8 literal, for readable test tables.
std::string G(const char* utf8);

// A table row's name as gtest takes it for a TEST_P row (run one alone with
// --gtest_filter='*/<name>'): every character but ASCII letters and digits
// becomes "_".
std::string RowTestName(const char* name);

// The message of the TAppError `action` raises; fails the test if none comes.
template <typename F> QString ErrorOf(F action)
{
    try {
        action();
    } catch (const TAppError& error) {
        return error.Message();
    }
    ADD_FAILURE() << "no TAppError raised";
    return {};
}
