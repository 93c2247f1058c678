#pragma once
// The game's colours, 0xRRGGBB, each named once. A colour that several areas
// share has one name here, so that it changes in one place. Widget-free: the
// window turns them into QColor with Rgb() (controls_window.h).

// ---- The window and what is painted behind the controls
inline constexpr unsigned kWindowColor = 0x7DDDEF;  // the client area, under everything
inline constexpr unsigned kBorderStripColor = 0x5A627A;  // the strips along the top and bottom
inline constexpr unsigned kFrameColor = 0x96385C;  // the inner frame
// The paper of the title, verse, input and command areas; also the
// background when no picture is found.
inline constexpr unsigned kPaper = 0xF5EBDC;
// The corner ornaments, the poem panel's divider and the rule under its
// author, and the uncovered characters of the verse lines.
inline constexpr unsigned kPlum = 0x692844;

// ---- Areas and buttons
inline constexpr unsigned kInfoColor = 0xEBDDD4;  // the info panel; the progress label of a remote load
inline constexpr unsigned kHistoryColor = 0xE8F0F5;  // the history panel and its memo
inline constexpr unsigned kButtonColor = 0xDCBEA0;
inline constexpr unsigned kHintButtonColor = 0xF0D8C0;
inline constexpr unsigned kPoemPanelColor = 0xEBF0F2;

// ---- Text
inline constexpr unsigned kTitleText = 0x8B1818;
inline constexpr unsigned kSubtitleText = 0x662233;
inline constexpr unsigned kBodyText = 0x3C1E00;  // also the progress label of a remote load

// ---- The verse lines: rows and the tiles over covered characters
inline constexpr unsigned kRowBackground = 0xD8E8F0;
inline constexpr unsigned kRowFrame = 0x90B0C0;
inline constexpr unsigned kTileOuterFrame = 0x80A8C0;
inline constexpr unsigned kTileFill = 0xE0EDF5;
inline constexpr unsigned kTileMiddleFrame = 0xB8CCD8;
inline constexpr unsigned kTileInnerFrame = 0xA0C0D0;
inline constexpr unsigned kTileInnerFill = 0xC8DCE8;

// ---- The classic controls
inline constexpr unsigned kBevelHighlight = 0xFFFFFF;  // light edges of a panel's bevels
inline constexpr unsigned kBevelShadow = 0xA0A0A0;  // dark edges
inline constexpr unsigned kDisabledText = 0x808080;  // the text of a disabled button
