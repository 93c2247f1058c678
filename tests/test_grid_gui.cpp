// The game's grid and poem panel through the real window, offscreen: clicks
// on the painted cells, the pixels of tiles and characters, a long title.
#include "game_gui_fixtures.h"

#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Guards against clicks mapped through the painted cells, counted twice, or
// accepted outside play; and against the hand pointer outside play.
TEST(Grid, ClicksUncoverTheCharacterUnderThePointer)
{
    struct Case {
        const char* content;
        int line, x, index;
    };
    const Case cases[] = {{kQuietNight, 0, 103, 1}, {kQuietNight, 1, 405, 3}, {kQuietNight, 2, 0, 0},
                          {kQuietNight, 3, 509, 4}, {kWhiteKing, 0, 430, 5},  {kWhiteKing, 2, 509, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "line " << c.line << " x " << c.x);
        TGame game({Poem("诗", "", "", c.content)}, {0, 1});  // line 0, character 1 uncovered
        TfrmMain& frm = game.Show();
        const std::vector<std::uint8_t>& flags = frm.FTask.Lines[static_cast<std::size_t>(c.line)].Revealed;
        const int after = frm.FTask.RevealedCount + (flags[static_cast<std::size_t>(c.index)] ? 0 : 1);
        const QString status = Q("已显示 %1/%2 个字，请猜诗词名！").arg(after).arg(frm.FTask.TotalChars);
        for (int click = 0; click < 2; ++click) {  // again: nothing new, same status
            frm.lblStatus->clear();
            game.ClickLine(c.line, c.x);
            EXPECT_EQ(flags[static_cast<std::size_t>(c.index)], 1);
            EXPECT_EQ(frm.FTask.RevealedCount, after);
            EXPECT_EQ(game.Status(), status);
        }
    }

    TGame game({Poem("诗", "", "", kQuietNight)});
    TfrmMain& frm = game.Show(/*startPuzzle=*/false);
    game.ClickLine(0, 100);  // before the first puzzle
    EXPECT_TRUE(game.Status().isEmpty());
    frm.NewPuzzle();
    for (auto [line, index] : {std::pair{0, 5}, std::pair{4, 0}, std::pair{-1, 0}, std::pair{0, -1}})
        frm.RevealChar(line, index);
    EXPECT_EQ(frm.FTask.RevealedCount, 1);

    for (Qt::CursorShape expected : {Qt::PointingHandCursor, Qt::ArrowCursor}) {  // playing, given up
        frm.pbLine[0]->setCursor(Qt::ArrowCursor);
        Q_EMIT frm.pbLine[0]->MouseMoved(frm.pbLine[0], {}, {}, 10, 10);
        EXPECT_EQ(frm.pbLine[0]->cursor().shape(), expected);
        game.Click(frm.lblGiveUp);
    }
}

// Guards against tiles drawn in the wrong place, size or colours, blended
// edges, a character drawn outside its cell or off centre, and anything but
// background and frame before the first puzzle.
TEST(Grid, PixelsOfTilesAndCharacters)
{
    constexpr QRgb kBack = 0xD8E8F0, kFrame = 0x90B0C0, kOuter = 0x80A8C0, kFill = 0xE0EDF5, kMiddle = 0xB8CCD8,
                   kInner = 0xA0C0D0, kInnerFill = 0xC8DCE8, kChar = 0x692844;
    TGame game({Poem("早发白帝城", "", "", kWhiteKing)}, {0, 0});
    TfrmMain& frm = game.Show(/*startPuzzle=*/false);
    const QImage empty = frm.pbLine[0]->grab().toImage();
    ASSERT_EQ(empty.size(), QSize(510, 46));
    for (int y = 0; y < 46; ++y)
        for (int x = 0; x < 510; ++x)
            ASSERT_EQ(PixelAt(empty, x, y), x == 0 || y == 0 || x == 509 || y == 45 ? kFrame : kBack) << x << "," << y;

    frm.NewPuzzle();  // line 0, character 0 uncovered
    const QImage row = frm.pbLine[0]->grab().toImage();
    // Across the second cell (x 78 .. 147) at y = 20, and down it at x = 100.
    const std::pair<int, QRgb> across[] = {
        {77, kBack},  {79, kBack},      {80, kOuter},      {81, kFill},   {82, kMiddle}, {84, kFill},
        {85, kInner}, {86, kInnerFill}, {139, kInnerFill}, {140, kInner}, {141, kFill},  {143, kMiddle},
        {144, kFill}, {145, kOuter},    {146, kBack},      {149, kBack},  {150, kOuter}, {497, kBack}};
    for (auto [x, colour] : across)
        EXPECT_EQ(PixelAt(row, x, 20), colour) << "x " << x;
    const std::pair<int, QRgb> down[] = {{9, kBack},   {10, kOuter},     {11, kFill},  {12, kMiddle},
                                         {15, kInner}, {16, kInnerFill}, {30, kInner}, {33, kMiddle},
                                         {35, kOuter}, {36, kBack},      {45, kFrame}};
    for (auto [y, colour] : down)
        EXPECT_EQ(PixelAt(row, 100, y), colour) << "y " << y;

    // The uncovered first cell: character pixels only inside its tile
    // (10,10)-(76,36), roughly centred in the cell, and no tile drawn.
    int count = 0, sumX = 0;
    for (int y = 1; y < 45; ++y)
        for (int x = 1; x < 78; ++x) {
            const QRgb p = PixelAt(row, x, y);
            EXPECT_TRUE(p != kOuter && p != kInner && p != kMiddle) << x << "," << y;
            if (p == kChar) {
                ++count;
                sumX += x;
                EXPECT_TRUE(x >= 10 && x < 76 && y >= 10 && y < 36) << x << "," << y;
            }
        }
    ASSERT_GT(count, 20);
    EXPECT_NEAR(static_cast<double>(sumX) / count, 8 + 35, 6);  // cell 8 .. 78
}

// Guards against the panel not following a wrapping title, the scroll box
// moving, text not cut into lines, and a panel that opens scrolled down or
// with a stale poem.
TEST(PoemPanel, LongTitleWrapsAndPushesTheAuthorDown)
{
    std::string longContent = kQuietNight;
    for (int i = 0; i < 12; ++i)
        longContent += "\r\n春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。";
    TGame game({Poem("和晋陵陆丞早春游望同赋春字韵之长题", "杜审言", " 唐 ", longContent.c_str()),
                Poem("静夜思", "", "", kQuietNight)});
    TfrmMain& frm = game.Show();
    game.Click(frm.lblGiveUp);

    const QRect title = frm.lblPoemTitle->geometry();
    EXPECT_EQ(title.topLeft(), QPoint(0, 20));
    EXPECT_EQ(title.width(), 232);
    EXPECT_GE(title.height(), 2 * QFontMetrics(frm.lblPoemTitle->font()).height());
    EXPECT_EQ(title.height(), frm.lblPoemTitle->heightForWidth(232));
    EXPECT_EQ(frm.lblPoemAuthor->y(), title.y() + title.height() + 4);
    EXPECT_EQ(frm.lblPoemAuthor->text(), Q("【唐】杜审言"));
    EXPECT_EQ(frm.lblPoemRule->y(), frm.lblPoemAuthor->y() + frm.lblPoemAuthor->height() + 10);
    EXPECT_EQ(frm.sbPoem->geometry(), QRect(4, 110, 224, 540));
    EXPECT_EQ(frm.lblPoemText->geometry().topLeft(), QPoint(8, 0));
    EXPECT_EQ(frm.lblPoemText->width(), 208);
    EXPECT_EQ(frm.lblPoemText->height(), frm.lblPoemText->heightForWidth(208));
    EXPECT_TRUE(frm.lblPoemText->text().startsWith(Q("床前明月光，\n疑是地上霜。\n举头望明月，\n")));
    EXPECT_EQ(frm.lblPoemText->text().count(QLatin1Char('\n')), 4 + 12 * 4 - 1);
    ASSERT_GT(frm.sbPoem->verticalScrollBar()->maximum(), 0);

    // Hidden and shown again: filled anew and back at the top.
    frm.sbPoem->SetVertPosition(200);
    game.Click(frm.lblPoemToggle);
    EXPECT_FALSE(frm.FPoemVisible);
    game.Click(frm.lblPoemToggle);
    EXPECT_TRUE(frm.FPoemVisible);
    EXPECT_EQ(frm.sbPoem->VertPosition(), 0);

    // A restart hides it; showing it again shows the new puzzle's poem.
    game.Draws = {49, 0};  // the first poem's 52 lines give candidates 0 .. 48
    game.Click(frm.lblRestart);
    EXPECT_FALSE(frm.pnlPoem->isVisible());
    game.Click(frm.lblPoemToggle);
    EXPECT_EQ(frm.lblPoemTitle->text(), Q("《静夜思》"));
    EXPECT_LT(frm.lblPoemTitle->height(), title.height());
    EXPECT_EQ(frm.lblPoemAuthor->y(), 20 + frm.lblPoemTitle->height() + 4);
    EXPECT_TRUE(frm.lblPoemAuthor->text().isEmpty());
    EXPECT_EQ(frm.lblPoemText->text(), Q("床前明月光，\n疑是地上霜。\n举头望明月，\n低头思故乡。"));
}

}  // namespace
