#pragma once
// The one place where the main window starts a regression run.

namespace shell {

// Runs the chosen data file once (a Restart when globals::bpostrun is 1) and
// leaves the outcome in the run flags: bdataerror (file rejected),
// bcorrectmdl and brerun (model confirmed or declined), berror (syntax
// error), bcancelrun (fit cancelled), and the summary in globals::sline3.
void run_regression();

// Cancels the fit of the run in progress, as the fit's Cancel button does;
// false when no fit runs. Safe from any thread.
bool cancel_regression();

}  // namespace shell
