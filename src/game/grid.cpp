#include "app/uMain.h"

void TfrmMain::LinePaint(TPaintBox*) {}
void TfrmMain::LineClick(TPaintBox*) {}
void TfrmMain::LineMouseMove(TPaintBox*, Qt::KeyboardModifiers, Qt::MouseButtons, int, int) {}
void TfrmMain::RevealAt(int, int) {}
