#pragma once
// The run display of a fit and its Cancel button.
//
// While the fitting driver works, the drawing area of the caller's current
// window (the main window) shows a progress line with a bar, a Cancel
// button, the lowest sum of squares and the current parameters.  No message
// loop runs during a fit, so the display changes only at the driver's
// progress points.  Everything is drawn from the fitting thread; the only
// code that runs on another thread is the Cancel button's callback.

#include <memory>
#include <optional>
#include <string_view>

#include "foundations/fixed_text.h"
#include "run/sharc_state.h"

namespace progressbar {

// The progress line last composed.
struct Progresswindow {
    kalvor::Text<128> text;

    // Repaints, stores text when given (cut at 128 characters), clears the
    // viewport and draws the trimmed line at (5, 5) when it is not blank.
    // value (the percent) is not used: the line carries its own.
    void drawpercent(int value, std::optional<std::string_view> text = std::nullopt);
};

}  // namespace progressbar

namespace sharc {

// The Cancel button's callback: marks the run cancelled
// (globals::bcancelrun = 1) and uses up the refinement count of the driver
// state (stage counter = cap - start + 1), so that the next cap test ends
// the refinement.  Pressing it twice has the effect of once.
void canceltest(DriverState& s);

// Cancels the fit whose run display is open, as its Cancel button does;
// false when no fit runs. Safe from any thread.
bool cancel_running_fit();

// Progress value of the refinement: counter x 200 / (cap - start) in single
// precision, at most 100 when capped; 100 when the count has no room
// (cap - start < 1).
float progress_value(const DriverState& s, bool capped);

// The run display of one fit.
class RunDisplay {
public:
    RunDisplay();
    ~RunDisplay();
    RunDisplay(const RunDisplay&) = delete;
    RunDisplay& operator=(const RunDisplay&) = delete;

    // Opening display: clears the viewport, clears globals::bcancelrun,
    // creates the Cancel button wired to canceltest(s), draws the first
    // progress point, the rule, "Wait, preprocessing.." and the bar frame.
    // After a Quit (globals::bquit) the fit is cancelled at once.
    void open(DriverState& s);

    // A progress point: draws the line composed at the previous point with
    // its bar, which fills that point's percent of the frame, then composes
    // the next line from the percent (see progress_value) and the label
    // ("Reweight:", "Refining:" or "Progress:").
    void progress_point(const DriverState& s, bool capped);

    // The lowest sum of squares and the parameter line of s.p, wrapped
    // before a parameter where it would run past the window's right edge.
    void draw_values(const DriverState& s);

    // Closing display: removes the Cancel button (the callback no longer
    // reaches s), shows "Data File: <name>" and "Analysis completed..."
    // unless this is the first fit of a Difficult run (restart: the Restart
    // flag), then clears the area to white.
    void close(int restart);

    const progressbar::Progresswindow& window() const { return window_; }
    int button() const { return button_; }

    // The Cancel button's way to the driver state (also cancel_running_fit's).
    struct CancelLink;

private:
    // Cuts the Cancel button's way to the driver state.
    void detach();
    void draw_frame();
    // Bar strokes inside the frame over percent of its width.
    void draw_bar(int percent);

    progressbar::Progresswindow window_;
    int composed_percent_ = 0;  // the percent of the line in window_
    int button_ = -1;
    std::shared_ptr<CancelLink> link_;
};

}  // namespace sharc
