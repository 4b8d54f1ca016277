#pragma once
// Results of the fitting driver after its cascade: the final parameters and
// sum of squares, the calculated curve and residuals, standard errors and
// 95% confidence half-widths, the statistics of sharc::stderr_corr, the
// condition-index matrix common_data::cimat and, for one X variable, the
// residual-bootstrap band.

#include <span>

#include "foundations/matrix.h"
#include "run/sharc.h"
#include "run/sharc_state.h"

namespace sharc_mod {

// Degrees of freedom of the confidence limits: rows - parameters - held
// parameters, at least 3.
int confidence_df(int n, int k, int fixed);

// Percent table of the principal components of the leading q x q block of
// cov: column c (component c, by descending eigenvalue) holds the magnitudes
// of its eigenvector entries (a NaN or a magnitude above 1e12 counts as
// 1e12) as percentages of their sum, row i for active parameter i.
kalvor::Matrix component_percentages(const kalvor::Matrix& cov, int q);

// The post-fit step on the driver state s after the cascade (s.kept and
// s.lowest final).  Fills a.ssq (s.lowest), a.p (the kept vector), a.ycalc
// (the model at it, or the bootstrap mean curve when m = 1 and the
// bootstrap service is installed), a.se (9999.0 everywhere when any is
// NaN), a.ci, a.corr, a.influence (component_percentages of the covariance
// block), a.eigenvalues, a.studentized, a.runs; and in common_data pfinal,
// fssqr, xnx, yd, ydf, yres (y - ycalc at the final parameters), ydr (the
// Studentized residuals), cimat (zero outside its leading (q+1) x (q+1)
// block), ybs_mean, ybs_lcl, ybs_ucl, and ybs_filled (1 when the
// bootstrap service filled the band, else 0).  Reads the run clock into
// globals::totaltime last.
void postfit(sharc::DriverState& s, SharcArgs& a);

}  // namespace sharc_mod
