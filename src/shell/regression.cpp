#include "shell/regression.h"

#include "run/main_sub.h"
#include "run/progress.h"

void shell::run_regression() { main_sub(); }

bool shell::cancel_regression() { return sharc::cancel_running_fit(); }
