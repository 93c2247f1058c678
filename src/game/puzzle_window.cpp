// The main window's puzzle operations: a new puzzle, the stanza pick, solved
// titles and uncovering characters.
#include "app/accessibility_window.h"
#include "app/uMain.h"

#include <utility>

void TfrmMain::SetRandomDrawForTesting(TRandomDraw draw)
{
    FRandomDraw = std::move(draw);
}

void TfrmMain::NewPuzzle()
{
    FScore = 0;
    FPuzzleNo = 0;
    FPuzzleActive = true;
    FPuzzleOver = false;
    FHintCount = 0;

    FUsedTitles.Clear();
    FHistory.Clear();
    memHistory->clear();

    edtAnswer->clear();
    edtAnswer->setEnabled(true);
    if (edtAnswer->CanFocus())
        edtAnswer->setFocus();
    for (TPanel* button : {pnlSubmit, pnlHint, pnlGiveUp})
        button->setEnabled(true);

    lblMode->setText(QStringLiteral("模式：单人猜诗"));
    lblScore->setText(QStringLiteral("得分: 0"));
    lblPrompt->setText(QStringLiteral("请输入诗词名："));

    RefreshLines();

    const QString status = PickStanza() ? QStringLiteral("已显示 %1/%2 个字，点击诗句行可翻开更多字！")
                                              .arg(FTask.RevealedCount)
                                              .arg(FTask.TotalChars)
                                        : QStringLiteral("无可用诗词，请切换范围！");
    ShowStatusText(lblStatus, status);
    lblPuzzleNo->setText(QStringLiteral("第 1 首"));
}

bool TfrmMain::PickStanza()
{
    // The filter is only worth its lookups when some title has been solved.
    TTitleFilter isUsed;
    if (FUsedTitles.Count() > 0)
        isUsed = [this](const std::string& title) { return IsTitleUsed(title); };
    if (!PickStanzaFrom(FPoems, FPoemCount, isUsed, FRandomDraw, FTask))
        return false;
    RefreshLines();
    return true;
}

bool TfrmMain::IsTitleUsed(const std::string& title) const
{
    return FUsedTitles.Contains(title);
}

void TfrmMain::MarkTitleUsed(const std::string& title)
{
    FUsedTitles.Add(title);
}

void TfrmMain::RevealChar(int line, int index)
{
    if (line < 0 || line >= kStanzaLines)
        return;
    TLineState& state = FTask.Lines[static_cast<std::size_t>(line)];
    if (index < 0 || index >= state.CharCount || static_cast<std::size_t>(index) >= state.Revealed.size())
        return;
    std::uint8_t& flag = state.Revealed[static_cast<std::size_t>(index)];
    if (flag == 1)
        return;
    flag = 1;
    ++FTask.RevealedCount;
    pbLine[static_cast<std::size_t>(line)]->update();
    NotifyLineChanged(pbLine[static_cast<std::size_t>(line)]);
}

void TfrmMain::RefreshLines()
{
    for (TPaintBox* box : pbLine) {
        box->update();
        NotifyLineChanged(box);
    }
}
