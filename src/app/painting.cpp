#include "app/uMain.h"

// Draws what lies behind the controls. The window colour is already laid.
void TfrmMain::FormPaint()
{
    // Background picture, frame and ornaments arrive with the window painting.
}
