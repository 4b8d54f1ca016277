#pragma once
// The window, drawing, control and dialog layer of the program.
//
// Every window has a canvas of exactly the size asked for (menu bar outside
// it), its own drawing state (colours, line and text style, viewport,
// current point) and its own idle flag. A window shows its whole canvas
// where the screen can hold it; beyond that it is as large as the screen and
// scrolls (scroll bars and mouse wheel). It keeps the place asked for unless
// it would run off the screen, and then moves back just far enough.
//
// Drawing paints into the canvas from whatever thread calls; window, menu,
// control and dialog work is carried out on the GUI thread, and calls from
// other threads wait for it.
//
// Threads: run_application keeps the GUI on the process's main thread and
// runs the program's logic on a thread of its own. Every menu item, button,
// scroll-bar and system-close callback runs on a new short-lived thread whose
// current window starts as the window that signalled. Each thread has its own
// current window: initwindow and setcurrentwindow change only the caller's.
//
// Every call is safe from any thread; a call on a closed window, or on a
// control of one, is a silent no-op. Colours are r + 256 g + 65536 b.
// Texts are UTF-8; bytes that are not valid UTF-8 are read as Windows-1252.

#include <functional>
#include <string>
#include <string_view>

namespace appgraphics {

using Callback = std::function<void()>;
using ScrollCallback = std::function<void(int position)>;
// Returns false (0) to refuse the close.
using CloseCallback = std::function<bool()>;

// ---- program entry ----

// Creates the application on the calling (main) thread, runs logic on a
// logic thread and the event loop here; when logic returns every window is
// closed and its exit code is returned. An exception escaping logic is
// reported on standard error and gives exit code 1.
int run_application(int argc, char** argv, std::function<int()> logic);

// ---- windows ----

inline constexpr int DEFAULT_POSITION = -32768;  // left/top: default placement
inline constexpr int ALL_WINDOWS = -2;           // closewindow: every window

// graphresult codes.
inline constexpr int grOk = 0;
inline constexpr int grNoInitGraph = -1;  // no application is running
inline constexpr int grError = -11;       // the window could not be made

// Opens a window with a width x height canvas and makes it the caller's
// current window. closeflag true: closing it from its title bar closes every
// window. Returns the id (0 or more), or -1 (see graphresult).
int initwindow(int width, int height, std::string_view title = "",
               int left = DEFAULT_POSITION, int top = DEFAULT_POSITION, bool closeflag = false);
// Gives the current window's canvas a new size: what was drawn stays where
// it is, new area is white, and getmaxx/getmaxy follow. A viewport that was
// the whole canvas becomes the whole new canvas; others stay as set.
void setwindowsize(int width, int height);
// Closes the window (ALL_WINDOWS: all); ends every wait on it. Idempotent.
void closewindow(int id);
// Whether the window is open (made and not yet closed).
bool iswindowopen(int id);
// Makes id the caller's current window; an unknown or closed id changes nothing.
void setcurrentwindow(int id);
int getcurrentwindow();
// On a callback thread: the window whose control fired. Elsewhere: the
// window that signalled last, or -1.
int getsignallingwindow();
// A disabled window takes no input: controls, menus and its title-bar close.
void enablewindow(int id, bool enable);
// Result of the caller's last initwindow; reading it resets it to grOk.
int graphresult();
// Callback for a close from the title bar of the current window. Without
// one the window closes.
void setwindowsystemclosecallback(CloseCallback callback);

// ---- idle wait ----

// Waits until stopidle is called for the window that is current now, or
// that window closes. A stopidle given while nobody waited is kept: the next
// loop consumes it and returns at once.
void loop();
// The same wait with a time-out (scaled by runtime::set_time_scale); it does
// not consume the stopidle flag. True when woken by stopidle or a close.
bool startidle(int milliseconds);
// Sets the idle flag of the caller's current window.
void stopidle();

// ---- drawing ----

// Line styles of setlinestyle; thickness is 1 to 4 pixels.
inline constexpr int SOLID_LINE = 0;
inline constexpr int DOTTED_LINE = 1;
inline constexpr int CENTER_LINE = 2;
inline constexpr int DASHED_LINE = 3;
inline constexpr int USERBIT_LINE = 4;  // pattern: 16 bits, bit 15 first
inline constexpr int NORM_WIDTH = 1;
inline constexpr int THICK_WIDTH = 3;

// Fill styles of setfillstyle.
inline constexpr int EMPTY_FILL = 0;
inline constexpr int SOLID_FILL = 1;

// System colour indices of systemcolor.
inline constexpr int COLOR_SCROLLBAR = 0;
inline constexpr int COLOR_BACKGROUND = 1;
inline constexpr int COLOR_ACTIVECAPTION = 2;
inline constexpr int COLOR_INACTIVECAPTION = 3;
inline constexpr int COLOR_MENU = 4;
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWFRAME = 6;
inline constexpr int COLOR_MENUTEXT = 7;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_CAPTIONTEXT = 9;
inline constexpr int COLOR_ACTIVEBORDER = 10;
inline constexpr int COLOR_INACTIVEBORDER = 11;
inline constexpr int COLOR_APPWORKSPACE = 12;
inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_HIGHLIGHTTEXT = 14;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_GRAYTEXT = 17;
inline constexpr int COLOR_BTNTEXT = 18;

// A few colours as r + 256 g + 65536 b.
inline constexpr int BLACK = 0x000000;
inline constexpr int WHITE = 0xFFFFFF;
inline constexpr int RED = 0x0000FF;
inline constexpr int GREEN = 0x00FF00;
inline constexpr int BLUE = 0xFF0000;
inline constexpr int LIGHTGRAY = 0xC0C0C0;
inline constexpr int DARKGRAY = 0x808080;

// Colour value of r, g, b (each 0..255).
constexpr int creatergb(int r, int g, int b) {
    return (r & 0xFF) + 256 * (g & 0xFF) + 65536 * (b & 0xFF);
}
// Colour of a system element (COLOR_...); black for an unknown index.
int systemcolor(int index);

// Viewport: coordinates of the drawing calls are relative to (left, top);
// with clip, drawing stays inside left..right, top..bottom. Setting it moves
// the current point to (0, 0).
void setviewport(int left, int top, int right, int bottom, bool clip);
// The whole canvas, clipped.
void resetviewport();
// Fills the viewport with the background colour; current point to (0, 0).
void clearviewport();
// Makes what was drawn visible in every window.
void refreshall();

int getmaxx();  // canvas width - 1
int getmaxy();  // canvas height - 1
int getactivepage();
void setactivepage(int page);

void setcolor(int color);
int getcolor();
void setbkcolor(int color);
int getbkcolor();
void setlinestyle(int style, int pattern, int thickness);
void setfillstyle(int pattern, int color);

void line(int x1, int y1, int x2, int y2);
void lineto(int x, int y);  // from the current point, which moves
void moveto(int x, int y);
int getx();
int gety();
void putpixel(int x, int y, int color);
int getpixel(int x, int y);  // -1 outside the canvas
// Outline in the drawing colour and line style.
void rectangle(int left, int top, int right, int bottom);

// ---- text ----

inline constexpr int SANS_SERIF_FONT = 1;  // other numbers draw sans-serif too
inline constexpr int MONOSPACE_FONT = 6;   // fixed pitch: tables line up
inline constexpr int PLOT_FONT = 7;
inline constexpr int HORIZ_DIR = 0;
inline constexpr int VERT_DIR = 1;  // reads bottom to top
inline constexpr int LEFT_TEXT = 0;
inline constexpr int CENTER_TEXT = 1;
inline constexpr int RIGHT_TEXT = 2;
inline constexpr int BOTTOM_TEXT = 0;
inline constexpr int TOP_TEXT = 2;

// size is the pixel height of the font. Text is painted opaque over the
// background colour unless transparent.
void settextstyle(int font, int direction, int size, bool transparent = false);
// Defaults LEFT_TEXT, TOP_TEXT. For vertical text the justification applies
// to the turned text box: left/top puts its top-left corner at (x, y).
void settextjustify(int horizontal, int vertical);
// Draws the text exactly, trailing blanks included; CR LF or LF start a new
// line. The current point does not move.
void outtextxy(int x, int y, std::string_view text);
// Width in pixels of the widest line in the current text style.
int textwidth(std::string_view text);
// Height in pixels of the text box outtextxy paints for the text (all its
// lines) in the current text style; for vertical text, its extent across.
int textheight(std::string_view text);

// ---- menus and controls ----
// Controls belong to the caller's current window; ids are unique across
// windows. Creating on no window returns -1. Buttons and radio buttons show
// their labels in an 11-pixel sans-serif font and are made at least as large
// as their labels need, growing right and down from the size asked for.

// An empty text with parent -1 makes the menu bar and returns its id; a text
// with the bar (or -1) as parent makes a menu, with a menu as parent a submenu.
int addmenu(std::string_view text, int parent);
int addmenuitem(std::string_view text, int parent, Callback callback);
int addmenuseparator(int parent);
// For items and whole menus.
void enablemenuitem(int id, bool enable);

int createbutton(int left, int top, int width, int height, std::string_view text, Callback callback);
void enablebutton(int id, bool enable);
// Moves and sizes a button, or any other control, as at its creation.
void setbuttonposition(int id, int left, int top, int width, int height);
void removebutton(int id);

// The radio buttons created after this call form one group (one checked).
void beginradiogroup();
int createradiobutton_nohandler(int left, int top, int width, int height, std::string_view text);
// The last state, also after the window has closed.
bool radiobuttonischecked(int id);
void radiobuttonsetchecked(int id, bool checked = true);

inline constexpr int SCROLL_HORIZONTAL = 0;
inline constexpr int SCROLL_VERTICAL = 1;
// The callback gets the new position after a move by the user.
int createscrollbar(int left, int top, int width, int height, int orientation, ScrollCallback callback);
void setscrollrange(int id, int minimum, int maximum);
// How far a click beside the thumb moves (one page); 10 until set.
void setscrollpage(int id, int page);
// Does not fire the callback.
void setscrollposition(int id, int position);
int getscrollposition(int id);

// ---- dialogs, image and print ----
// Each waits for the user's answer; the caller's current window owns the box.

inline constexpr int DIALOG_INFORMATION = 1;
inline constexpr int DIALOG_WARNING = 2;
inline constexpr int DIALOG_ERROR = 3;

// Trailing blanks of the text and of each of its lines are not shown.
void dlgmessage(int kind, std::string_view text);
// True for Yes; closing the box counts as No.
bool dlgyesno(int kind, std::string_view text);
// text is a fixed-length field: it shows trimmed, and only on OK it receives
// the entered text, blank-padded or cut to its size. True on OK.
bool dlgrequesttext(std::string& text, std::string_view title, std::string_view prompt);
// filename holds the start folder and a pattern (".../data/*.dat"); the
// pattern filter ("*.DAT") matches without regard to case. On OK filename
// receives the full path blank-padded to its size and the result is true;
// false on Cancel, and also when the path does not fit into filename (which
// then stays as it was).
bool dlgopenfile(std::string& filename, std::string_view filter_name,
                 std::string_view filter, std::string_view title);

// Saves the current window's content (canvas and controls) as an image:
// BMP or JPEG by the extension .bmp, .jpg or .jpeg, else PNG. The first form
// asks for the file name. True when written.
bool writeimagefile();
bool writeimagefile(std::string_view filename);
// Print dialog; prints the same image, or writes it to a PDF file when the
// user chooses that. True when printed.
bool printimage();

}  // namespace appgraphics
