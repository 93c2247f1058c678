// The run-time controls of the main window: seven areas built once, after the
// library is loaded and before the window first shows. Controls are created
// in the order listed; a later one lies above an earlier sibling.
#include "app/layout.h"

#include "app/palette.h"
#include "app/uMain.h"

#include <QPalette>

namespace {

// Label alignments: text starts at the top; only the button labels (made by
// CreateButton) are centred vertically as well.
constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignTop;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignTop;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignTop;

TPanel* NewPanel(QWidget* parent, const QRect& bounds, unsigned color, TBevel outer = TBevel::None,
                 TBevel inner = TBevel::None, int borderWidth = 0)
{
    auto* panel = new TPanel(parent);
    panel->setGeometry(bounds);
    panel->SetColor(Rgb(color));
    panel->SetBevels(outer, inner, 1, borderWidth);
    return panel;
}

// A transparent label of fixed size in the Kai face.
TLabel* NewLabel(QWidget* parent, const QRect& bounds, const QString& text, int points, bool bold, unsigned textColor,
                 Qt::Alignment alignment, bool wordWrap = false)
{
    auto* label = new TLabel(parent);
    label->setGeometry(bounds);
    label->setFont(KaiFont(points, bold));
    label->SetFontColor(Rgb(textColor));
    label->setAlignment(alignment);
    label->setWordWrap(wordWrap);
    label->SetTransparent(true);
    label->setText(text);
    return label;
}

}  // namespace

void TfrmMain::BuildLayout()
{
    BuildTitlePanel();
    BuildInfoPanel();
    BuildVersePanel();
    BuildHistoryPanel();
    BuildInputPanel();
    BuildCommandBar();
    BuildPoemPanel();
}

void TfrmMain::BuildTitlePanel()
{
    pnlTitle = NewPanel(this, QRect(20, 10, 510, 85), kPaper);
    const int w = pnlTitle->width();
    lblTitle = NewLabel(pnlTitle, QRect(0, 8, w, 45), QStringLiteral("青简堂诗词猜诗"), 28, true, kTitleText, kCentre);
    lblSubtitle = NewLabel(pnlTitle, QRect(0, 55, w, 22), QStringLiteral("ǎ古典诗词·猜诗游戏à"), 12, false,
                           kSubtitleText, kCentre);
}

void TfrmMain::BuildInfoPanel()
{
    pnlInfo = NewPanel(this, QRect(20, 102, 510, 64), kInfoColor, TBevel::Raised, TBevel::Lowered, 1);
    lblMode =
        NewLabel(pnlInfo, QRect(15, 4, 230, 36), QStringLiteral("模式：单人练习"), 12, true, kBodyText, kLeft, true);
    lblScore = NewLabel(pnlInfo, QRect(360, 4, 135, 36), QStringLiteral("得分: 0"), 12, true, kBodyText, kRight, true);
    lblStatus = NewLabel(pnlInfo, QRect(15, 40, 480, 18), QString(), 11, true, kBodyText, kCentre);
}

void TfrmMain::BuildVersePanel()
{
    // Its top row overlaps the info panel's bottom row and covers it.
    pnlVerses = NewPanel(this, QRect(20, 165, 510, 190), kPaper);
    const int w = pnlVerses->width();
    for (int i = 0; i < static_cast<int>(pbLine.size()); ++i) {
        // The boxes are 50 apart; the fourth reaches past the panel's bottom
        // and the panel clips it.
        auto* box = new TPaintBox(pnlVerses);
        box->setGeometry(0, 50 * i, w, 46);
        box->setCursor(Qt::PointingHandCursor);
        box->SetTag(i);
        connect(box, &TPaintBox::Paint, this, &TfrmMain::LinePaint);
        connect(box, &TPaintBox::Clicked, this, &TfrmMain::LineClick);
        connect(box, &TPaintBox::MouseMoved, this, &TfrmMain::LineMouseMove);
        pbLine[static_cast<std::size_t>(i)] = box;
    }
    lblPuzzleNo = NewLabel(this, QRect(20, 360, 510, 24), QString(), 12, false, kSubtitleText, kCentre);
}

void TfrmMain::BuildHistoryPanel()
{
    pnlHistory = NewPanel(this, QRect(20, 390, 510, 152), kHistoryColor, TBevel::Raised, TBevel::Lowered, 2);
    const int w = pnlHistory->width();
    const int h = pnlHistory->height();
    lblHistoryCaption =
        NewLabel(pnlHistory, QRect(0, 4, w, 20), QStringLiteral("猜诗历史记录"), 12, true, kTitleText, kCentre);

    // Read-only, wrapped at its width, vertical bar only, no border (TMemo).
    // Qt draws Chinese text from the font itself; no character set to pick.
    memHistory = new TMemo(pnlHistory);
    memHistory->setGeometry(10, 28, w - 20, h - 38);
    memHistory->setFont(KaiFont(12, false));
    QPalette pal = memHistory->palette();
    pal.setColor(QPalette::Base, Rgb(kHistoryColor));
    pal.setColor(QPalette::Text, Rgb(kBodyText));
    memHistory->setPalette(pal);
    lblHistoryCaption->setBuddy(memHistory);  // names the memo for screen readers
}

void TfrmMain::BuildInputPanel()
{
    pnlInput = NewPanel(this, QRect(20, 550, 510, 56), kPaper);
    lblPrompt = NewLabel(pnlInput, QRect(0, 0, pnlInput->width(), 18), QStringLiteral("请输入诗词名："), 11, false,
                         kSubtitleText, kCentre);

    edtAnswer = new TEdit(pnlInput);
    edtAnswer->setGeometry(10, 22, 320, 30);
    edtAnswer->setFont(KaiFont(16, false));
    connect(edtAnswer, &TEdit::KeyDown, this, &TfrmMain::AnswerKeyDown);
    lblPrompt->setBuddy(edtAnswer);  // names the box for screen readers
    // The history memo comes before the answer box when tabbing.
    QWidget::setTabOrder(memHistory, edtAnswer);

    const TButton submit = CreateButton(pnlInput, QRect(340, 20, 50, 32), Rgb(kButtonColor), QStringLiteral("提交"), 11,
                                        Rgb(kBodyText), this, &TfrmMain::SubmitAnswer);
    pnlSubmit = submit.Panel;
    lblSubmit = submit.Label;

    const TButton hint = CreateButton(pnlInput, QRect(398, 20, 50, 32), Rgb(kHintButtonColor), QStringLiteral("提示"),
                                      11, Rgb(kBodyText), this, &TfrmMain::ShowHint);
    pnlHint = hint.Panel;
    lblHint = hint.Label;

    const TButton giveUp = CreateButton(pnlInput, QRect(456, 20, 50, 32), Rgb(kButtonColor), QStringLiteral("放弃"), 11,
                                        Rgb(kBodyText), this, &TfrmMain::GiveUp);
    pnlGiveUp = giveUp.Panel;
    lblGiveUp = giveUp.Label;
}

void TfrmMain::BuildCommandBar()
{
    pnlCommands = NewPanel(this, QRect(20, 616, 510, 52), kPaper);
    const int w = pnlCommands->width();

    // The two commands share one row, left to right.
    auto command = [&](int slot, const QString& text, void (TfrmMain::*handler)()) {
        return CreateButton(pnlCommands,
                            QRect(CommandButtonLeft(w, slot), 8, kCommandButtonWidth, kCommandButtonHeight),
                            Rgb(kButtonColor), text, 10, Rgb(kBodyText), this, handler);
    };
    const TButton restart = command(0, QStringLiteral("重新开始"), &TfrmMain::RestartPuzzle);
    pnlRestart = restart.Panel;
    lblRestart = restart.Label;
    const TButton switchRange = command(1, QStringLiteral("切换范围"), &TfrmMain::SwitchRange);
    pnlSwitchRange = switchRange.Panel;
    lblSwitchRange = switchRange.Label;
}

void TfrmMain::BuildPoemPanel()
{
    pnlPoemDivider = NewPanel(this, QRect(545, 10, 2, 660), kPlum);
    pnlPoem = NewPanel(this, QRect(558, 10, 232, 660), kPoemPanelColor);
    const int w = pnlPoem->width();

    lblPoemTitle = NewLabel(pnlPoem, QRect(0, 20, w, 60), QString(), 18, true, kTitleText, kCentre, true);
    lblPoemAuthor = NewLabel(pnlPoem, QRect(0, 60, w, 22), QString(), 12, false, kSubtitleText, kCentre);
    // An empty opaque label: a 2-pixel rule.
    lblPoemRule = new TLabel(pnlPoem);
    lblPoemRule->setGeometry(20, 92, w - 40, 2);
    lblPoemRule->SetTransparent(false, Rgb(kPlum));

    sbPoem = new TScrollBox(pnlPoem);
    sbPoem->setGeometry(4, 110, w - 8, 540);
    sbPoem->SetColor(pnlPoem->Color());
    // Like the panel around it, the box is no stop when tabbing.
    sbPoem->setFocusPolicy(Qt::NoFocus);
    lblPoemText = NewLabel(sbPoem->Content(), QRect(8, 0, sbPoem->width() - 16, 17), QString(), 16, false, kBodyText,
                           kLeft, true);
    sbPoem->UpdateRange();

    // The tab lies over the panel's left edge and stays visible throughout.
    const QString hint = QStringLiteral("显示/隐藏诗词 (F3)");
    const TButton toggle = CreateButton(this, QRect(547, 12, 24, 56), Rgb(kButtonColor), QStringLiteral("诗"), 10,
                                        Rgb(kTitleText), this, &TfrmMain::PoemToggleClick);
    pnlPoemToggle = toggle.Panel;
    lblPoemToggle = toggle.Label;
    pnlPoemToggle->setToolTip(hint);
    lblPoemToggle->setToolTip(hint);

    FPoemVisible = false;
    SetPoemPanelVisible(false);
}
