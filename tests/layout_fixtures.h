// What the two halves of the layout suite share: the window's colours, a main
// window in a program directory of its own, and probes of single pixels.
#pragma once

#include "app/uMain.h"
#include "support/test_support.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <memory>

inline constexpr QRgb kPaperRgb = 0xF5EBDC;
inline constexpr QRgb kLight = 0xFFFFFF;  // bevel highlight
inline constexpr QRgb kDark = 0xA0A0A0;  // bevel shadow
inline constexpr QRgb kFrame = 0x96385C;
inline constexpr QRgb kOrnament = 0x692844;
inline constexpr QRgb kStrip = 0x5A627A;

// A main window in a program directory of its own; `background`, when given,
// is written there as bg_poetry.bmp first. The recorder takes the box about
// the missing database.
struct TWindow {
    explicit TWindow(const QImage& background = QImage())
    {
        EXPECT_TRUE(background.isNull() || background.save(Dir.File(QStringLiteral("bg_poetry.bmp")), "BMP"));
        Frm = std::make_unique<TfrmMain>();
    }
    TfrmMain& Show()
    {
        ShowAndActivate(*Frm);
        return *Frm;
    }
    QImage Shot() const { return Frm->grab().toImage(); }

    TScopedProgramDir Dir;
    TMessageBoxRecorder Boxes;
    std::unique_ptr<TfrmMain> Frm;
};

// Probes of single pixels in a grabbed image.
struct TProbe {
    int x, y;
    QRgb color;
};

inline void ExpectPixels(const QImage& image, std::initializer_list<TProbe> probes)
{
    for (const TProbe& p : probes)
        EXPECT_EQ(PixelAt(image, p.x, p.y), p.color) << p.x << "," << p.y;
}

template <std::size_t N> void ExpectPixels(const QImage& image, const TProbe (&probes)[N])
{
    for (const TProbe& p : probes)
        EXPECT_EQ(PixelAt(image, p.x, p.y), p.color) << p.x << "," << p.y;
}
