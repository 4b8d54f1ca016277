// A window that cannot be made (here: no window system running) is
// reported in an error box and the call returns; the program goes on.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/dialogs.h"
#include "views/plotlogxy.h"
#include "views/residualsbox.h"
#include "views/resultsbox.h"
#include "views/xydatabox.h"

namespace ag = appgraphics;

TEST(GraphicsError, EachViewReportsAndReturns) {
    std::vector<ag::DialogRequest> asked;
    ag::set_dialog_provider([&](const ag::DialogRequest& r) {
        asked.push_back(r);
        return ag::DialogAnswer{};
    });
    globals::reset_run_state();
    globals::reset_child_windows(-1);
    resultsbox::resultsscreen("SUMMARY OF RESULTS:", "text", 5, 20, "help");
    xydatabox::xydatascreen("SUMMARY", "text", 5, 20, "help");
    const std::vector<float> v{1, 2};
    const std::vector<int> npts{2};
    const std::vector<kalvor::Text<plotlogxy::label_length>> labels(21);
    plotlogxy::plotlogxy(v, v, v, npts, 2, 1, labels, 'Y', 'Y', 'N');
    int draw = 1;
    residualsbox::residualsscreen(draw);
    ag::set_dialog_provider({});

    ASSERT_EQ(asked.size(), 4u);
    for (const auto& r : asked) {
        EXPECT_EQ(r.style, ag::DIALOG_ERROR);
        EXPECT_NE(r.text.find("graphics error"), std::string::npos);
    }
    EXPECT_EQ(globals::child_windows[globals::child_first].load(), -1);
}
