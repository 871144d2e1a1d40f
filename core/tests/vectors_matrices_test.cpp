#include "vectors_matrices.hpp"

#include <cmath>

#include <gtest/gtest.h>

using namespace fieldsearch;

namespace {

constexpr double HALF_PI = 1.5707963267948966;

void expect_vector_near(const Vector3& v, double x, double y, double z)
{
    EXPECT_NEAR(v(1), x, 1e-16);
    EXPECT_NEAR(v(2), y, 1e-16);
    EXPECT_NEAR(v(3), z, 1e-16);
}

void expect_identity(const Matrix3& m, double tolerance)
{
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            EXPECT_NEAR(m(i, j), i == j ? 1.0 : 0.0, tolerance) << i << "," << j;
        }
    }
}

}  // namespace

// A sign swapped in one of the three elementary rotations turns the frame the
// wrong way: each axis is checked on a vector it moves.
TEST(RotationMatrix, TurnsTheFrameCounterClockwise)
{
    expect_vector_near(matrix_vector_product(rotation_matrix(3, HALF_PI), Vector3{{1, 0, 0}}), 0, -1, 0);
    expect_vector_near(matrix_vector_product(rotation_matrix(1, HALF_PI), Vector3{{0, 1, 0}}), 0, 0, -1);
    expect_vector_near(matrix_vector_product(rotation_matrix(2, HALF_PI), Vector3{{1, 0, 0}}), 0, 0, 1);
    expect_identity(rotation_matrix(0, 0.7), 0.0);
    expect_identity(rotation_matrix(4, 0.7), 0.0);
}

// Products in the wrong order or a transpose that copies instead of
// swapping would break these identities.
TEST(MatrixProduct, ComposesRotationsInOrder)
{
    expect_identity(matrix_product(rotation_matrix(3, 0.3), rotation_matrix(3, -0.3)), 1e-16);
    const Matrix3 r = matrix_product(rotation_matrix(1, 0.4), rotation_matrix(2, -1.1));
    expect_identity(matrix_product(r, transpose_matrix(r)), 2e-16);
    EXPECT_EQ(transpose_matrix(r)(1, 2), r(2, 1));
    EXPECT_EQ(transpose_matrix(r)(3, 1), r(1, 3));

    const Matrix3 ab = matrix_product(rotation_matrix(1, 0.5), rotation_matrix(3, 0.8));
    const Matrix3 ba = matrix_product(rotation_matrix(3, 0.8), rotation_matrix(1, 0.5));
    EXPECT_GT(std::fabs(ab(1, 2) - ba(1, 2)), 0.05);

    // R1(a) R3(b) applied to x: first R3 turns it, then R1.
    const Vector3 w = matrix_vector_product(ab, Vector3{{1, 0, 0}});
    EXPECT_NEAR(w(1), std::cos(0.8), 1e-16);
    EXPECT_NEAR(w(2), -std::sin(0.8) * std::cos(0.5), 1e-16);
    EXPECT_NEAR(w(3), std::sin(0.8) * std::sin(0.5), 1e-16);
    EXPECT_EQ(dot_product(Vector3{{1, 2, 3}}, Vector3{{-4, 5, 0.5}}), 7.5);
}
