#pragma once
// Helpers of the suites that load poems into the real window: a main window
// whose start-up load has run, on top of the database helpers.

#include "app/uMain.h"
#include "support/database_support.h"
#include "support/test_support.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A main window built as the program builds it; the boxes of its start-up
// load of the first source (a missing database, say) are swallowed.
inline std::unique_ptr<TfrmMain> MakeWindow()
{
    TMessageBoxRecorder startUpBoxes;
    return std::make_unique<TfrmMain>();
}

inline std::vector<std::string> TitlesOf(const TfrmMain& frm)
{
    std::vector<std::string> titles;
    for (const TPoemRecord& poem : frm.FPoems)
        titles.push_back(poem.Title);
    return titles;
}

// What one load showed and raised.
struct TLoadResult {
    std::vector<TMessageBoxCall> Boxes;
    std::optional<QString> Error;
};

// Loads `source`; on every way out the count matches the library and nothing is left open or running.
inline TLoadResult Load(TfrmMain& frm, int source)
{
    TMessageBoxRecorder boxes;
    TLoadResult result;
    frm.FRangeIndex = static_cast<std::uint8_t>(source);
    try {
        frm.LoadPoems();
    } catch (const TAppError& error) {
        result.Error = error.Message();
    }
    result.Boxes = boxes.Calls();
    EXPECT_EQ(frm.FPoemCount, static_cast<std::int32_t>(frm.FPoems.size()));
    EXPECT_FALSE(frm.FLoading);
    EXPECT_TRUE(!frm.FProgressBar && !frm.FProgressLabel);
    ExpectNoOpenConnections();
    return result;
}
