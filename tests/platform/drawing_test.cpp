// Drawing and text on a window's canvas, checked at known pixels.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/appgraphics.h"
#include "platform/testdriver.h"

namespace ag = appgraphics;
namespace td = testdriver;

namespace {

constexpr int kRed = ag::creatergb(255, 0, 0);
constexpr int kGreen = ag::creatergb(0, 255, 0);
constexpr int kBlue = ag::creatergb(0, 0, 255);

// Number of rows of column x whose pixel has the colour.
int rows_with(const td::Image& img, int x, int color) {
    int n = 0;
    for (int y = 0; y < img.height; ++y) n += img.pixel(x, y) == color;
    return n;
}

// Bounding box of the pixels of one colour: left, top, right, bottom (-1 when none).
std::array<int, 4> box_of(const td::Image& img, int color) {
    std::array<int, 4> b{-1, -1, -1, -1};
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            if (img.pixel(x, y) != color) continue;
            if (b[0] < 0 || x < b[0]) b[0] = x;
            if (b[1] < 0 || y < b[1]) b[1] = y;
            b[2] = std::max(b[2], x);
            b[3] = std::max(b[3], y);
        }
    }
    return b;
}

}  // namespace

TEST(PlatformDrawing, CanvasIsExactlyTheSizeAskedForAndStartsWhite) {
    td::Session session;
    const int id = ag::initwindow(200, 100, "Canvas   ");
    ASSERT_GE(id, 0);
    EXPECT_EQ(ag::graphresult(), ag::grOk);
    EXPECT_EQ(ag::getcurrentwindow(), id);
    EXPECT_EQ(ag::getmaxx(), 199);
    EXPECT_EQ(ag::getmaxy(), 99);
    const auto list = td::windows();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].title, "Canvas");  // the blank-padded field shows trimmed
    EXPECT_EQ(list[0].width, 200);
    EXPECT_EQ(list[0].height, 100);
    ag::addmenu("", -1);  // a menu bar lies outside the canvas
    const auto img = td::grab(id);
    EXPECT_EQ(img.width, 200);
    EXPECT_EQ(img.height, 100);
    EXPECT_EQ(rows_with(img, 50, ag::WHITE), 100);
}

TEST(PlatformDrawing, ColoursAreRedPlus256GreenPlus65536Blue) {
    EXPECT_EQ(ag::creatergb(1, 2, 3), 1 + 256 * 2 + 65536 * 3);
    EXPECT_EQ(ag::creatergb(235, 245, 250), 0xFAF5EB);
    td::Session session;
    const int id = ag::initwindow(40, 40, "Colours");
    ag::putpixel(3, 4, kRed);
    ag::putpixel(5, 6, 0x800000);  // blue 128: dark blue
    ag::putpixel(7, 8, ag::creatergb(1, 2, 3));
    EXPECT_EQ(ag::getpixel(3, 4), kRed);
    // The PNG of the canvas holds the same pixels.
    const auto img = td::decode_png(td::grab_png(id));
    ASSERT_EQ(img.width, 40);
    EXPECT_EQ(img.pixel(3, 4), kRed);
    EXPECT_EQ(img.pixel(5, 6), 0x800000);
    EXPECT_EQ(img.pixel(7, 8), ag::creatergb(1, 2, 3));
    EXPECT_EQ(img.pixel(4, 4), ag::WHITE);
}

TEST(PlatformDrawing, LinesRectanglesAndTheCurrentPoint) {
    td::Session session;
    const int id = ag::initwindow(120, 80, "Lines");
    ag::setcolor(kRed);
    ag::line(100, 10, 5, 10);  // drawn from right to left
    ag::setlinestyle(ag::SOLID_LINE, 1, 3);
    ag::setcolor(kBlue);
    ag::line(10, 40, 110, 40);
    ag::setlinestyle(ag::SOLID_LINE, 1, 1);
    ag::setcolor(kGreen);
    ag::rectangle(20, 50, 60, 70);
    ag::moveto(70, 60);
    ag::lineto(70, 75);
    EXPECT_EQ(ag::getx(), 70);
    EXPECT_EQ(ag::gety(), 75);

    const auto img = td::grab(id);
    for (int x : {5, 50, 100}) EXPECT_EQ(img.pixel(x, 10), kRed) << x;
    EXPECT_EQ(img.pixel(50, 9), ag::WHITE);
    EXPECT_EQ(img.pixel(50, 11), ag::WHITE);
    // Thickness 3: three rows.
    EXPECT_EQ(rows_with(img, 60, kBlue), 3);
    // The rectangle is an outline from corner to corner.
    EXPECT_EQ(box_of(img, kGreen), (std::array<int, 4>{20, 50, 70, 75}));
    EXPECT_EQ(img.pixel(20, 60), kGreen);
    EXPECT_EQ(img.pixel(60, 60), kGreen);
    EXPECT_EQ(img.pixel(40, 50), kGreen);
    EXPECT_EQ(img.pixel(40, 70), kGreen);
    EXPECT_EQ(img.pixel(40, 60), ag::WHITE);
}

TEST(PlatformDrawing, DottedLinesLeaveGaps) {
    td::Session session;
    const int id = ag::initwindow(100, 20, "Dots");
    ag::setcolor(kRed);
    ag::setlinestyle(ag::DOTTED_LINE, 1, 1);
    ag::line(0, 10, 99, 10);
    const auto img = td::grab(id);
    int red = 0;
    for (int x = 0; x < 100; ++x) red += img.pixel(x, 10) == kRed;
    EXPECT_GT(red, 30);
    EXPECT_LT(red, 70);
}

TEST(PlatformDrawing, ViewportMovesTheOriginClipsAndClears) {
    td::Session session;
    const int id = ag::initwindow(100, 100, "Viewport");
    ag::setbkcolor(kGreen);
    ag::setviewport(50, 50, 89, 89, true);
    ag::clearviewport();
    ag::setcolor(kRed);
    ag::line(-40, 5, 200, 5);  // clipped to x 50..89 at y 55
    ag::setviewport(0, 30, 99, 99, false);
    ag::line(0, -20, 10, -20);  // not clipped: above the viewport at y 10

    const auto img = td::grab(id);
    EXPECT_EQ(box_of(img, kRed), (std::array<int, 4>{0, 10, 89, 55}));
    EXPECT_EQ(img.pixel(49, 55), ag::WHITE);
    EXPECT_EQ(img.pixel(50, 55), kRed);
    EXPECT_EQ(img.pixel(89, 55), kRed);
    EXPECT_EQ(img.pixel(90, 55), ag::WHITE);
    EXPECT_EQ(img.pixel(5, 10), kRed);
    // clearviewport filled exactly the viewport.
    EXPECT_EQ(img.pixel(50, 50), kGreen);
    EXPECT_EQ(img.pixel(89, 89), kGreen);
    EXPECT_EQ(img.pixel(49, 50), ag::WHITE);
    EXPECT_EQ(img.pixel(90, 89), ag::WHITE);
    ag::resetviewport();
    EXPECT_EQ(ag::getpixel(50, 50), kGreen);
}

TEST(PlatformDrawing, TextIsPaintedOpaqueWithItsTrailingBlanks) {
    td::Session session;
    const int id = ag::initwindow(300, 100, "Text");
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 20);
    ag::setbkcolor(kGreen);
    ag::setcolor(ag::BLACK);
    const int w_plain = ag::textwidth("ab");
    const int w_blanks = ag::textwidth("ab      ");
    EXPECT_GT(w_blanks, w_plain + 10);
    ag::outtextxy(10, 10, "ab      ");
    const auto img = td::grab(id);
    // The blanks after "ab" are painted in the background colour.
    EXPECT_EQ(img.pixel(10 + w_blanks - 2, 15), kGreen);
    EXPECT_EQ(img.pixel(10 + w_blanks + 2, 15), ag::WHITE);
    const auto log = td::text_log(id);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "ab      ");
    EXPECT_EQ(log[0].size, 20);
    EXPECT_EQ(log[0].bkcolor, kGreen);
}

TEST(PlatformDrawing, TransparentTextLeavesTheBackground) {
    td::Session session;
    const int id = ag::initwindow(300, 60, "Transparent");
    ag::setbkcolor(kGreen);
    ag::settextstyle(ag::PLOT_FONT, ag::HORIZ_DIR, 20, true);
    ag::outtextxy(10, 10, "ab      ");
    EXPECT_EQ(box_of(td::grab(id), kGreen)[0], -1);
    EXPECT_TRUE(td::text_log(id).at(0).transparent);
}

TEST(PlatformDrawing, LineBreaksAtCrLfAndLf) {
    td::Session session;
    const int id = ag::initwindow(300, 200, "Lines of text");
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 16);
    ag::setbkcolor(kGreen);
    ag::outtextxy(10, 5, "one");
    const auto one = box_of(td::grab(id), kGreen);
    const int one_line = one[3] - one[1] + 1;
    ag::setbkcolor(kBlue);
    ag::outtextxy(100, 5, "first\r\nsecond line\nthird");
    const auto img = td::grab(id);
    const auto three = box_of(img, kBlue);
    const int three_lines = three[3] - three[1] + 1;
    EXPECT_GE(three_lines, 3 * one_line - 2);
    EXPECT_LE(three_lines, 3 * one_line + 6);
    // textheight is the height of the box painted, as textwidth is its width.
    EXPECT_EQ(ag::textheight("one"), one_line);
    EXPECT_EQ(ag::textheight("first\r\nsecond line\nthird"), three_lines);
    // The widest line counts, and the text has no CR in it when drawn.
    EXPECT_EQ(ag::textwidth("first\r\nsecond line\nthird"), ag::textwidth("second line"));
    EXPECT_EQ(box_of(img, kBlue)[2], 100 + ag::textwidth("second line") - 1);
}

TEST(PlatformDrawing, OpaqueLinesKeepTheUnderscoresOfTheLineAbove) {
    td::Session session;
    const int id = ag::initwindow(300, 200, "Underscores");
    // At 14 pixels the fixed-pitch font draws underscores inside the next
    // line's box, where an opaque background must not cover them.
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    ag::setbkcolor(kGreen);
    ag::setcolor(kRed);
    // Glyph pixels: neither the background nor the untouched canvas (glyph
    // edges are blended, so not exactly red).
    auto glyph_pixels = [&] {
        const auto img = td::grab(id);
        int n = 0;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) n += img.pixel(x, y) != kGreen && img.pixel(x, y) != ag::WHITE;
        return n;
    };
    ag::outtextxy(10, 5, "____");
    const int one_line = glyph_pixels();
    ASSERT_GT(one_line, 0);
    ag::clearviewport();
    ag::outtextxy(10, 5, "____\n____");
    EXPECT_EQ(glyph_pixels(), 2 * one_line);
}

TEST(PlatformDrawing, FontSixIsFixedPitchAndFontOneIsNot) {
    td::Session session;
    ag::initwindow(100, 100, "Fonts");
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    EXPECT_EQ(ag::textwidth("iiiiiiiiii"), ag::textwidth("MMMMMMMMMM"));
    EXPECT_EQ(ag::textwidth("1234567890"), ag::textwidth("          "));
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 14);
    EXPECT_LT(ag::textwidth("iiiiiiiiii"), ag::textwidth("MMMMMMMMMM"));
    // A larger size gives wider text.
    const int w14 = ag::textwidth("Residuals");
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 28);
    EXPECT_GT(ag::textwidth("Residuals"), w14 * 3 / 2);
}

TEST(PlatformDrawing, VerticalTextReadsUpwardInAQuarterTurnedBox) {
    td::Session session;
    const int id = ag::initwindow(100, 200, "Vertical");
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::VERT_DIR, 16);
    ag::setbkcolor(kGreen);
    const int w = ag::textwidth("Residuals");
    ag::outtextxy(20, 30, "Residuals");
    const auto box = box_of(td::grab(id), kGreen);
    EXPECT_EQ(box[0], 20);
    EXPECT_EQ(box[1], 30);
    EXPECT_EQ(box[3], 30 + w - 1);  // as tall as the text is wide
    EXPECT_EQ(box[2] - box[0] + 1, ag::textheight("Residuals"));
}

TEST(PlatformDrawing, JustificationCentresText) {
    td::Session session;
    const int id = ag::initwindow(200, 60, "Justify");
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 16);
    ag::setbkcolor(kGreen);
    ag::settextjustify(ag::CENTER_TEXT, ag::TOP_TEXT);
    const int w = ag::textwidth("centre");
    ag::outtextxy(100, 10, "centre");
    const auto box = box_of(td::grab(id), kGreen);
    EXPECT_EQ(box[0], 100 - w / 2);
    EXPECT_EQ(box[1], 10);
}

TEST(PlatformDrawing, SystemColourFifteenIsTheButtonFace) {
    EXPECT_EQ(ag::systemcolor(ag::COLOR_BTNFACE), ag::creatergb(240, 240, 240));
    EXPECT_EQ(ag::systemcolor(ag::COLOR_WINDOW), ag::WHITE);
    EXPECT_EQ(ag::systemcolor(999), ag::BLACK);
}

TEST(PlatformDrawing, WholeWindowImageShowsTheControlsOverTheCanvas) {
    td::Session session;
    const int id = ag::initwindow(200, 100, "Whole");
    ag::setbkcolor(kGreen);
    ag::clearviewport();
    ag::createbutton(10, 10, 80, 30, "Button", [] {});
    const auto canvas = td::grab(id);
    const auto whole = td::grab(id, true);
    EXPECT_EQ(whole.width, 200);
    EXPECT_EQ(whole.height, 100);
    EXPECT_EQ(canvas.pixel(50, 25), kGreen);
    EXPECT_NE(whole.pixel(50, 25), kGreen);  // the button covers the canvas there
    EXPECT_EQ(whole.pixel(150, 80), kGreen);
}

TEST(PlatformDrawing, TextOutOfReachIsReportedAndAResizedCanvasKeepsItsDrawing) {
    td::Session session;
    const int id = ag::initwindow(300, 3000, "Taller than the screen");
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    ag::outtextxy(10, 2900, "scrolled to");
    EXPECT_EQ(td::unreachable_text(id), std::vector<std::string>{});

    ag::outtextxy(250, 10, "past the right edge   ");
    ag::createbutton(10, 100, 80, 30, "Cover", [] {});
    ag::outtextxy(20, 110, "covered");
    auto faults = td::unreachable_text(id);
    ASSERT_EQ(faults.size(), 2u);
    EXPECT_EQ(faults[0].rfind("\"past the right edge\" at 250,10 ", 0), 0u) << faults[0];
    EXPECT_NE(faults[0].find("outside the canvas"), std::string::npos);
    EXPECT_NE(faults[1].find("\"covered\" at 20,110 "), std::string::npos) << faults[1];
    EXPECT_NE(faults[1].find("under a control"), std::string::npos);

    ag::putpixel(5, 5, kRed);
    ag::setwindowsize(600, 3000);
    EXPECT_EQ(ag::getmaxx(), 599);
    EXPECT_EQ(ag::getmaxy(), 2999);
    EXPECT_EQ(ag::getpixel(5, 5), kRed);
    EXPECT_EQ(ag::getpixel(550, 5), ag::WHITE);
    ASSERT_EQ(td::unreachable_text(id).size(), 1u);  // still covered

    // Clearing the covered text's place forgets it.
    ag::setviewport(0, 90, 599, 140, true);
    ag::clearviewport();
    EXPECT_EQ(td::unreachable_text(id), std::vector<std::string>{});
}

TEST(PlatformDrawing, CallsWithoutAWindowOrOnAClosedOneDoNothing) {
    td::Session session;
    EXPECT_EQ(ag::getmaxx(), -1);
    EXPECT_EQ(ag::textheight("nothing"), 0);
    ag::line(0, 0, 10, 10);
    ag::outtextxy(0, 0, "nothing");
    EXPECT_EQ(ag::createbutton(0, 0, 10, 10, "x", [] {}), -1);
    const int id = ag::initwindow(50, 50, "Closed");
    ag::closewindow(id);
    ag::closewindow(id);  // twice is fine
    ag::line(0, 0, 10, 10);
    ag::outtextxy(0, 0, "nothing");
    EXPECT_EQ(ag::getpixel(1, 1), -1);
    EXPECT_EQ(ag::addmenu("", -1), -1);
    EXPECT_FALSE(ag::iswindowopen(id));
    EXPECT_TRUE(td::windows().empty());
    EXPECT_TRUE(td::grab_png(id).empty());
}
