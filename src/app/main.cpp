#include "app/toolkit.h"
#include "app/uMain.h"

int main(int argc, char* argv[])
{
    try {
        TApplication app(argc, argv);
        // FormCreate runs to its end inside the constructor, before any show.
        auto* frmMain = new TfrmMain;  // freed when closed (WA_DeleteOnClose)
        const int result = app.Run(frmMain);
        if (app.Terminated())
            delete frmMain;  // start cancelled: never shown, so never closed
        return result;
    } catch (const std::exception& error) {
        ShowMessageBox(QString::fromUtf8(error.what()), QStringLiteral("Error"), TMsgIcon::Error);
    }
    return 1;
}
