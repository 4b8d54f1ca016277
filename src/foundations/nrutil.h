#pragma once
// Small numeric services shared by the whole program: size assertions,
// vector and matrix helpers, vector statistics, a scaled Euclidean norm,
// rounding to significant digits, not-a-number guards, tolerant comparisons,
// printing of vectors and matrices, and date texts.
//
// Doubles unless a name ends in _r and works on float ("real") or in _i.
// Positions i1/i2 of rvec_mean and rvec_stdev count from 1, as the callers'
// formulas do; every other vector is a 0-based span with an explicit count n.
// A count larger than its vector throws std::out_of_range.
//
// The random generators of this module live in nrutil_random.h.

#include <cmath>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundations/fixed_text.h"
#include "foundations/matrix.h"

namespace nrutil {

// ---- assertions and fatal errors ----

// A failed assertion or a fatal numerical error.  what() is the line the
// failure reports ("nrerror: ..."); stop_text() names the routine that
// raised it ("program terminated by assert_eq2").  Callers decide whether
// the run can go on; nothing here ends the process.
class NrError : public std::runtime_error {
public:
    NrError(const std::string& line, std::string stop_text)
        : std::runtime_error(line), stop_text_(std::move(stop_text)) {}
    const std::string& stop_text() const { return stop_text_; }

private:
    std::string stop_text_;
};

// Return na when every size equals na; otherwise throw NrError with
// "nrerror: an assert_eq failed with this tag: <tag>".
int assert_eq2(int na, int nb, std::string_view tag);
int assert_eq3(int na, int nb, int nc, std::string_view tag);
int assert_eq4(int na, int nb, int nc, int nd, std::string_view tag);
int assert_eq5(int na, int nb, int nc, int nd, int ne, std::string_view tag);
int assert_eq6(int na, int nb, int nc, int nd, int ne, int nf, std::string_view tag);
// sizes[0] when every entry equals it; 0 for no sizes at all.
int assert_eqn(std::span<const int> sizes, std::string_view tag);
// Throw NrError with "nrerror: <message>".
[[noreturn]] void nrerror(std::string_view message);

// ---- vectors and matrices ----

// Diagonal a(j,j) for j < min(rows, cols) times s, plus s.
void diagmult_r(kalvor::Matrix& a, double s);
void diagadd_r(kalvor::Matrix& a, double s);
// The same with one value per diagonal element; v must have min(rows, cols)
// entries (assert_eq2, tag "diagmult_rv" for both).
void diagmult_rv(kalvor::Matrix& a, std::span<const double> v);
void diagadd_rv(kalvor::Matrix& a, std::span<const double> v);

// c becomes the a.size() x b.size() matrix c(i,j) = a(i) * b(j).
void outerprod(kalvor::Matrix& c, std::span<const double> a, std::span<const double> b);
// Boolean outer product, stored column by column: c[j*a.size()+i] = a[i] && b[j].
void outerand(std::vector<bool>& c, const std::vector<bool>& a, const std::vector<bool>& b);

// a is an m x n float matrix stored column by column (m*n values); v gets its
// elements row after row (rmatrow) or column after column (rmatcol).
void rmatrow_to_rvec(int m, int n, std::span<const float> a, std::span<float> v);
void rmatcol_to_rvec(int m, int n, std::span<const float> a, std::span<float> v);

void swap_r(double& a, double& b);
// Exchanges two vectors element by element; unequal sizes throw NrError
// (tag "swap_rv").
void swap_rv(std::span<double> a, std::span<double> b);

// ncopied = min(src.size(), dest.size()) leading values copied; nnot = the
// source values that did not fit.
void array_copy_i(std::span<const int> src, std::span<int> dest, int& ncopied, int& nnot);
void array_copy_d(std::span<const double> src, std::span<double> dest, int& ncopied, int& nnot);
void array_copy_r(std::span<const float> src, std::span<float> dest, int& ncopied, int& nnot);

// r[k] = first + k * increment for k < n (n clamped to r.size()), built by
// repeated addition and block doubling so that long ranges round the same
// way everywhere in the program.
void arth_i(std::span<int> r, int first, int increment, int n);
void arth_d(std::span<double> r, double first, double increment, int n);
void arth_r(std::span<float> r, float first, float increment, int n);

// n evenly spaced values from a to b into x[0..n-1]; (a+b)/2 for n = 1.
void r8vec_subinterval(int n, double a, double b, std::span<double> x);

// ---- statistics ----

// Mean of x(i1..i2), positions counted from 1.  An empty range divides 0 by
// the count i2-i1+1 (not-a-number for i2 = i1-1).
void rvec_mean(int i1, int i2, std::span<const double> x, double& mean);
// Sample standard deviation of x(i1..i2) (divisor i2-i1); 0 when i2-i1 < 1.
void rvec_stdev(int i1, int i2, std::span<const double> x, double& sd);
// Sample standard deviation of x[0..n-1]; 0 when n < 2.
void rvec_stdev1(int n, std::span<const double> x, double& sd);
// Median of x[0..n-1] from a sorted copy; the value itself for n = 1,
// not-a-number for n < 1.
void rvec_median(std::span<const double> x, int n, double& med);
// Root of the sum of squared deviations from the median over n-1; 0 when n < 2.
void rvec_stdev_median(int n, std::span<const double> x, double& sd);
// Heap sort of x[0..n-1] into ascending order; nothing to do for n < 2.
void sortwt(int n, std::span<double> x);

// Euclidean norm of x[0..n-1] without destructive underflow or overflow;
// 0 for n < 1.
double enorm2(int n, std::span<const double> x);
// x rounded to nd significant digits (nd < 1 counts as 1), through single
// precision, so at most 7 digits are exact.  0, not-a-number and the
// infinities come back unchanged.
double roundz(double x, int nd);

// ---- guards, precision and comparisons ----

// x = val when x is not-a-number or x - 1 == x (infinities and magnitudes of
// about 2^53 and more).
inline void rval_nan(double& x, double val) {
    if (std::isnan(x) || x - 1.0 == x) x = val;
}
inline void rvec_nan(std::span<double> x, double val) {
    // Both tests on every value and a choice, so the loop can run in vector
    // registers where vectorising is on.
    for (double& v : x) v = std::isnan(v) | (v - 1.0 == v) ? val : v;
}
// Machine epsilon (2^-52) and the number of mantissa digits (53), measured.
void rval_prec(double& eps, int& digits);

// Comparisons with a tolerance of max(|a|,|b|) times the smallest normal double.
bool real_fgt(double a, double b);
bool real_fle(double a, double b);
bool real_flt(double a, double b);
bool real_fge(double a, double b);
bool real_feq(double a, double b);
bool real_fne(double a, double b);
// True when |a(i)-b(i)| / max|a| <= tol for every i (true for empty vectors;
// an all-zero a compares the absolute differences).  Unequal sizes throw
// NrError (tag "real_fveq").
bool real_fveq(std::span<const double> a, std::span<const double> b, double tol);
// Difference of a and b after both are rounded to nb binary digits relative
// to the larger magnitude; 0 when a == b.
double real_diff(double a, double b, int nb);
// a + (b - a) * pi.
double pie(double a, double b);

// ---- printing and dates ----

// Writes x[0..n-1] in chunks of m (m < 1 counts as 1): per chunk one index
// write "(4X,10(I2,11X))" and one value write "(1X,10(ES10.3,3X))"
// (vecprn3: "(2X,10(F7.3,6X))").
void vecprn(std::ostream& unit, std::span<const double> x, int n, int m);
void vecprn3(std::ostream& unit, std::span<const double> x, int n, int m);
// Writes the leading n x n block of a in column blocks of k (k < 1 counts as 1).
void matprn(std::ostream& unit, const kalvor::Matrix& a, int n, int k);
// Prints the leading m x n block of a under a title, five columns a block
// (standard output unless out is given).
void mat_print(int m, int n, const kalvor::Matrix& a, std::string_view title);
void mat_print(int m, int n, const kalvor::Matrix& a, std::string_view title, std::ostream& out);
// Prints the leading m x m block of a with Fw.d values, k (set to 5) columns
// a block, under the title (its first 128 characters).
void print_array_2d(const kalvor::Matrix& a, int m, int w, int d, int& k, std::string_view title);
void print_array_2d(const kalvor::Matrix& a, int m, int w, int d, int& k, std::string_view title,
                    std::ostream& out);

// The current local date and time as "Www Mmm dd hh:mm:ss yyyy",
// blank-filled (or cut) to d's declared length (30 for the report).
void f_date(kalvor::FixedText& d);
void current_date(kalvor::FixedText& d);

namespace detail {
// Throws std::out_of_range naming the routine when a count n exceeds the
// size of the vector it counts.
void check_count(long long n, std::size_t size, const char* routine);
}  // namespace detail

}  // namespace nrutil
