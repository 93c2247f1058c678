#include "app/uMain.h"

// Temporary: the first source is taken without asking.
bool TfrmMain::ChooseRange()
{
    return true;
}

void TfrmMain::SwitchRange() {}
