// The main window's verse lines: painting their cells and tiles, and the
// clicks that uncover characters.
#include "app/accessibility_window.h"
#include "app/palette.h"
#include "app/uMain.h"
#include "game/grid.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int kCharPoints = 22;

QRect ToQRect(const TGdiRect& r)
{
    return QRect(r.Left, r.Top, r.Width(), r.Height());
}

// A rectangle with a 1-pixel outline in `pen` and its interior in `fill`.
// Drawn with fills rather than strokes so that no pixel is blended. An empty
// or inverted rectangle draws nothing.
void DrawGdiRect(QPainter& painter, const TGdiRect& r, const QColor& pen, const QColor& fill)
{
    if (r.Width() <= 0 || r.Height() <= 0)
        return;
    painter.fillRect(ToQRect(r), pen);
    if (r.Width() > 2 && r.Height() > 2)
        painter.fillRect(ToQRect(r.Shrunk(1)), fill);
}

// A covered cell: three nested frames; the innermost only when it keeps
// some room inside.
void DrawTile(QPainter& painter, const TGdiRect& tile)
{
    DrawGdiRect(painter, tile, Rgb(kTileOuterFrame), Rgb(kTileFill));
    DrawGdiRect(painter, tile.Shrunk(2), Rgb(kTileMiddleFrame), Rgb(kTileFill));
    const TGdiRect inner = tile.Shrunk(5);
    if (inner.Left + 4 < inner.Right && inner.Top + 4 < inner.Bottom)
        DrawGdiRect(painter, inner, Rgb(kTileInnerFrame), Rgb(kTileInnerFill));
}

// An uncovered cell: its character centred in the cell by its measured
// size, cut off at the tile.
void DrawCellChar(QPainter& painter, const TCellGeometry& cell, const QString& text)
{
    const QFontMetrics metrics = painter.fontMetrics();
    const int textWidth = metrics.horizontalAdvance(text);
    const int textHeight = metrics.height();
    const int left = cell.X + (cell.Width - textWidth) / 2;
    const int top = cell.Y + (cell.Height - textHeight) / 2;
    painter.save();
    painter.setClipRect(ToQRect(cell.Tile));
    painter.setPen(Rgb(kPlum));
    painter.drawText(left, top + metrics.ascent(), text);
    painter.restore();
}

}  // namespace

int TfrmMain::LineOfSender(const TPaintBox* sender) const
{
    if (!sender)
        return -1;
    for (std::size_t i = 0; i < pbLine.size(); ++i)
        if (pbLine[i] == sender)
            return static_cast<int>(i);
    return -1;
}

void TfrmMain::LinePaint(TPaintBox* sender)
{
    const int line = LineOfSender(sender);
    QPainter* canvas = sender ? sender->Canvas() : nullptr;
    if (line < 0 || !canvas)
        return;

    const int width = sender->width();
    const int height = sender->height();
    canvas->fillRect(QRect(0, 0, width, height), Rgb(kRowBackground));
    DrawGdiRect(*canvas, {0, 0, width, height}, Rgb(kRowFrame), Rgb(kRowBackground));
    canvas->setFont(KaiFont(kCharPoints, true));

    const TLineState& state = FTask.Lines[static_cast<std::size_t>(line)];
    if (state.CharCount < 1)
        return;
    for (int k = 0; k < state.CharCount; ++k) {
        const TCellGeometry cell = CellGeometry(width, height, state.CharCount, k);
        const auto at = static_cast<std::size_t>(k);
        const bool uncovered = at < state.Revealed.size() && state.Revealed[at] == 1;
        if (uncovered && 2 * at + 2 <= state.Text.size())
            DrawCellChar(*canvas, cell, AnsiToWide(std::string_view(state.Text).substr(2 * at, 2)));
        else if (!uncovered)
            DrawTile(*canvas, cell.Tile);
    }
}

void TfrmMain::LineClick(TPaintBox* sender)
{
    const int line = LineOfSender(sender);
    if (line < 0)
        return;
    RevealAt(line, sender->ClickPos().x());
}

void TfrmMain::LineMouseMove(TPaintBox* sender, Qt::KeyboardModifiers /*shift*/, Qt::MouseButtons /*buttons*/,
                             int /*x*/, int /*y*/)
{
    if (LineOfSender(sender) < 0)
        return;
    if (FPuzzleActive && !FPuzzleOver)
        sender->setCursor(Qt::PointingHandCursor);
}

void TfrmMain::RevealAt(int line, int x)
{
    if (!FPuzzleActive || FPuzzleOver || line < 0 || line >= kStanzaLines)
        return;
    const TLineState& state = FTask.Lines[static_cast<std::size_t>(line)];
    if (state.CharCount < 1)
        return;
    RevealChar(line, ZoneIndex(pbLine[static_cast<std::size_t>(line)]->width(), state.CharCount, x));
    ShowStatusText(lblStatus,
                   QStringLiteral("已显示 %1/%2 个字，请猜诗词名！").arg(FTask.RevealedCount).arg(FTask.TotalChars));
}
