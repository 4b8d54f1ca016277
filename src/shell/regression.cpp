#include "shell/regression.h"

#include "model/globals.h"
#include "run/main_sub.h"
#include "run/progress.h"

void shell::run_regression() { main_sub(); }

void shell::quit_regression() {
    globals::bquit = 1;
    sharc::cancel_running_fit();
}
