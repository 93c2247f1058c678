#include "app/uMain.h"

// Until the run-time controls exist the window shows only its border strips.
void TfrmMain::BuildLayout() {}
void TfrmMain::BuildTitlePanel() {}
void TfrmMain::BuildInfoPanel() {}
void TfrmMain::BuildVersePanel() {}
void TfrmMain::BuildHistoryPanel() {}
void TfrmMain::BuildInputPanel() {}
void TfrmMain::BuildCommandBar() {}
void TfrmMain::BuildPoemPanel() {}
