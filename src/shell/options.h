#pragma once
// The option dialogs and the option levels they set: the level of
// difficulty (globals::iopt), the weighting of data (globals::iwt with
// common_data::ndwt), curve smoothing (globals::ismth) and curve labels
// (globals::ilbl).
//
// Each dialog is a small window with a heading, one group of radio buttons
// (button k stands for level k) and a Close button; it returns when it has
// closed. The caller makes it modal: it closes the child windows, disables
// the menus and the main window, sets globals::idactivewin to the main
// window, and undoes all this afterwards. While open a dialog is listed in
// globals::child_windows and keeps its id in its globals id variable.

namespace difficulty {

// Level defaults.
inline constexpr int default_opt = 2;
inline constexpr int default_wt = 1;
inline constexpr int default_smooth = 1;
inline constexpr int default_label = 1;

// The level a dialog of count buttons starts from: the stored level when it
// lies in 1..count, else the default (0 and out-of-range values alike).
int preselect_level(int level, int count, int fallback);

void optlevel();     // "Level of Difficulty": Easy, Moderate, Difficult
void wtlevel();      // "Weighting of Data": five kinds; sets ndwt = iwt - 1
void smoothlevel();  // curve smoothing: None, Smooth-3pt, Smooth-5pt
void labellevel();   // curve labels: None, Before-Curve, After-Curve

void clearoptlevel();     // iopt = 2
void clearwtlevel();      // iwt = 1 (ndwt is left: the run derives it from iwt)
void clearsmoothlevel();  // ismth = 1
void clearlabellevel();   // ilbl = 1

}  // namespace difficulty
