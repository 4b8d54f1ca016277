#include "shell/regression.h"

#include "run/main_sub.h"

void shell::run_regression() { main_sub(); }
