// The main window's poem side panel: filling it with a poem, showing and
// hiding it.
#include "app/accessibility_window.h"
#include "app/uMain.h"
#include "game/answers.h"
#include "viewer/sentences.h"

namespace {

constexpr int kAuthorGap = 4;  // between the title's bottom and the author
constexpr int kRuleGap = 10;  // between the author's bottom and the rule
constexpr int kTextWidthInset = 16;  // the text is this much narrower than its scroll box

int Bottom(const QWidget* widget)
{
    return widget->y() + widget->height();
}

}  // namespace

void TfrmMain::ShowPoem(const std::string& content, const std::string& title, const std::string& author,
                        const std::string& dynasty)
{
    if (content.empty() || title.empty())
        return;

    // The title wraps at the panel's width and takes the height it needs; the
    // author and the rule follow it down, the scroll box stays in place.
    lblPoemTitle->setText(LabelText(BookTitle(title)));
    lblPoemTitle->setWordWrap(true);
    lblPoemTitle->AutoSizeToText(pnlPoem->width());
    lblPoemAuthor->move(lblPoemAuthor->x(), Bottom(lblPoemTitle) + kAuthorGap);

    if (!dynasty.empty())
        lblPoemAuthor->setText(LabelText(DynastyTag(TrimGbk(dynasty)) + author));
    else
        lblPoemAuthor->setText(LabelText(author));
    lblPoemRule->move(lblPoemRule->x(), Bottom(lblPoemAuthor) + kRuleGap);

    lblPoemText->move(lblPoemText->x(), 0);
    lblPoemText->setText(LabelText(JoinSentences(CutSentences(content))));
    lblPoemText->AutoSizeToText(sbPoem->width() - kTextWidthInset);
    sbPoem->UpdateRange();
    sbPoem->SetVertPosition(0);
}

void TfrmMain::SetPoemPanelVisible(bool visible)
{
    FPoemVisible = visible;
    pnlPoemDivider->setVisible(visible);
    pnlPoem->setVisible(visible);
    lblPoemToggle->setText(visible ? QStringLiteral("隐") : QStringLiteral("诗"));
    NotifyAccessibleNameChanged(pnlPoemToggle);
}

void TfrmMain::TogglePoemPanel()
{
    // Filled afresh each time it opens, so it shows the current puzzle's poem
    // from its first line.
    if (!FPoemVisible && !FTask.Title.empty())
        ShowPoem(FTask.Content, FTask.Title, FTask.Author, FTask.Dynasty);
    SetPoemPanelVisible(!FPoemVisible);
}

void TfrmMain::PoemToggleClick()
{
    TogglePoemPanel();
}
