// main() of the GUI suites: one application object for all tests. Message
// boxes are recorded, never shown, so nothing ever waits for a person.
#include "app/application_window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    TApplication app(argc, argv);
    SetMessageBoxHook([](const TMessageBoxCall& call) {
        ADD_FAILURE() << "unexpected message box: " << call.Caption.toStdString() << ": " << call.Text.toStdString();
    });
    InstallRangeDialogAnswerer();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
