#include "app/uMain.h"

void TfrmMain::ShowPoem(const std::string&, const std::string&, const std::string&, const std::string&) {}

void TfrmMain::SetPoemPanelVisible(bool visible)
{
    FPoemVisible = visible;
    if (pnlPoemDivider)
        pnlPoemDivider->setVisible(visible);
    if (pnlPoem)
        pnlPoem->setVisible(visible);
    if (lblPoemToggle)
        lblPoemToggle->setText(visible ? QStringLiteral("隐") : QStringLiteral("诗"));
}

void TfrmMain::TogglePoemPanel()
{
    SetPoemPanelVisible(!FPoemVisible);
}

void TfrmMain::PoemToggleClick()
{
    TogglePoemPanel();
}
