#pragma once
// The residuals window: the normalised residuals of the last fit against
// the data number on a fixed -6..6 scale, x-range panning, two trend lines
// and six statistical tests of the residuals, each answering in a message
// box.  It reads the fit data the last run left and never changes them.

#include <string>

namespace residualsbox {

// Opens the window (flag nonzero: with the plot drawn) and returns when the
// user chose Close; every registered child window is closed by then.
void residualsscreen(int& flag);

// Widens common_data::xrmin and xrmax in place to a neat range for count
// intervals; step is the neat tick step.
void neetscale(double& step, double count = 20.0);

// The format of the x-axis labels for label steps of s.
std::string x_label_format(float s);

}  // namespace residualsbox

// The window's commands; each runs on a library thread while the window is
// open.  The drawing and rescaling commands of one window run one at a time.
namespace residualsscreen {

void draw_line();
void reset_scale();
void xscale_left();
void xscale_right();
void smooth_value();
void besi0_value();
void runs();
void p_value();
void dw();
void pks_value();
void kp_value();
void t2_value();
void savescreen();
void printscreen();
void quitt();
bool close_box();  // the title bar's close box: as Close

}  // namespace residualsscreen
