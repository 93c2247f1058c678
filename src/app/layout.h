#pragma once
// Rules of the main window's layout that do not need a window.

inline constexpr int kCommandButtonWidth = 110;
inline constexpr int kCommandButtonHeight = 36;
inline constexpr int kCommandButtonGap = 12;

// Left edge of the command button `index` (0 restart, 1 switch range) in a
// command bar `barWidth` pixels wide. The first edge is
// (barWidth - 354) / 2 rounded toward zero. 354 is the room of three buttons
// and two gaps, so the two buttons sit left of the bar's centre.
constexpr int CommandButtonLeft(int barWidth, int index)
{
    const int x0 = (barWidth - (3 * kCommandButtonWidth + 2 * kCommandButtonGap)) / 2;
    return x0 + index * (kCommandButtonWidth + kCommandButtonGap);
}
