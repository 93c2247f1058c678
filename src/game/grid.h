#pragma once
// Geometry of the character grid: where each cell and its tile lie in a line
// box, and which character a horizontal position in the box belongs to.
// No widgets here.

constexpr int kGridMargin = 8;  // between the box's edge and the first cell
constexpr int kCellMinWidth = 20;  // cells never get narrower, even if they overflow the box
constexpr int kTileInset = 2;  // between a cell's edge and its tile

// A rectangle as the drawing rules give it: it covers the pixels Left ..
// Right-1 and Top .. Bottom-1.
struct TGdiRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    TGdiRect Shrunk(int d) const { return {Left + d, Top + d, Right - d, Bottom - d}; }
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TGdiRect&, const TGdiRect&) = default;
};

// Cell k of a row of `charCount` characters in a box of the given size: its
// origin and size, and the tile drawn for it while covered.
struct TCellGeometry {
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    TGdiRect Tile;
};
// `charCount` below 1 counts as 1.
TCellGeometry CellGeometry(int boxWidth, int boxHeight, int charCount, int k);

// The character a click at x uncovers. Clicks map over the box's whole width
// (no margin, unlike the painted cells) in zones of boxWidth div charCount,
// clamped to 0 .. charCount-1. -1 when charCount is below 1.
int ZoneIndex(int boxWidth, int charCount, int x);

// An x at which a click uncovers character k (the middle of its zone), so
// that ZoneIndex(boxWidth, charCount, ZoneCentre(boxWidth, charCount, k)) == k
// for every k in 0 .. charCount-1.
int ZoneCentre(int boxWidth, int charCount, int k);
