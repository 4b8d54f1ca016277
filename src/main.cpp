// Kalvor_UDF: the window layer keeps the GUI on this thread and runs the
// program on a logic thread of its own.

#include "platform/appgraphics.h"
#include "run/cascade.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    cascade::install_services();
    return appgraphics::run_application(argc, argv, [] {
        main_program();
        return 0;
    });
}
