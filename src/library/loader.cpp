#include "app/uMain.h"

// Temporary: the library stays empty until the database loader exists.
void TfrmMain::LoadPoems()
{
    FPoems.clear();
    FPoemCount = 0;
}
