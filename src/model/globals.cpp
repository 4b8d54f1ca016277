#include "model/globals.h"

namespace globals {

kalvor::Text<512> input_file_name;
kalvor::Text<512> output_file_name;
kalvor::Text<512> fini{settings_file_name};
kalvor::Text<640> cwd;
kalvor::Text<640> cwdexe;
kalvor::Text<640> cwddat;

int bfile = 0;
int bopen = 0;
int brun = 0;
int bpostrun = 0;
int brerun = 0;
int bcorrectmdl = 0;
int bdataerror = 0;
int berror = 0;
std::atomic<int> bcancelrun{0};
std::atomic<int> bquit{0};
int bnext = 0;
int brewt = 0;

int nmdl = 0;
int iexpzero = 0;
int iopt = 0;
int iopt2 = 0;
int iwt = 0;
int ismth = 0;
int ilbl = 0;

int effective_iopt() { return iopt == 0 ? 2 : iopt; }
int effective_iwt() { return iwt == 0 ? 1 : iwt; }

std::atomic<int> idactivescrn{0};
std::atomic<int> idactivewin{0};
std::atomic<int> idresultswindow{0};
std::atomic<int> idresidualwindow{0};
std::atomic<int> idplotxywindow{0};
std::atomic<int> idlogplotwindow{0};
std::atomic<int> idcalcwindow{0};
std::atomic<int> idoptwindow{0};
std::atomic<int> idwtwindow{0};
std::atomic<int> idsmthwindow{0};
std::atomic<int> idlblwindow{0};
std::array<std::atomic<int>, child_table_size> child_windows{};
int gwinwidth = 0;
int gwinheight = 0;
int gwincolor1 = 0;
int gwincolor2 = 0;

std::array<kalvor::Text<220>, screen_lines> sline3;
int nlines3 = 0;
std::array<kalvor::Text<220>, screen_lines> sline5;
int nlines5 = 0;
std::array<kalvor::Text<170>, screen_lines> sline1;
std::array<kalvor::Text<170>, screen_lines> sline2;
std::array<kalvor::Text<170>, screen_lines> sline4;
kalvor::Text<220> cline;
std::string msge;
kalvor::Text<640> cmsg;
kalvor::Text<224> ctitle;
std::string cstring;
int clen = 0;

double timemax = timemax_start;
int starttimer = 0;
double totaltime = 0.0;

void reset_window_ids() {
    for (auto* id : {&idresultswindow, &idresidualwindow, &idplotxywindow, &idlogplotwindow,
                     &idcalcwindow, &idoptwindow, &idwtwindow, &idsmthwindow, &idlblwindow})
        id->store(-1);
}

void reset_child_windows(int owner_id) {
    for (int k = child_first; k <= child_owner; ++k) child_windows[k].store(-1);
    child_windows[child_owner].store(owner_id);
}

int register_child_window(int id) {
    // Callbacks of different windows may register at once: claim the entry
    // only if it is still free when written.
    for (int k = child_first; k <= child_last; ++k) {
        int free_entry = -1;
        if (child_windows[k].compare_exchange_strong(free_entry, id)) return k;
    }
    return 0;
}

int unregister_child_window(int id) {
    for (int k = child_first; k <= child_last; ++k) {
        int held = id;
        if (child_windows[k].compare_exchange_strong(held, -1)) return k;
    }
    return 0;
}

void close_child_windows(const std::function<void(int id)>& close_window) {
    for (int k = child_first; k <= child_last; ++k) {
        const int id = child_windows[k].load();
        if (id < 0) continue;
        close_window(id);
        child_windows[k].store(-1);
    }
}

namespace {

template <std::size_t N, std::size_t L>
void blank_lines(std::array<kalvor::Text<L>, N>& lines) {
    for (auto& line : lines) line.assign("");
}

}  // namespace

void reset_run_state() {
    input_file_name.assign("");
    output_file_name.assign("");
    fini.assign(settings_file_name);
    cwd.assign("");
    cwdexe.assign("");
    cwddat.assign("");

    bfile = bopen = brun = bpostrun = brerun = bcorrectmdl = bdataerror = berror = 0;
    bcancelrun.store(0);
    bquit.store(0);
    bnext = brewt = 0;

    nmdl = iexpzero = iopt = iopt2 = iwt = ismth = ilbl = 0;

    for (auto* id : {&idactivescrn, &idactivewin, &idresultswindow, &idresidualwindow,
                     &idplotxywindow, &idlogplotwindow, &idcalcwindow, &idoptwindow,
                     &idwtwindow, &idsmthwindow, &idlblwindow})
        id->store(0);
    for (auto& entry : child_windows) entry.store(0);
    gwinwidth = gwinheight = gwincolor1 = gwincolor2 = 0;

    blank_lines(sline3);
    blank_lines(sline5);
    blank_lines(sline1);
    blank_lines(sline2);
    blank_lines(sline4);
    nlines3 = nlines5 = 0;
    cline.assign("");
    msge.clear();
    cmsg.assign("");
    ctitle.assign("");
    cstring.clear();
    clen = 0;

    timemax = timemax_start;
    starttimer = 0;
    totaltime = 0.0;

    using namespace common_data;
    nd = nxd = npr = ndwt = id2number = nmod = ieqcns = icnstr = 0;
    for (auto* row : {&xd, &xd2, &xd3, &yd, &ysig, &ydf, &yres, &ydr, &xdr, &xdl, &ybs_mean,
                      &ybs_lcl, &ybs_ucl})
        row->fill(0.0);
    xnx.fill(0.0);
    id2.fill(0);
    pfinal.fill(0.0);
    pboundlo.fill(0.0);
    pboundhi.fill(0.0);
    pmask.fill(0);
    fssqr = ctau = xmin0 = 0.0;
    cimat.fill(0.0);
    xrmin = xrmax = xrmin1 = xrmax1 = yrmin = yrmax = 0.0;
    resxaxislable.fill(0.0);
    resyaxislable.fill(0.0);
    bcl.store(0);
    ybs_filled = 0;

    common_udf::cudf.assign("");
    common_udf::cmdl.assign("");
    nrtype::epsmachine = 0.0;
    limits::store();
    inout::io.fill(0);
    iinout::units.fill(0);
}

}  // namespace globals

namespace common_data {

int nd = 0;
int nxd = 0;
int npr = 0;
int ndwt = 0;
int id2number = 0;
int nmod = 0;
int ieqcns = 0;
int icnstr = 0;

RowArray xd{}, xd2{}, xd3{};
kalvor::Matrix xnx(max_rows, max_x);
RowArray yd{};
RowArray ysig{};
RowArray ydf{};
RowArray yres{};
RowArray ydr{};
RowArray xdr{};
RowArray xdl{};
RowArray ybs_mean{}, ybs_lcl{}, ybs_ucl{};
int ybs_filled = 0;
std::array<int, max_rows> id2{};

ParamArray pfinal{};
ParamArray pboundlo{};
ParamArray pboundhi{};
std::array<int, param_slots> pmask{};
double fssqr = 0.0;
kalvor::Matrix cimat(11, 11);
double ctau = 0.0;
double xmin0 = 0.0;

double xrmin = 0.0, xrmax = 0.0, xrmin1 = 0.0, xrmax1 = 0.0, yrmin = 0.0, yrmax = 0.0;
std::array<double, 2> resxaxislable{};
std::array<double, 2> resyaxislable{};
std::atomic<int> bcl{0};

}  // namespace common_data

namespace common_udf {
kalvor::Text<512> cudf;
kalvor::Text<512> cmdl;
}  // namespace common_udf

namespace nrtype {
double epsmachine = 0.0;
}  // namespace nrtype

namespace limits {
// Held at the guard values from the start, so a reader before the first
// evaluation never sees a zero clamp.
double clamp = clamp_value;
double invalid = invalid_value;
void store() {
    clamp = clamp_value;
    invalid = invalid_value;
}
}  // namespace limits

namespace inout {
std::array<int, 4> io{};
}  // namespace inout

namespace iinout {
std::array<int, 2> units{};
}  // namespace iinout
