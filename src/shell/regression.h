#pragma once
// The one place where the main window starts a regression run.

namespace shell {

// Runs the chosen data file once (a Restart when globals::bpostrun is 1) and
// leaves the outcome in the run flags: bdataerror (file rejected),
// bcorrectmdl and brerun (model confirmed or declined), berror (syntax
// error), bcancelrun (fit cancelled), and the summary in globals::sline3.
void run_regression();

// Quit during a run: the fit drawing now is cancelled as by its Cancel
// button, and so is every later fit of the run as soon as its run display
// opens (globals::bquit); a NEXT series starts no further file. The run so
// ends, its results file written whole, as after a Cancel. Safe from any
// thread.
void quit_regression();

}  // namespace shell
