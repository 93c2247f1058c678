#include "app/uMain.h"

void TfrmMain::ShowPoem(const std::string&, const std::string&, const std::string&, const std::string&) {}
void TfrmMain::SetPoemPanelVisible(bool visible) { FPoemVisible = visible; }
void TfrmMain::TogglePoemPanel()
{
    SetPoemPanelVisible(!FPoemVisible);
}
void TfrmMain::PoemToggleClick() { TogglePoemPanel(); }
