#include "shell/startup.h"

#include <filesystem>
#include <system_error>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "shell/helptexts.h"
#include "shell/mainmenu.h"
#include "shell/settings.h"
#include "shell/textbox.h"

namespace ag = appgraphics;

std::string start_folder(std::string_view current) {
    std::string folder(current);
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

void main_program() {
    std::error_code ec;
    globals::cwd.assign(start_folder(std::filesystem::current_path(ec).string()));

    kalvor::Text<640> exe_path;
    kalvor::Text<640> data_dir;
    ini(exe_path, data_dir);

    globals::gwincolor1 = ag::creatergb(242, 245, 250);
    const kalvor::Text<640> splash(helptexts::splash_text());
    textbox::splashscreen(kalvor::Text<60>("Kalvor_UDF").view(), splash.trimmed(), 4);
    globals::gwincolor2 = ag::creatergb(235, 245, 250);

    mainmenu::menu();
    ag::closewindow(ag::ALL_WINDOWS);
}
