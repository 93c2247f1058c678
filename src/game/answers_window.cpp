// The main window's answer operations: checking and submitting a title,
// hints, giving up, restarting and the history memo.
#include "app/accessibility_window.h"
#include "app/uMain.h"
#include "game/answers.h"

#include <initializer_list>

namespace {

constexpr const char* kUserLabel = "用户";
constexpr const char* kAnswerDash = "  ——";

void DisableAnswerControls(TEdit* answer, std::initializer_list<TPanel*> buttons)
{
    if (answer)
        answer->setEnabled(false);
    for (TPanel* button : buttons)
        button->setEnabled(false);
}

}  // namespace

bool TfrmMain::CheckAnswer(const std::string& text)
{
    if (text.empty()) {
        ShowStatusText(lblStatus, QStringLiteral("请输入诗词名！"));
        return false;
    }
    // Byte for byte: no case folding, no width or space normalisation.
    if (text == FTask.Title)
        return true;
    ShowStatusText(lblStatus, QStringLiteral("诗词名不正确，请重试！"));
    return false;
}

void TfrmMain::SubmitAnswer()
{
    if (!FPuzzleActive || FPuzzleOver)
        return;
    // A click on 提交 reaches us while a title may still be composing.
    edtAnswer->CommitComposition();
    const std::string text = TrimGbk(WideToAnsi(edtAnswer->text()));
    edtAnswer->clear();
    if (!CheckAnswer(text))
        return;

    FPuzzleOver = true;
    ++FScore;
    ++FPuzzleNo;
    MarkTitleUsed(FTask.Title);
    ShowPoem(FTask.Content, FTask.Title, FTask.Author, FTask.Dynasty);
    SetPoemPanelVisible(true);
    AddHistory(GbkFromUtf8(kUserLabel), FTask.Title, AnswerLine(FTask.Title, FTask.Author, FTask.Dynasty));
    lblScore->setText(QStringLiteral("得分: %1").arg(FScore));
    lblPuzzleNo->setText(QStringLiteral("第 %1 首").arg(FPuzzleNo));
    ShowStatusText(lblStatus, QStringLiteral("恭喜，猜对了！点击「重新开始」开始下一首！"));
    DisableAnswerControls(edtAnswer, {pnlSubmit, pnlHint, pnlGiveUp});
}

void TfrmMain::ShowHint()
{
    if (!FPuzzleActive || FPuzzleOver || FTask.Title.empty())
        return;
    ++FHintCount;
    ShowStatusText(lblStatus, AnsiToWide(GbkFromUtf8("提示：") + HintMask(FTask.Title, FHintCount)));
    if (edtAnswer->CanFocus())
        edtAnswer->setFocus();
}

void TfrmMain::GiveUp()
{
    if (!FPuzzleActive)
        return;
    FPuzzleActive = false;
    FPuzzleOver = true;
    DisableAnswerControls(edtAnswer, {pnlSubmit, pnlHint, pnlGiveUp});
    ShowStatusText(lblStatus, AnsiToWide(GiveUpMessage(FTask.Title, FTask.Author, FScore)));
    ShowPoem(FTask.Content, FTask.Title, FTask.Author, FTask.Dynasty);
    SetPoemPanelVisible(true);
}

void TfrmMain::RestartPuzzle()
{
    NewPuzzle();
    SetPoemPanelVisible(false);
}

void TfrmMain::AnswerKeyDown(int& key, Qt::KeyboardModifiers /*shift*/)
{
    if (key != kVkReturn)
        return;
    key = 0;  // handled: the edit box does not see it
    SubmitAnswer();
}

void TfrmMain::AddHistory(const std::string& user, const std::string& title, const std::string& answer)
{
    FHistory.Add(HistoryRecord(user, title, answer));
    memHistory->AddLine(AnsiToWide(user + ": " + title));
    if (!answer.empty())
        memHistory->AddLine(AnsiToWide(GbkFromUtf8(kAnswerDash) + answer));
    memHistory->AddLine(QString());
    memHistory->ScrollToBottom();
}
