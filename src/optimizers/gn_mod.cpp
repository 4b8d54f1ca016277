#include "optimizers/gn_mod.h"

namespace gn_mod {

double zlow = 0.65;
double zhigh = 2.0;
double zcpmin = 0.5;
double zcpmax = 250.0;
double zcp = 0.6;
double zconsec = 1.005;
double stptol = 1e-6;
double reltol = 1e-8;
int mxbad = 1;
int limit = 200;
int iscale = 1;
kalvor::Text<30> histfile("GNHIST.TXT");
double derivstp = 1e-6;
double abstol = 1e-12;

int iter = 0;
int nfcn = 0;
int nconsecmax = 0;
int ihookmax = 0;
int newtstep1st = 0;
int iprint = 0;
int ihist = 0;
double hnorm = 0.0;
double mu0 = 0.0;
double del0 = 0.0;
std::vector<double> d0;
kalvor::Matrix jac0;
kalvor::Matrix h0;
std::vector<double> r0;

}  // namespace gn_mod
