#include "app/uMain.h"
#include "game/answers.h"

#include <initializer_list>

// ---- Pure rules -------------------------------------------------------------

namespace {

// GBK form of a fixed text written in this UTF-8 source.
std::string Gbk(const char* utf8)
{
    return GbkFromUtf8(utf8);
}

constexpr const char* kOpenTitle = "《";
constexpr const char* kCloseTitle = "》";
constexpr const char* kOpenDynasty = "【";
constexpr const char* kCloseDynasty = "】";
constexpr const char* kUserLabel = "用户";
constexpr const char* kAnswerDash = "  ——";

}  // namespace

std::string HintMask(std::string_view title, std::int32_t hintCount)
{
    const auto length = static_cast<std::int64_t>(title.size());
    // Characters to show: the hint count, at most the whole characters the
    // title holds, at least one when it holds any.
    std::int64_t shown = hintCount;
    if (2 * shown > length)
        shown = length / 2;
    if (shown < 1)
        shown = 1;
    if (2 * shown > length)
        shown = length / 2;
    const auto visible = static_cast<std::size_t>(2 * shown);
    std::string mask(title.substr(0, visible));
    mask.append(title.size() - visible, '*');
    return mask;
}

std::string AnswerLine(std::string_view title, std::string_view author, std::string_view dynasty)
{
    std::string line = Gbk(kOpenTitle);
    line += title;
    line += Gbk(kCloseTitle);
    if (!dynasty.empty()) {
        line += Gbk(kOpenDynasty);
        line += dynasty;
        line += Gbk(kCloseDynasty);
    }
    line += author;
    return line;
}

std::string HistoryRecord(std::string_view user, std::string_view title, std::string_view answer)
{
    std::string record(user);
    record += '\t';
    record += title;
    record += '\t';
    record += answer;
    return record;
}

std::string GiveUpMessage(std::string_view title, std::string_view author, std::int32_t score)
{
    std::string text = Gbk("答案是：《");
    text += title;
    text += Gbk("》 （");
    text += author;
    text += Gbk("），共猜对了 ");
    text += std::to_string(score);
    text += Gbk(" 首！");
    return text;
}

// ---- The window's answer operations ----------------------------------------

namespace {

void DisableAnswerControls(TEdit* answer, std::initializer_list<TPanel*> buttons)
{
    if (answer)
        answer->setEnabled(false);
    for (TPanel* button : buttons)
        if (button)
            button->setEnabled(false);
}

}  // namespace

bool TfrmMain::CheckAnswer(const std::string& text)
{
    if (text.empty()) {
        if (lblStatus)
            lblStatus->setText(QStringLiteral("请输入诗词名！"));
        return false;
    }
    // Byte for byte: no case folding, no width or space normalisation.
    if (text == FTask.Title)
        return true;
    if (lblStatus)
        lblStatus->setText(QStringLiteral("诗词名不正确，请重试！"));
    return false;
}

void TfrmMain::SubmitAnswer()
{
    if (!FPuzzleActive || FPuzzleOver || !edtAnswer)
        return;
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
    AddHistory(Gbk(kUserLabel), FTask.Title, AnswerLine(FTask.Title, FTask.Author, FTask.Dynasty));
    if (lblScore)
        lblScore->setText(QStringLiteral("得分: %1").arg(FScore));
    if (lblPuzzleNo)
        lblPuzzleNo->setText(QStringLiteral("第 %1 首").arg(FPuzzleNo));
    if (lblStatus)
        lblStatus->setText(QStringLiteral("恭喜，猜对了！点击「重新开始」开始下一首！"));
    DisableAnswerControls(edtAnswer, {pnlSubmit, pnlHint, pnlGiveUp});
}

void TfrmMain::ShowHint()
{
    if (!FPuzzleActive || FPuzzleOver || FTask.Title.empty())
        return;
    ++FHintCount;
    if (lblStatus)
        lblStatus->setText(AnsiToWide(Gbk("提示：") + HintMask(FTask.Title, FHintCount)));
    if (edtAnswer && edtAnswer->CanFocus())
        edtAnswer->setFocus();
}

void TfrmMain::GiveUp()
{
    if (!FPuzzleActive)
        return;
    FPuzzleActive = false;
    FPuzzleOver = true;
    DisableAnswerControls(edtAnswer, {pnlSubmit, pnlHint, pnlGiveUp});
    if (lblStatus)
        lblStatus->setText(AnsiToWide(GiveUpMessage(FTask.Title, FTask.Author, FScore)));
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
    if (FHistory)
        FHistory->Add(HistoryRecord(user, title, answer));
    if (!memHistory)
        return;
    memHistory->AddLine(AnsiToWide(user + ": " + title));
    if (!answer.empty())
        memHistory->AddLine(AnsiToWide(Gbk(kAnswerDash) + answer));
    memHistory->AddLine(QString());
    memHistory->ScrollToBottom();
}
