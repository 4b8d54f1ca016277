#pragma once
// Probability functions of the fit statistics: log gamma, the incomplete
// beta function and its inverse, F and Student t values, the p-value of a
// parameter estimate, the Pearson type III distribution and the critical
// value of a normalised residual.  No state, no messages.

namespace distributions {

// ln Gamma(x) for x > 0 (Stirling's series at x + 9, shifted down).
double dlngam(double x);
// ln Beta(a, b) = dlngam(a) + dlngam(b) - dlngam(a + b).
double dlnbta(double a, double b);
// Incomplete beta function ratio I_x(p, q) by the series of AS 63 (accuracy
// 1e-8).  Not-a-number unless 0 <= x <= 1, p > 0 and q > 0.
double betain(double x, double p, double q);
// The x with I_x(p, q) = alpha (AS 109 with the accuracy rule of AS R83).
double xinbta(double alpha, double p, double q);
// The F(df1, df2) value exceeded with probability p.
double fvalue(double p, double df1, double df2);
// exp(x), and 0 for x < -738.
double e(double x);
// Student t distribution function P(T <= t) for df degrees of freedom; 0 for
// df < 1.
double probst(double t, int df);
// One-sided p-value of an estimate with n - npar degrees of freedom:
// se = |se| kept within [2.2204460492503132e-20, 4.503599727262001e19]
// (written back); p = |1 - probst(|est / se|, n - npar)| within the same
// range, 1 without degrees of freedom; isig = 1 when p <= 0.05.
void ppval(double& p, int& isig, int npar, int n, double est, double& se);
// p = P(X <= x) for the standardised Pearson type III distribution with skew
// g (the normal distribution for |g| < 0.01).
void pvalue_t(double x, double g, double& p);
// Two-sided 95% critical t value with two decimals from a table (df <= 20)
// and fitted curves; 2.0 for df < 1.
double t95(int df);
// Two-sided 95% critical t value with three decimals, found by stepping down
// a 0.01 grid (lands up to about 0.01 above the exact quantile); 2.0 for
// df < 1.
float tvalue95(int df);
// Critical value tau of a normalised residual among n at the level alpha
// adjusted for m comparisons (Sidak): tau = sqrt(n) r, where r solves the
// Student t central probability with n - 1 degrees of freedom.  n < 1 gives
// 0; then n = 1 or alpha <= 0 gives sqrt(n); alpha >= 1 gives 0; m < 1
// counts as 1.
void taure(int m, int n, double alpha, double& tau);

}  // namespace distributions
