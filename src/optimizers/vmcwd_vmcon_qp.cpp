// The quadratic subproblem of the constrained optimisers and the matrix
// inverse it works with.
//
// The subproblem is solved by a primal active-set method from the zero step,
// which the relaxation makes feasible. Its variables are the step d(0..n-1)
// and the relaxation factor d(n); held parameters are fixed at a zero step.
// The factor gets the objective term rho (d(n)^2/2 - 2 d(n)), with rho far
// above the scale of g and B, so it rises to its upper bound whenever the
// linearised constraints allow. Each cycle solves the equality problem of
// the working set by the range-space formulas: the inverse of the free
// Hessian block H, then the inverse of A H^-1 A' for the active constraints.

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "optimizers/vmcwd_vmcon.h"
#include "optimizers/vmcwd_vmcon_detail.h"

namespace vmcwd_vmcon_mod {

namespace {

using detail::huge_value;
using detail::tiny_value;

std::size_t index(int i) { return static_cast<std::size_t>(i); }

bool invert_block(std::span<double> a, int n, int lda) {
    if (n < 1) return true;
    if (lda < n || a.size() < index(lda) * index(n - 1) + index(n))
        throw std::out_of_range("matrix inverse: block larger than its array");
    const auto at = [&](int i, int j) -> double& { return a[index(j) * index(lda) + index(i)]; };
    std::vector<int> pivot(index(n));
    // LU factors with row interchanges: the first entry of largest magnitude.
    for (int k = 0; k < n; ++k) {
        int p = k;
        for (int i = k + 1; i < n; ++i)
            if (std::fabs(at(i, k)) > std::fabs(at(p, k))) p = i;
        pivot[index(k)] = p;
        if (at(p, k) == 0.0 || std::isnan(at(p, k))) return false;
        if (p != k)
            for (int j = 0; j < n; ++j) std::swap(at(k, j), at(p, j));
        for (int i = k + 1; i < n; ++i) {
            at(i, k) /= at(k, k);
            for (int j = k + 1; j < n; ++j) at(i, j) -= at(i, k) * at(k, j);
        }
    }
    // Inverse of the upper factor in place.
    for (int j = 0; j < n; ++j) {
        at(j, j) = 1.0 / at(j, j);
        const double scale = -at(j, j);
        for (int i = 0; i < j; ++i) {
            double sum = 0.0;
            for (int k = i; k < j; ++k) sum += at(i, k) * at(k, j);
            at(i, j) = sum * scale;
        }
    }
    // Solve X L = U^-1 column by column from the right.
    std::vector<double> work(index(n));
    for (int j = n - 1; j >= 0; --j) {
        for (int i = j + 1; i < n; ++i) {
            work[index(i)] = at(i, j);
            at(i, j) = 0.0;
        }
        for (int i = 0; i < n; ++i) {
            double sum = 0.0;
            for (int k = j + 1; k < n; ++k) sum += at(i, k) * work[index(k)];
            at(i, j) -= sum;
        }
    }
    // Undo the interchanges on the columns, last first.
    for (int k = n - 2; k >= 0; --k)
        if (pivot[index(k)] != k)
            for (int i = 0; i < n; ++i) std::swap(at(i, k), at(i, pivot[index(k)]));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            if (!std::isfinite(at(i, j))) return false;
    return true;
}

// Where a variable of the subproblem stands in the working set.
enum class Bound { free, lower, upper, fixed };

class Subproblem {
public:
    Subproblem(int n, int m, int meq, std::span<const double> g, std::span<const double> c, kalvor::Matrix& cnorm,
               int qpmode);
    // Solves with the relaxation factor at most cap; false when a working
    // matrix is singular.
    bool solve(double cap);
    double factor() const { return z_[index(n_)]; }
    // An artificial bound or the lower bound of the factor is active.
    bool other_bound_active() const;
    bool cap_active() const { return state_[index(n_)] == Bound::upper; }
    // Writes delta and the multipliers of the active constraints.
    void store(bool normal_end) const;

private:
    double row(int i, std::span<const double> v) const;
    bool equality_step(std::vector<double>& p, std::vector<double>& multipliers) const;
    void bound_multipliers(const std::vector<double>& multipliers, int& leave_bound, int& leave_constraint) const;

    int n_, nv_, m_, meq_, qpmode_;
    const kalvor::Matrix& a_;
    std::vector<double> q_, lo_, hi_, z_, b_, lambda_;
    std::vector<bool> use_;
    std::vector<Bound> state_;
    std::vector<int> active_;
    kalvor::Matrix h_;
};

Subproblem::Subproblem(int n, int m, int meq, std::span<const double> g, std::span<const double> c,
                       kalvor::Matrix& cnorm, int qpmode)
    : n_(n), nv_(n + 1), m_(m), meq_(std::clamp(meq, 0, m)), qpmode_(qpmode), a_(cnorm), q_(index(n + 1)),
      lo_(index(n + 1), -vlarge), hi_(index(n + 1), vlarge), z_(index(n + 1), 0.0), b_(index(m)),
      lambda_(index(m), 0.0), use_(index(m)), state_(index(n + 1), Bound::free), h_(index(n + 1), index(n + 1)) {
    // Relaxation: an equality or a violated inequality is scaled by d(n), so
    // the zero step is always feasible.
    for (int i = 0; i < m; ++i) {
        const bool relaxed = i < meq_ || c[index(i)] < 0.0;
        cnorm(index(n), index(i)) = relaxed ? c[index(i)] : 0.0;
        b_[index(i)] = relaxed ? 0.0 : -c[index(i)];
        use_[index(i)] = detail::movable(cnorm, i, n);
    }
    double scale = 1.0;
    for (int j = 0; j < n; ++j) {
        q_[index(j)] = g[index(j)];
        scale = std::max(scale, std::fabs(g[index(j)]));
        for (int k = 0; k < n; ++k) {
            h_(index(j), index(k)) = vmvdb.b(index(j), index(k));
            scale = std::max(scale, std::fabs(h_(index(j), index(k))));
        }
        if (detail::held(j)) {
            lo_[index(j)] = hi_[index(j)] = 0.0;
            state_[index(j)] = Bound::fixed;
        }
    }
    const double rho = 1e6 * scale;
    h_(index(n), index(n)) = rho;
    q_[index(n)] = -2.0 * rho;
    lo_[index(n)] = 0.0;
    hi_[index(n)] = 1.0;
}

double Subproblem::row(int i, std::span<const double> v) const {
    double sum = 0.0;
    for (int j = 0; j < nv_; ++j) sum += a_(index(j), index(i)) * v[index(j)];
    return sum;
}

// Step p to the minimiser on the working set and the multipliers of the
// active constraints (in the order of active_).
bool Subproblem::equality_step(std::vector<double>& p, std::vector<double>& multipliers) const {
    std::vector<int> free;
    for (int j = 0; j < nv_; ++j)
        if (state_[index(j)] == Bound::free) free.push_back(j);
    const int nf = static_cast<int>(free.size());
    const int na = static_cast<int>(active_.size());
    std::vector<double> grad(index(nv_));
    for (int j = 0; j < nv_; ++j) {
        grad[index(j)] = q_[index(j)];
        for (int k = 0; k < nv_; ++k) grad[index(j)] += h_(index(j), index(k)) * z_[index(k)];
    }
    std::vector<double> hinv(index(inverse_lda) * index(inverse_lda), 0.0);
    const auto hi = [&](int i, int j) -> double& { return hinv[index(j) * index(inverse_lda) + index(i)]; };
    for (int r = 0; r < nf; ++r)
        for (int s = 0; s < nf; ++s) hi(r, s) = h_(index(free[index(r)]), index(free[index(s)]));
    if (!mb01bd(hinv, nf, inverse_lda)) return false;

    // hg = H^-1 grad, ha(:,k) = H^-1 a_k on the free variables.
    std::vector<double> hg(index(nf), 0.0);
    kalvor::Matrix ha(index(nf), index(na));
    for (int r = 0; r < nf; ++r)
        for (int s = 0; s < nf; ++s) {
            hg[index(r)] += hi(r, s) * grad[index(free[index(s)])];
            for (int k = 0; k < na; ++k)
                ha(index(r), index(k)) += hi(r, s) * a_(index(free[index(s)]), index(active_[index(k)]));
        }
    multipliers.assign(index(na), 0.0);
    if (na > 0) {
        std::vector<double> schur(index(inverse_lda) * index(inverse_lda), 0.0);
        std::vector<double> rhs(index(na), 0.0);
        for (int k = 0; k < na; ++k) {
            const auto col = index(active_[index(k)]);
            for (int r = 0; r < nf; ++r) {
                const double ak = a_(index(free[index(r)]), col);
                rhs[index(k)] += ak * hg[index(r)];
                for (int l = 0; l < na; ++l)
                    schur[index(l) * index(inverse_lda) + index(k)] += ak * ha(index(r), index(l));
            }
        }
        if (!mb01cd2(schur, na, inverse_lda)) return false;
        for (int k = 0; k < na; ++k)
            for (int l = 0; l < na; ++l)
                multipliers[index(k)] += schur[index(l) * index(inverse_lda) + index(k)] * rhs[index(l)];
    }
    p.assign(index(nv_), 0.0);
    for (int r = 0; r < nf; ++r) {
        double v = -hg[index(r)];
        for (int k = 0; k < na; ++k) v += ha(index(r), index(k)) * multipliers[index(k)];
        if (!std::isfinite(v)) return false;
        p[index(free[index(r)])] = v;
    }
    return true;
}

// The bound or inequality whose multiplier says it should leave the working
// set: the largest positive estimate (negated multiplier), first among equals.
void Subproblem::bound_multipliers(const std::vector<double>& multipliers, int& leave_bound,
                                   int& leave_constraint) const {
    std::vector<double> residual(index(nv_));
    double scale = 1.0;
    for (int j = 0; j < nv_; ++j) {
        residual[index(j)] = q_[index(j)];
        for (int k = 0; k < nv_; ++k) residual[index(j)] += h_(index(j), index(k)) * z_[index(k)];
        scale = std::max(scale, std::fabs(residual[index(j)]));
        for (std::size_t k = 0; k < active_.size(); ++k)
            residual[index(j)] -= multipliers[k] * a_(index(j), index(active_[k]));
    }
    double largest = 1e-15 * scale;
    leave_bound = leave_constraint = -1;
    for (int j = 0; j < nv_; ++j) {
        const Bound s = state_[index(j)];
        if (s != Bound::lower && s != Bound::upper) continue;
        const double estimate = s == Bound::lower ? -residual[index(j)] : residual[index(j)];
        if (estimate > largest) {
            largest = estimate;
            leave_bound = j;
        }
    }
    for (std::size_t k = 0; k < active_.size(); ++k) {
        if (active_[k] < meq_) continue;
        if (-multipliers[k] > largest) {
            largest = -multipliers[k];
            leave_bound = -1;
            leave_constraint = static_cast<int>(k);
        }
    }
}

bool Subproblem::solve(double cap) {
    hi_[index(n_)] = cap;
    std::fill(z_.begin(), z_.end(), 0.0);
    active_.clear();
    for (int j = 0; j < nv_; ++j)
        if (state_[index(j)] != Bound::fixed) state_[index(j)] = Bound::free;
    if (qpmode_ != 5) state_[index(n_)] = Bound::lower;
    for (int i = 0; i < m_; ++i)
        if (use_[index(i)] && i < meq_) active_.push_back(i);
    if (qpmode_ >= 3 && qpmode_ != 5) {
        // Also start with the inequalities that hold with equality, as far as
        // they keep the working matrices regular.
        std::vector<double> p, multipliers;
        for (int i = meq_; i < m_; ++i) {
            if (!use_[index(i)] || b_[index(i)] != 0.0) continue;
            active_.push_back(i);
            if (!equality_step(p, multipliers)) active_.pop_back();
        }
    }

    std::vector<double> p, multipliers;
    const int cycles = 10 * (nv_ + m_) + 100;
    bool at_minimiser = false;
    int added_bound = -1, added_constraint = -1;  // the last blocking bound or constraint
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (!equality_step(p, multipliers)) {
            // A blocker that depends on the working set can only block a step
            // that is zero but for rounding: drop it and stay.
            if (added_bound >= 0)
                state_[index(added_bound)] = Bound::free;
            else if (added_constraint >= 0)
                active_.pop_back();
            else
                return false;
            added_bound = added_constraint = -1;
            if (!equality_step(p, multipliers)) return false;
            at_minimiser = true;
        }
        added_bound = added_constraint = -1;
        double size = 0.0, zsize = 1.0;
        for (int j = 0; j < nv_; ++j) {
            size = std::max(size, std::fabs(p[index(j)]));
            zsize = std::max(zsize, std::fabs(z_[index(j)]));
        }
        if (at_minimiser || size <= 1e-14 * zsize) {
            for (std::size_t k = 0; k < active_.size(); ++k) lambda_[index(active_[k])] = multipliers[k];
            int leave_bound = -1, leave_constraint = -1;
            bound_multipliers(multipliers, leave_bound, leave_constraint);
            if (leave_bound < 0 && leave_constraint < 0) return true;
            if (leave_bound >= 0) {
                state_[index(leave_bound)] = Bound::free;
            } else {
                lambda_[index(active_[index(leave_constraint)])] = 0.0;
                active_.erase(active_.begin() + leave_constraint);
            }
            at_minimiser = false;
            continue;
        }
        // Ratio test over the inactive bounds and constraints.
        double step = huge_value;
        int block_bound = -1, block_constraint = -1;
        for (int j = 0; j < nv_; ++j) {
            if (state_[index(j)] != Bound::free) continue;
            const double pj = p[index(j)];
            double t = huge_value;
            if (pj < -tiny_value) t = (lo_[index(j)] - z_[index(j)]) / pj;
            if (pj > tiny_value) t = (hi_[index(j)] - z_[index(j)]) / pj;
            if (t < step) {
                step = t;
                block_bound = j;
            }
        }
        for (int i = 0; i < m_; ++i) {
            if (!use_[index(i)] || std::find(active_.begin(), active_.end(), i) != active_.end()) continue;
            const double rate = row(i, p);
            if (rate >= -tiny_value) continue;
            const double t = (b_[index(i)] - row(i, z_)) / rate;
            if (t < step) {
                step = t;
                block_bound = -1;
                block_constraint = i;
            }
        }
        const double alpha = std::clamp(step, 0.0, 1.0);
        for (int j = 0; j < nv_; ++j) z_[index(j)] += alpha * p[index(j)];
        at_minimiser = step >= 1.0;
        if (at_minimiser) continue;
        if (block_bound >= 0) {
            const bool lower = p[index(block_bound)] < 0.0;
            state_[index(block_bound)] = lower ? Bound::lower : Bound::upper;
            z_[index(block_bound)] = lower ? lo_[index(block_bound)] : hi_[index(block_bound)];
            added_bound = block_bound;
        } else {
            active_.push_back(block_constraint);
            added_constraint = block_constraint;
        }
    }
    return true;
}

bool Subproblem::other_bound_active() const {
    for (int j = 0; j < nv_; ++j) {
        const Bound s = state_[index(j)];
        if (s == Bound::lower || (s == Bound::upper && j < n_)) return true;
    }
    return false;
}

void Subproblem::store(bool normal_end) const {
    for (int j = 0; j < nv_; ++j) {
        double d = z_[index(j)];
        if (normal_end && state_[index(j)] != Bound::fixed && (d == 0.0 || std::isnan(d))) d = tiny_value;
        vmvdb.delta[index(j)] = d;
    }
    std::fill(vmvdb.lambda.begin(), vmvdb.lambda.end(), 0.0);
    for (int i : active_) {
        double l = lambda_[index(i)];
        if (normal_end) l = std::copysign(std::clamp(std::fabs(l), tiny_value, huge_value), l);
        vmvdb.lambda[index(i)] = l;
    }
}

}  // namespace

bool mb01cd2(std::span<double> a, int n, int lda) { return invert_block(a, n, lda); }

bool mb01bd(std::span<double> a, int n, int lda) { return invert_block(a, n, lda); }

void qpsub(int n, int m, int meq, std::span<const double> g, std::span<const double> c, kalvor::Matrix& cnorm,
           int iprint, int& info, int qpmode) {
    if (n < 1 || n > max_variables || m < 0 || m > max_constraints || g.size() < index(n) || c.size() < index(m) ||
        cnorm.rows() < index(qp_order) || cnorm.cols() < index(m))
        throw std::out_of_range("qpsub: problem size beyond its arrays");
    info = info_converged;
    for (int j = 0; j <= n; ++j) {
        vmvdb.b(index(n), index(j)) = 0.0;
        vmvdb.b(index(j), index(n)) = 0.0;
    }
    Subproblem qp(n, m, meq, g, c, cnorm, qpmode);
    double cap = 1.0;
    for (int attempt = 0;; ++attempt) {
        if (!qp.solve(cap)) {
            info = info_artificial_bound;
            break;
        }
        if (qp.factor() <= 1e-6) {
            info = info_infeasible;
            break;
        }
        if (qp.other_bound_active()) {
            info = info_artificial_bound;
            break;
        }
        if (qp.cap_active()) break;
        if (attempt == 1) {
            info = info_infeasible;
            break;
        }
        cap = 0.9 * qp.factor();
    }
    qp.store(info == info_converged);
}

}  // namespace vmcwd_vmcon_mod
