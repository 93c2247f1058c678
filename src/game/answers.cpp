#include "app/uMain.h"

bool TfrmMain::CheckAnswer(const std::string&) { return false; }
void TfrmMain::SubmitAnswer() {}
void TfrmMain::ShowHint() {}
void TfrmMain::GiveUp() {}
void TfrmMain::RestartPuzzle()
{
    NewPuzzle();
    SetPoemPanelVisible(false);
}
void TfrmMain::AnswerKeyDown(int&, Qt::KeyboardModifiers) {}
void TfrmMain::AddHistory(const std::string&, const std::string&, const std::string&) {}
