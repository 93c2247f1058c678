#pragma once
// Geometry of what the main window paints behind its controls: the inner
// frame and the four L-shaped corner ornaments. Pure functions of the client
// size, so that they are checked without a window.

#include <QLine>
#include <QRect>

#include <array>

// Their colours are kFrameColor and kPlum (palette.h).
inline constexpr int kOrnamentPenWidth = 2;

// The frame's outline as pixels: the client rectangle shrunk by 4 on every
// side, so its edges lie in columns 4 and w - 5 and rows 4 and h - 5.
QRect FrameRect(int w, int h);

// The eight ornament segments in drawing order: for each corner (top left,
// top right, bottom left, bottom right) the vertical arm, then the
// horizontal one. Each runs from p1() (the ornament's corner point) to p2(),
// which is not drawn.
std::array<QLine, 8> OrnamentSegments(int w, int h);

// The pixels a horizontal or vertical segment covers when drawn with a pen
// `penWidth` pixels wide, its last point excluded. A pen of even width lies
// around the line with its extra pixel on the left or top side: a 2-pixel
// vertical line at x = 8 covers columns 7 and 8. A segment of length zero
// covers nothing.
QRect SegmentPixels(const QLine& segment, int penWidth);
