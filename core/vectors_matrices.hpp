// Three-vectors, 3x3 rotation matrices and the few operations on them that
// every frame change of the system is built from. Indices run from 1 to 3.
#pragma once

#include <array>

namespace fieldsearch {

// A Cartesian 3-vector; v(1), v(2), v(3) are x, y, z.
struct Vector3 {
    std::array<double, 3> element{};

    double& operator()(int i) { return element[static_cast<std::size_t>(i - 1)]; }
    double operator()(int i) const { return element[static_cast<std::size_t>(i - 1)]; }
};

// A 3x3 matrix; m(i, j) is row i, column j. Applied to a vector as w = M v.
struct Matrix3 {
    std::array<double, 9> element{};

    double& operator()(int i, int j) { return element[static_cast<std::size_t>(3 * (i - 1) + (j - 1))]; }
    double operator()(int i, int j) const { return element[static_cast<std::size_t>(3 * (i - 1) + (j - 1))]; }
};

// Rotation of the coordinate frame by +angle (radians) about axis 1, 2 or 3:
// a fixed vector's components change as w = R v. Any other axis gives the identity.
Matrix3 rotation_matrix(int axis, double angle);

// The product A B, each element summed over k = 1, 2, 3 in that order.
Matrix3 matrix_product(const Matrix3& a, const Matrix3& b);

// The vector M v, each component summed over j = 1, 2, 3 in that order.
Vector3 matrix_vector_product(const Matrix3& m, const Vector3& v);

// The transpose of A (the inverse of a rotation).
Matrix3 transpose_matrix(const Matrix3& a);

// The scalar product a1 b1 + a2 b2 + a3 b3, summed in that order (inline:
// the orbit integrations' inner loops call it for every body at every node).
inline double dot_product(const Vector3& a, const Vector3& b)
{
    return a(1) * b(1) + a(2) * b(2) + a(3) * b(3);
}

}  // namespace fieldsearch
