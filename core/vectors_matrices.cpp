#include "vectors_matrices.hpp"

#include <cmath>

namespace fieldsearch {

Matrix3 rotation_matrix(int axis, double angle)
{
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    Matrix3 m;
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            m(i, j) = (i == j) ? 1.0 : 0.0;
        }
    }
    switch (axis) {
    case 1:
        m(2, 2) = c;
        m(2, 3) = s;
        m(3, 2) = -s;
        m(3, 3) = c;
        break;
    case 2:
        m(1, 1) = c;
        m(1, 3) = -s;
        m(3, 1) = s;
        m(3, 3) = c;
        break;
    case 3:
        m(1, 1) = c;
        m(1, 2) = s;
        m(2, 1) = -s;
        m(2, 2) = c;
        break;
    default:
        break;
    }
    return m;
}

Matrix3 matrix_product(const Matrix3& a, const Matrix3& b)
{
    Matrix3 c;
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= 3; ++k) {
                sum += a(i, k) * b(k, j);
            }
            c(i, j) = sum;
        }
    }
    return c;
}

Vector3 matrix_vector_product(const Matrix3& m, const Vector3& v)
{
    Vector3 w;
    for (int i = 1; i <= 3; ++i) {
        double sum = 0.0;
        for (int j = 1; j <= 3; ++j) {
            sum += m(i, j) * v(j);
        }
        w(i) = sum;
    }
    return w;
}

Matrix3 transpose_matrix(const Matrix3& a)
{
    Matrix3 b;
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            b(i, j) = a(j, i);
        }
    }
    return b;
}

}  // namespace fieldsearch
