// Kalvor_UDF: the window layer keeps the GUI on this thread and runs the
// program on a logic thread of its own.

#include "platform/appgraphics.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    return appgraphics::run_application(argc, argv, [] {
        main_program();
        return 0;
    });
}
