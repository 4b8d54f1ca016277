#pragma once
// Dense double matrix stored column by column, indexed from 0.
//
// The numerical routines (inverses, eigen analysis, statistics) exchange
// matrices in this type; data() gives the column-major storage for routines
// that walk it directly.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace kalvor {

class Matrix {
public:
    Matrix() = default;
    Matrix(std::size_t rows, std::size_t cols, double value = 0.0)
        : rows_(rows), cols_(cols), data_(rows * cols, value) {}

    static Matrix identity(std::size_t n) {
        Matrix m(n, n);
        for (std::size_t i = 0; i < n; ++i) m(i, i) = 1.0;
        return m;
    }

    std::size_t rows() const { return rows_; }
    std::size_t cols() const { return cols_; }

    double& operator()(std::size_t i, std::size_t j) { return data_[j * rows_ + i]; }
    double operator()(std::size_t i, std::size_t j) const { return data_[j * rows_ + i]; }

    double* data() { return data_.data(); }
    const double* data() const { return data_.data(); }
    double* column(std::size_t j) { return data_.data() + j * rows_; }
    const double* column(std::size_t j) const { return data_.data() + j * rows_; }

    void fill(double value) { data_.assign(data_.size(), value); }
    void resize(std::size_t rows, std::size_t cols, double value = 0.0) {
        rows_ = rows; cols_ = cols; data_.assign(rows * cols, value);
    }

    friend bool operator==(const Matrix&, const Matrix&) = default;

private:
    std::size_t rows_ = 0;
    std::size_t cols_ = 0;
    std::vector<double> data_;
};

// The 1-norm of the leading n x n block of a: its largest absolute column sum.
inline double norm1(const Matrix& a, std::size_t n) {
    double largest = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) sum += std::fabs(a(i, j));
        largest = std::max(largest, sum);
    }
    return largest;
}

}  // namespace kalvor
