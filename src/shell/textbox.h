#pragma once
// The splash window and the text windows with their Close and Help buttons.

#include <cstddef>
#include <string>
#include <string_view>

#include "foundations/fixed_text.h"

namespace textbox {

// Height of the 400-pixel-wide splash window and the horizontal shift of
// its text, by the text's length in bytes.
struct SplashLayout {
    int height = 0;
    int shift = 0;
};
SplashLayout splash_layout(std::size_t length);

// Size of a text window by the line count its caller gives.
struct WindowSize {
    int width = 0;
    int height = 0;
};
WindowSize textscreen_size(int nlines);

// The trimmed title, CR LF, and a dash under each of its characters.
std::string underlined_title(std::string_view title);

// Shows text (lines joined by CR LF) in a window titled title for duration
// seconds, then closes it.
void splashscreen(std::string_view title, std::string_view text, int duration);

// Shows text in a window headed by title, with a Close button and a Help
// button that shows help in a message box; returns when the window has
// closed. On return title holds its underlined form, cut or blank-padded to
// its length. The window is listed in globals::child_windows while open.
void textscreen(kalvor::FixedText& title, std::string_view text, int nlines, std::string_view help);

}  // namespace textbox
