#include "game/grid.h"

#include <algorithm>

TCellGeometry CellGeometry(int boxWidth, int boxHeight, int charCount, int k)
{
    const int count = std::max(charCount, 1);
    TCellGeometry cell;
    cell.Width = std::max((boxWidth - 2 * kGridMargin) / count, kCellMinWidth);
    cell.Height = boxHeight - 2 * kGridMargin;
    cell.X = kGridMargin + k * cell.Width;
    cell.Y = kGridMargin;
    cell.Tile = {cell.X + kTileInset, cell.Y + kTileInset, cell.X + cell.Width - kTileInset,
                 cell.Y + cell.Height - kTileInset};
    return cell;
}

int ZoneIndex(int boxWidth, int charCount, int x)
{
    if (charCount < 1)
        return -1;
    const int zone = std::max(boxWidth / charCount, 1);
    int index = x / zone;  // truncates toward zero, so x in -zone+1 .. -1 gives 0 as well
    if (index >= charCount)
        index = charCount - 1;
    if (index < 0)
        index = 0;
    return index;
}

int ZoneCentre(int boxWidth, int charCount, int k)
{
    const int zone = std::max(boxWidth / std::max(charCount, 1), 1);
    return k * zone + zone / 2;
}
