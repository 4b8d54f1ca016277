// The result-view launchers of the main window: the results and x/y data
// texts, the x/y plots and the residuals window of the last run.

#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "shell/mainmenu.h"
#include "shell/resultviews.h"
#include "views/plotlogxy.h"
#include "views/residualsbox.h"
#include "views/resultsbox.h"
#include "views/xydatabox.h"

namespace ag = appgraphics;

namespace menu {

void Menu::tidy_up() {
    ag::setcurrentwindow(window_);
    close_child_windows();
    ag::refreshall();
}

void Menu::open_modal_view(const std::function<void()>& view) {
    ag::clearviewport();
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    menuitemdisable();
    set_controls({Control::clear_item}, globals::brun == 0 && restart_done_ == 0);
    ag::stopidle();  // the main window redraws once the view has closed
    ag::enablewindow(window_, false);
    view();
    ag::enablewindow(window_, true);
    menuitemenable();
    set_controls({Control::clear_item}, true);
    tidy_up();
    choose_font_by_params();
    ag::refreshall();
    choice_ = choice::none;
}

void Menu::wresults() {
    globals::ctitle.assign("SUMMARY OF RESULTS:");
    const auto t = resultviews::results_text(globals::sline3, globals::nlines3);
    globals::cstring = t.text;
    globals::clen = t.clen;
    const std::string help = helptexts::results_help();
    open_modal_view([&] {
        const std::string_view title = globals::ctitle.view().substr(0, 220);
        resultsbox::resultsscreen(title, globals::cstring, t.nlines, globals::clen, help);
    });
    globals::cstring.clear();
}

void Menu::wxydata() {
    globals::ctitle.assign("SUMMARY OF X, Y, Ycalc, Residual DATA:");
    const auto t = resultviews::xydata_text(globals::sline5, globals::nlines5);
    globals::cstring = t.text;
    globals::clen = t.clen;
    const std::string help = helptexts::xydata_help();
    open_modal_view([&] {
        xydatabox::xydatascreen(globals::ctitle.view(), globals::cstring, t.nlines, globals::clen, help);
    });
    globals::cstring.clear();
}

void Menu::wresiduals() {
    open_modal_view([] {
        int flag = 1;
        residualsbox::residualsscreen(flag);
    });
}

void Menu::open_plot(bool from_logxy) {
    using namespace resultviews;
    const int kind = plot_kind_;
    const PlotData d = plot_data(common_data::nd, common_data::xd, common_data::yd, common_data::ydf,
                                 common_data::id2);
    if (d.capped) common_data::id2number = d.ncurves;
    const std::string refused = refusal(kind, d, from_logxy);
    change([&](menu_rules::Panel& p) {
        const bool ok = refused.empty();
        if (kind == kind_logx || kind == kind_logy) {
            // A refused log plot points to the other one.
            const bool logx_on = ok || kind == kind_logy;
            const bool logy_on = ok || kind == kind_logx;
            p[Control::logxplot_item] = p[Control::logxplot_button] = logx_on;
            p[Control::logyplot_item] = p[Control::logyplot_button] = logy_on;
        } else if (kind == kind_xyx) {
            p[Control::xyxplot_item] = ok;
        }
    });
    if (!refused.empty()) {
        ag::dlgmessage(ag::DIALOG_WARNING, refused);
        tidy_up();
        choice_ = choice::none;
        return;
    }
    const PlotFlags f = plot_flags(kind);
    const std::vector<kalvor::Text<plotlogxy::label_length>> labels(21, kalvor::Text<plotlogxy::label_length>("."));
    ag::enablewindow(globals::idactivescrn, false);
    plotlogxy::plotlogxy(d.x, d.y, d.yc, d.npts, d.ld, d.ncurves, labels, f.xlinear, f.ylinear, f.hanes);
    ag::enablewindow(globals::idactivescrn, true);
    ag::refreshall();
    tidy_up();
    choice_ = choice::none;
}

void Menu::wplotxy() { open_plot(false); }

void Menu::wplotlogxy() { open_plot(true); }

}  // namespace menu
