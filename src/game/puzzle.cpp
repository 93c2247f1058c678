#include "app/uMain.h"

// Temporary versions until the puzzle is built.
void TfrmMain::NewPuzzle() {}
bool TfrmMain::PickStanza() { return false; }
bool TfrmMain::IsTitleUsed(const std::string& title) const { return FUsedTitles && FUsedTitles->Contains(title); }
void TfrmMain::MarkTitleUsed(const std::string& title) { if (FUsedTitles) FUsedTitles->Add(title); }
void TfrmMain::RevealChar(int, int) {}
void TfrmMain::RefreshLines() {}
