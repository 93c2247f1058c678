#include "app/toolkit.h"
#include "app/uMain.h"

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    return RunGuarded([&app] {
        // FormCreate runs to its end inside the constructor, before any show.
        auto* frmMain = new TfrmMain;  // freed when closed (WA_DeleteOnClose)
        const int result = app.Run(frmMain);
        if (app.Terminated())
            delete frmMain;  // start cancelled: never shown, so never closed
        return result;
    });
}
