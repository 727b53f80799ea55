#include "ui/form1_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ui/icon_file.h"

namespace mjr {
namespace {

ControlRects DesignRects(float tpp) { return ControlPixels(tpp, tpp, {}); }

TEST(Form1Layout, EveryShownControlFallsOnWholePixelsInsideTheClientArea) {
    for (const ControlSpec& c : kForm1Controls) {
        SCOPED_TRACE(std::string(c.name));
        const TwipRect& r = c.rect;
        for (int v : {r.left, r.top, r.width, r.height}) EXPECT_EQ(v % 15, 0);
        if (c.kind == ControlKind::PictureHolder) {
            EXPECT_FALSE(c.visible);
            EXPECT_GE(r.top, kForm1.clientHeight) << "holders lie below the client area";
        } else if (c.kind != ControlKind::Timer) {
            EXPECT_TRUE(c.visible);
            EXPECT_LE(r.left + r.width, kForm1.clientWidth);
            EXPECT_LE(r.top + r.height, kForm1.clientHeight);
        }
    }
    EXPECT_LT(kForm1.top + kForm1.clientHeight, 0) << "first shown entirely above the screen";
    EXPECT_EQ(kForm1Controls.back().id, ControlId::PicMain) << "PicMain lies behind every control";
}

TEST(Form1Layout, ClicksReachOnlyTheImageButtons) {
    const auto rects = DesignRects(15);
    struct Case { int x, y; std::optional<ControlId> hit; };
    for (const Case& c : {Case{186, 16, ControlId::Image1}, Case{209, 39, ControlId::Image1},
                          Case{210, 16, std::nullopt}, Case{221, 16, ControlId::Image2},
                          Case{244, 39, ControlId::Image2}, Case{204, 47, ControlId::Image3},
                          Case{235, 78, ControlId::Image3}, Case{236, 78, std::nullopt},
                          Case{60, 15, std::nullopt},  // LblFavsLoaded
                          Case{100, 85, std::nullopt}, // LblProfileUsed
                          Case{10, 10, std::nullopt},  // PicMain only
                          Case{20, 200, std::nullopt}}) {  // the hidden PicOK
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(ImageButtonAt(c.x, c.y, rects), c.hit);
    }
    // A label grown over an image button takes the click only where it lies in front.
    auto grown = rects;
    grown[5].width = 200;  // LblFavsLoaded, behind Image1
    EXPECT_EQ(ImageButtonAt(190, 20, grown), ControlId::Image1);
}

TEST(Form1Layout, ImageControlsAreTheSizeOfTheirPicturesAtEveryScale) {
    // A picture given with no size (not loaded) leaves the design size.
    const std::initializer_list<PictureSize> pictures{
        {ControlId::Image1, 24, 24}, {ControlId::Image2, 24, 24}, {ControlId::Image3, 32, 32},
        {ControlId::PicOK, 259, 80}, {ControlId::PictBad, 259, 80}, {ControlId::PicMain, 0, 80}};
    for (float tpp : {15.0f, 12.0f, 10.0f, 7.2f}) {
        SCOPED_TRACE(testing::Message() << "tpp " << tpp);
        const auto rects = ControlPixels(tpp, tpp, pictures);
        for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
            const PixelRect design = ToPixels(kForm1Controls[i].rect, tpp, tpp);
            EXPECT_EQ(rects[i].left, design.left);
            EXPECT_EQ(rects[i].top, design.top);
        }
        EXPECT_EQ(rects[1].width, 32);  // Image3
        EXPECT_EQ(rects[1].height, 32);
        EXPECT_EQ(rects[2].width, 24);  // Image2
        EXPECT_EQ(rects[10].width, 259);  // PicOK
        EXPECT_EQ(rects[11].width, ToPixels(kForm1Controls[11].rect, tpp, tpp).width);  // PicMain
    }
    // At 120 dpi Image3's design box is 40 pixels wide; five pixels right of its icon is beside it.
    const auto at120 = ControlPixels(12, 12, pictures);
    EXPECT_EQ(ImageButtonAt(255 + 31, 60, at120), ControlId::Image3);
    EXPECT_EQ(ImageButtonAt(255 + 31 + 5, 60, at120), std::nullopt);
    EXPECT_EQ(ImageButtonAt(255 + 31 + 5, 60, DesignRects(12)), ControlId::Image3);
}

TEST(Form1Layout, APressedImageButtonOwnsEveryMoveUntilItsRelease) {
    const auto rects = DesignRects(15);
    struct Case {
        const char* name;
        int pressX, pressY;
        bool lost;  // the capture taken away before the release
        int releaseX, releaseY;
        bool held;
        std::optional<ControlId> clicked;
    };
    for (const Case& c : {Case{"click", 198, 28, false, 200, 30, true, ControlId::Image1},
                          Case{"dragged to tray code 515", 198, 28, false, 515, 28, true, std::nullopt},
                          Case{"dragged away and back", 220, 63, false, 220, 63, true, ControlId::Image3},
                          Case{"onto another button", 198, 28, false, 233, 28, true, std::nullopt},
                          Case{"capture lost", 233, 28, true, 233, 28, true, std::nullopt},
                          Case{"on a label", 60, 15, false, 60, 15, false, std::nullopt},
                          Case{"on the picture", 10, 10, false, 198, 28, false, std::nullopt}}) {
        SCOPED_TRACE(c.name);
        ImageButtonPress press;
        EXPECT_TRUE(press.MoveIsWindowEvent());
        EXPECT_EQ(press.Press(c.pressX, c.pressY, rects), c.held);
        EXPECT_EQ(press.MoveIsWindowEvent(), !c.held) << "moves while held are the button's drag";
        if (c.lost) press.CaptureLost();
        EXPECT_EQ(press.Release(c.releaseX, c.releaseY, rects), c.clicked);
        EXPECT_TRUE(press.MoveIsWindowEvent()) << "after the release moves are the window's again";
    }
}

// The folder is built in; MJR_UI_ASSET_DIR names another where the tests run on another machine.
std::vector<std::uint8_t> ReadAsset(const std::string& name) {
    const char* moved = std::getenv("MJR_UI_ASSET_DIR");
    std::ifstream in(std::string(moved ? moved : MJR_UI_ASSET_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
std::uint32_t U16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

TEST(Form1Assets, GifsAre259By80Gif89aWith256ColoursAndNoTransparency) {
    for (const char* name : {"picok.gif", "pictbad.gif"}) {
        SCOPED_TRACE(name);
        const auto b = ReadAsset(name);
        ASSERT_GT(b.size(), 13u + 768u);
        EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
        EXPECT_EQ(U16(b, 6), 259u);
        EXPECT_EQ(U16(b, 8), 80u);
        EXPECT_TRUE(b[10] & 0x80) << "global colour table";
        EXPECT_EQ(b[10] & 0x07, 7) << "of 256 entries";
        // Walk the blocks: one image, no graphic control extension asking for transparency.
        std::size_t at = 13 + 768, images = 0;
        while (at < b.size() && b[at] != 0x3B) {
            if (b[at] == 0x21) {
                if (b[at + 1] == 0xF9) {
                    EXPECT_FALSE(b[at + 3] & 0x01) << "transparent colour";
                }
                at += 2;
                while (b[at] != 0) at += b[at] + 1u;
                ++at;
            } else {
                ASSERT_EQ(b[at], 0x2C);
                ++images;
                EXPECT_EQ(U16(b, at + 5), 259u);
                EXPECT_EQ(U16(b, at + 7), 80u);
                at += 10;
                if (b[at - 1] & 0x80) at += 3u << ((b[at - 1] & 7) + 1);
                ++at;  // LZW minimum code size
                while (b[at] != 0) at += b[at] + 1u;
                ++at;
            }
        }
        EXPECT_EQ(images, 1u);
    }
}

TEST(Form1Assets, ButtonBitmapsAre24By24At24Bits) {
    for (const char* name : {"image1.bmp", "image2.bmp"}) {
        SCOPED_TRACE(name);
        const auto b = ReadAsset(name);
        ASSERT_GT(b.size(), 54u);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(U32(b, 18), 24u);
        EXPECT_EQ(U32(b, 22), 24u);
        EXPECT_EQ(U16(b, 28), 24u);
        EXPECT_EQ(U32(b, 30), 0u) << "uncompressed";
    }
}

TEST(Form1Assets, IconsHoldOne32By32ImageAt24BitsWithAMask) {
    for (const char* name : {"marrowbine_jr.ico", "image3.ico"}) {
        SCOPED_TRACE(name);
        const auto b = ReadAsset(name);
        ASSERT_GT(b.size(), 22u);
        EXPECT_EQ(U16(b, 4), 1u) << "one image";
        auto image = FirstIconImage(b);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, 32);
        EXPECT_EQ(image->height, 32);
        const auto& h = image->bytes;
        EXPECT_EQ(h[14] | h[15] << 8, 24) << "bits per pixel";
        EXPECT_EQ(h.size(), 40u + 32 * 32 * 3 + 32 * 4) << "colours and a 1-bit mask";
    }
    EXPECT_NE(ReadAsset("marrowbine_jr.ico"), ReadAsset("image3.ico"));
}

TEST(IconFile, RefusesWhatIsNotAUsableIcon) {
    auto good = ReadAsset("image3.ico");
    ASSERT_TRUE(FirstIconImage(good));
    auto cut = good;
    cut.resize(cut.size() - 1);
    auto cursor = good;
    cursor[2] = 2;
    auto none = good;
    none[4] = 0;
    auto farOffset = good;
    farOffset[18] = 0xFF;
    farOffset[19] = 0xFF;
    for (const auto* bad : {&cut, &cursor, &none, &farOffset}) EXPECT_FALSE(FirstIconImage(*bad));
    EXPECT_FALSE(FirstIconImage(std::vector<std::uint8_t>(10, 0)));
}

}  // namespace
}  // namespace mjr
