// Geometry of QvScalarGrid: box edges, storage order, setters and their warnings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "sorvil/grid/scalargrid.h"
#include "support/captured_messages.h"

using Sorvil::QvGridType;
using Sorvil::QvScalarGrid;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

QvScalarGrid Grid234() { return QvScalarGrid(2, 3, 4, 0.0f, 0.0f, 0.0f, 1.0f, "g"); }

struct Edges {
  float xmin, xmax, ymin, ymax, zmin, zmax;
};

void ExpectEdges(const QvScalarGrid& g, const Edges& e) {
  const float got[] = {g.GetXMin(), g.GetXMax(), g.GetYMin(), g.GetYMax(), g.GetZMin(), g.GetZMax()};
  const float want[] = {e.xmin, e.xmax, e.ymin, e.ymax, e.zmin, e.zmax};
  for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(got[i], want[i]) << "edge " << i;
}

void ExpectDefaultGrid(const QvScalarGrid& g) {
  EXPECT_EQ(std::tuple(g.GetXDim(), g.GetYDim(), g.GetZDim(), g.GetSize()), std::tuple(1u, 1u, 1u, 1u));
  EXPECT_EQ(std::tuple(g.GetXMid(), g.GetYMid(), g.GetZMid()), std::tuple(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(std::tuple(g.GetSpacing(), g.GetInverseSpacing()), std::tuple(0.5f, 2.0f));
  ExpectEdges(g, {-0.25f, 0.25f, -0.25f, 0.25f, -0.25f, 0.25f});
  ASSERT_NE(g.GetValues(), nullptr);
  EXPECT_EQ(g.GetValues()[0], 0.0f);
  EXPECT_EQ(g.GetTitle(), "");
  EXPECT_FALSE(g.HasTitle() || g.HasXMid() || g.HasYMid() || g.HasZMid() || g.HasSpacing());
  EXPECT_EQ(g.GetGridType(), QvGridType::Generic);
  EXPECT_EQ(g.NumData(), 0u);
}

}  // namespace

TEST(GridGeometry, DefaultGridAndClearGiveTheSameState) {
  ExpectDefaultGrid(QvScalarGrid());
  QvScalarGrid g = Grid234();
  g.SetGridType(QvGridType::Electrostatic);
  g.SetData(7u, 1.5f);
  g.GetValues()[0] = 3.0f;
  g.Clear();
  ExpectDefaultGrid(g);
}

// ---- spacing and midpoint ------------------------------------------------------

struct SetterCase {
  const char* name;
  bool (QvScalarGrid::*set)(float);
  float value;
  const char* text;  // the warning printed; only NaN is worth one
};

class GridSetterRejected : public ::testing::TestWithParam<SetterCase> {};

TEST_P(GridSetterRejected, ReturnsFalseAndLeavesTheGrid) {
  const SetterCase& c = GetParam();
  QvScalarGrid g;
  CapturedMessages messages;
  EXPECT_FALSE((g.*c.set)(c.value));
  EXPECT_EQ(messages.text(), c.text);
  ExpectDefaultGrid(g);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GridSetterRejected,
    ::testing::Values(SetterCase{"SpacingZero", &QvScalarGrid::SetSpacing, 0.0f, ""},
                      SetterCase{"SpacingNegative", &QvScalarGrid::SetSpacing, -1.0f, ""},
                      SetterCase{"SpacingNegativeZero", &QvScalarGrid::SetSpacing, -0.0f, ""},
                      SetterCase{"SpacingNaN", &QvScalarGrid::SetSpacing, kNaN,
                                 "Warning: SetSpacing unable to handle NaN: nan\n"},
                      SetterCase{"XMidNaN", &QvScalarGrid::SetXMid, kNaN, "Warning: SetXMid unable to handle NaN: nan\n"},
                      SetterCase{"YMidNaN", &QvScalarGrid::SetYMid, kNaN, "Warning: SetYMid unable to handle NaN: nan\n"},
                      SetterCase{"ZMidNaN", &QvScalarGrid::SetZMid, kNaN, "Warning: SetZMid unable to handle NaN: nan\n"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(GridMid, SetMidFailsIfAnyAxisIsNaNButSetsTheOthers) {
  QvScalarGrid g;
  CapturedMessages messages;
  EXPECT_FALSE(g.SetMid(1.0f, kNaN, 3.0f));
  EXPECT_EQ(messages.lines(), std::vector<std::string>({"SetYMid unable to handle NaN: nan"}));
  EXPECT_EQ(std::tuple(g.GetXMid(), g.HasYMid(), g.GetZMid()), std::tuple(1.0f, false, 3.0f));
  EXPECT_TRUE(g.SetMid(-1.0f, -2.0f, -3.0f));
  ExpectEdges(g, {-1.25f, -0.75f, -2.25f, -1.75f, -3.25f, -2.75f});
}

// ---- dimensions --------------------------------------------------------------

struct DimCase {
  uint32_t x, y, z;
  const char* text;
};

class GridDimRejected : public ::testing::TestWithParam<DimCase> {};

TEST_P(GridDimRejected, ReturnsFalseAndLeavesGridUnchanged) {
  const DimCase& c = GetParam();
  QvScalarGrid g = Grid234();
  g.GetValues()[23] = 5.0f;
  CapturedMessages messages;
  EXPECT_FALSE(g.SetDim(c.x, c.y, c.z));
  EXPECT_EQ(messages.text(), c.text);
  EXPECT_EQ(g.GetSize(), 24u);
  EXPECT_EQ(g.GetXDim(), 2u);
  ExpectEdges(g, {-1.0f, 1.0f, -1.5f, 1.5f, -2.0f, 2.0f});
  EXPECT_EQ(g.GetValues()[23], 5.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GridDimRejected,
    ::testing::Values(
        DimCase{0, 3, 4, ""}, DimCase{2, 0, 4, ""}, DimCase{2, 3, 0, ""},
        DimCase{70000, 70000, 1, "Warning: Grid dimensions too large for memory size: 70000 x 70000\n"},
        DimCase{65536, 65535, 2,
                "Warning: Grid dimensions too large for memory size: 4294901760 x 2\n"},
        DimCase{4294967295u, 2, 1,
                "Warning: Grid dimensions too large for memory size: 4294967295 x 2\n"}));

TEST(GridDim, ConstructorWithOverflowingDimensionsKeepsDefaultDimensions) {
  CapturedMessages messages;
  const QvScalarGrid g(70000, 70000, 1, 1.0f, 2.0f, 3.0f, 1.0f, "big");
  EXPECT_EQ(messages.lines(),
            std::vector<std::string>({"Grid dimensions too large for memory size: 70000 x 70000"}));
  EXPECT_EQ(std::tuple(g.GetSize(), g.GetXDim(), g.GetXMid(), g.GetTitle()), std::tuple(1u, 1u, 1.0f, "big"));
}


