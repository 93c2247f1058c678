#pragma once
// Helpers of the suites that load poems into the real window: a main window
// whose start-up load has run, on top of the database helpers.

#include "app/uMain.h"
#include "support/database_support.h"
#include "support/test_support.h"

#include <memory>
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
