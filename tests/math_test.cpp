// Guards the vector operations and the random and easing helpers at their edge values, where
// a rounding step done in the wrong precision changes the result.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/Scope.h"
#include "support/ScriptedRand.h"
#include "util/KS_VECTOR.h"

namespace {

void ExpectVector(const KS_VECTOR3& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

TEST(Vectors, LengthAndNormalizeAtTheirEdges) {
  K_VECTOR3 v;
  SetVector3(&v, 3, 4, 0);
  EXPECT_EQ(Vec3Length(&v), 5.0f);

  SetVector3(&v, 0, 0, 0);
  EXPECT_EQ(Vec3Length(&v), 0.0f);
  Vec3Normalize(&v);
  EXPECT_EQ(v.x, 0.0f);
  EXPECT_EQ(v.y, 0.0f);
  EXPECT_EQ(v.z, 0.0f);

  SetVector3(&v, 0, 3, 4);
  Vec3Normalize(&v);
  EXPECT_FLOAT_EQ(v.y, 0.6f);
  EXPECT_FLOAT_EQ(v.z, 0.8f);

  // Squares that underflow in single precision: the length is 0 and nothing is divided.
  SetVector3(&v, 1e-23f, 1e-23f, 1e-23f);
  EXPECT_EQ(Vec3Length(&v), 0.0f);
  Vec3Normalize(&v);
  EXPECT_EQ(v.x, 1e-23f);
  EXPECT_FALSE(std::isnan(v.y));
}

TEST(Vectors, ComponentWiseOperationsAllowAliasedResults) {
  K_VECTOR3 a, b;
  SetVector3(&a, 1, 2, 3);
  SetVector3(&b, 4, 5, 6);
  K_VECTOR3 product;
  Vec3Multiply(&product, &a, &b);
  EXPECT_EQ(product.x, 4.0f);
  EXPECT_EQ(product.y, 10.0f);
  EXPECT_EQ(product.z, 18.0f);

  Vec3Subtract(&a, &a, &b);
  EXPECT_EQ(a.x, -3.0f);
  EXPECT_EQ(a.y, -3.0f);
  EXPECT_EQ(a.z, -3.0f);
  Vec3Add(&a, &a, &b);
  EXPECT_EQ(a.x, 1.0f);
  EXPECT_EQ(a.z, 3.0f);
}

TEST(Vectors, ConstructorsAndOperators) {
  ExpectVector(KS_VECTOR3(), 0, 0, 0);
  float xyz[] = {1, 2, 3};
  KS_VECTOR3 v(xyz);
  ExpectVector(v, 1, 2, 3);
  KS_VECTOR3 w(10, 20, 30);
  ExpectVector(v + w, 11, 22, 33);
  ExpectVector(v, 1, 2, 3);  // operands unchanged

  // The factor is rounded to float before it multiplies.
  KS_VECTOR3 tenth = KS_VECTOR3(3, 0, 0) * 0.1;
  EXPECT_EQ(tenth.x, 3.0f * 0.1f);

  float xy[] = {5, 6};
  KS_VECTOR2 p(xy);
  EXPECT_EQ(p.x, 5.0f);
  EXPECT_EQ(p.y, 6.0f);
  EXPECT_EQ(KS_VECTOR2().x, 0.0f);
}

TEST(Vectors, BernsteinRunsFromTheLastControlPointToTheFirst) {
  KS_VECTOR3 p[4] = {KS_VECTOR3(8, 0, 0), KS_VECTOR3(0, 8, 0), KS_VECTOR3(0, 0, 8),
                     KS_VECTOR3(16, 16, 16)};
  ExpectVector(KS_VECTOR3::Bernstein(0.0f, p), 16, 16, 16);
  ExpectVector(KS_VECTOR3::Bernstein(1.0f, p), 8, 0, 0);
  // 1/8, 3/8, 3/8, 1/8 of p[0] .. p[3].
  ExpectVector(KS_VECTOR3::Bernstein(0.5f, p), 1 + 2, 3 + 2, 3 + 2);
  // Not clamped: at u = 2 the weights are 8, -12, 6, -1.
  ExpectVector(KS_VECTOR3::Bernstein(2.0f, p), 64 - 16, -96 - 16, 48 - 16);
}

class Random : public ::testing::Test {
 protected:
  void TearDown() override { ClearScriptedRand(); }
};

TEST_F(Random, RndMapsTheWholeRangeOfRandOntoTheUnitInterval) {
  ScriptRand({0, 1073741824, 2147483647, 2147483584, 2147483583, 2147483520});
  EXPECT_EQ(rnd(), 0.0f);
  EXPECT_EQ(rnd(), 0.5f);
  // The int-to-float conversion keeps 24 bits: the top 64 values of rand round to 2^31.
  EXPECT_EQ(rnd(), 1.0f);
  EXPECT_EQ(rnd(), 1.0f);
  EXPECT_EQ(rnd(), std::nextafter(1.0f, 0.0f));
  EXPECT_EQ(rnd(), std::nextafter(1.0f, 0.0f));
}

TEST_F(Random, RandomIReachesItsBoundOnlyWhenRndGivesOne) {
  ScriptRand({2147483583, 2147483647, 2147483583, 2147483647, 0});
  EXPECT_EQ(RandomI(1), 0);
  EXPECT_EQ(RandomI(1), 1);
  EXPECT_EQ(RandomI(7), 6);  // 0.99999994 * 7 truncates to 6
  EXPECT_EQ(RandomI(100) + 1, 101);
  EXPECT_EQ(RandomI(100) + 1, 1);
}

TEST(Ease, SmoothStepValues) {
  EXPECT_EQ(ease(0.0f), 0.0f);
  EXPECT_EQ(ease(0.25f), 0.15625f);
  EXPECT_EQ(ease(0.5f), 0.5f);
  EXPECT_EQ(ease(0.75f), 0.84375f);
  EXPECT_EQ(ease(1.0f), 1.0f);
}

}  // namespace
