// Geometry of QvScalarGrid: box edges, storage order, setters and their warnings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>
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

Edges EdgesOf(const QvScalarGrid& g) {
  return {g.GetXMin(), g.GetXMax(), g.GetYMin(), g.GetYMax(), g.GetZMin(), g.GetZMax()};
}

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

TEST(GridGeometry, ElementIndexIsXFastestZSlowest) {
  const QvScalarGrid g = Grid234();
  EXPECT_EQ(std::tuple(g.ElementIndex(1, 2, 3), g.ElementIndex(1, 0, 0), g.ElementIndex(0, 1, 0), g.ElementIndex(0, 0, 1)),
            std::tuple(23u, 1u, 2u, 6u));
  // Every point maps to its own slot, covering the whole array.
  std::vector<int> hits(g.GetSize(), 0);
  for (uint32_t z = 0; z < 4; ++z)
    for (uint32_t y = 0; y < 3; ++y)
      for (uint32_t x = 0; x < 2; ++x) ++hits.at(g.ElementIndex(x, y, z));
  EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), 24);
}

TEST(GridGeometry, PointCoordinatesAreCellCentres) {
  const QvScalarGrid g(3, 4, 1, 10.0f, -2.0f, 5.0f, 0.5f, "");
  EXPECT_FLOAT_EQ(g.GetXCoord(0), g.GetXMin() + 0.25f);
  EXPECT_FLOAT_EQ(g.GetXCoord(1), 10.0f);  // odd count: the middle point is the midpoint
  EXPECT_FLOAT_EQ(g.GetXCoord(2), g.GetXMax() - 0.25f);
  EXPECT_FLOAT_EQ(g.GetYCoord(0), -2.75f);
  EXPECT_FLOAT_EQ(g.GetYCoord(3), -1.25f);
  EXPECT_FLOAT_EQ(g.GetZCoord(0), 5.0f);
}

TEST(GridGeometry, DefaultGridAndClearGiveTheSameState) {
  ExpectDefaultGrid(QvScalarGrid());
  QvScalarGrid g = Grid234();
  g.SetGridType(QvGridType::Electrostatic);
  g.SetData(7u, 1.5f);
  g.GetValues()[0] = 3.0f;
  g.Clear();
  ExpectDefaultGrid(g);
}

TEST(GridGeometry, FixedGridClearKeepsGeometryAndZeroesValues) {
  Sorvil::QvFixedGrid<float> g(2, 1, 1, 1.0f, 0.0f, 0.0f, 1.0f, "t");
  g.GetValues()[1] = 4.0f;
  g.SetData(7u, std::string("x"));
  g.Clear();
  EXPECT_EQ(std::tuple(g.GetTitle(), g.NumData(), g.GetSize(), g.GetXMid(), g.HasXMid(), g.GetValues()[1]),
            std::tuple("", 0u, 2u, 1.0f, true, 0.0f));
}

// ---- spacing -----------------------------------------------------------------

TEST(GridSpacing, SetSpacingUpdatesInverseAndEdgesAndKeepsValues) {
  QvScalarGrid g = Grid234();
  g.GetValues()[5] = 7.0f;
  EXPECT_TRUE(g.SetSpacing(0.25f));
  EXPECT_EQ(std::tuple(g.GetSpacing(), g.GetInverseSpacing(), g.HasSpacing()), std::tuple(0.25f, 4.0f, true));
  ExpectEdges(g, {-0.25f, 0.25f, -0.375f, 0.375f, -0.5f, 0.5f});
  EXPECT_EQ(g.GetValues()[5], 7.0f);
}

class GridSpacingRejected : public ::testing::TestWithParam<std::pair<float, const char*>> {};

TEST_P(GridSpacingRejected, ReturnsFalseLeavesGridAndWarnsOnlyForNaN) {
  QvScalarGrid g;
  CapturedMessages messages;
  EXPECT_FALSE(g.SetSpacing(GetParam().first));
  EXPECT_EQ(messages.text(), GetParam().second);
  ExpectDefaultGrid(g);
}

INSTANTIATE_TEST_SUITE_P(
    Values, GridSpacingRejected,
    ::testing::Values(std::make_pair(0.0f, ""), std::make_pair(-1.0f, ""),
                      std::make_pair(-0.0f, ""),
                      std::make_pair(kNaN, "Warning: SetSpacing unable to handle NaN: nan\n")));

// ---- midpoint ----------------------------------------------------------------

struct MidAxis {
  const char* name;
  bool (QvScalarGrid::*set)(float);
  float (QvScalarGrid::*get)() const;
  bool (QvScalarGrid::*has)() const;
  float (QvScalarGrid::*min)() const;
  float (QvScalarGrid::*max)() const;
};

class GridMidAxis : public ::testing::TestWithParam<MidAxis> {};

TEST_P(GridMidAxis, SetMovesOnlyThisAxisAndSetsItsFlag) {
  const MidAxis& a = GetParam();
  QvScalarGrid g = Grid234();
  const Edges before = EdgesOf(g);
  const float half = (g.*a.max)();
  g.GetValues()[3] = 2.0f;
  QvScalarGrid fresh;
  EXPECT_TRUE((fresh.*a.set)(-4.0f));
  EXPECT_TRUE((fresh.*a.has)());
  EXPECT_TRUE((g.*a.set)(10.0f));
  EXPECT_EQ((g.*a.get)(), 10.0f);
  EXPECT_FLOAT_EQ((g.*a.min)(), 10.0f - half);
  EXPECT_FLOAT_EQ((g.*a.max)(), 10.0f + half);
  const Edges after = EdgesOf(g);
  // The other two axes keep their edges.
  int unchanged = 0;
  const float b[] = {before.xmin, before.ymin, before.zmin};
  const float c[] = {after.xmin, after.ymin, after.zmin};
  for (int i = 0; i < 3; ++i) unchanged += b[i] == c[i];
  EXPECT_EQ(unchanged, 2);
  EXPECT_EQ(g.GetValues()[3], 2.0f);
  EXPECT_EQ(g.GetSize(), 24u);
}

TEST_P(GridMidAxis, NaNWarnsWithTheSetterNameAndChangesNothing) {
  const MidAxis& a = GetParam();
  QvScalarGrid g;
  CapturedMessages messages;
  EXPECT_FALSE((g.*a.set)(kNaN));
  EXPECT_EQ(messages.text(), std::string("Warning: ") + a.name + " unable to handle NaN: nan\n");
  ExpectDefaultGrid(g);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, GridMidAxis,
    ::testing::Values(MidAxis{"SetXMid", &QvScalarGrid::SetXMid, &QvScalarGrid::GetXMid,
                              &QvScalarGrid::HasXMid, &QvScalarGrid::GetXMin,
                              &QvScalarGrid::GetXMax},
                      MidAxis{"SetYMid", &QvScalarGrid::SetYMid, &QvScalarGrid::GetYMid,
                              &QvScalarGrid::HasYMid, &QvScalarGrid::GetYMin,
                              &QvScalarGrid::GetYMax},
                      MidAxis{"SetZMid", &QvScalarGrid::SetZMid, &QvScalarGrid::GetZMid,
                              &QvScalarGrid::HasZMid, &QvScalarGrid::GetZMin,
                              &QvScalarGrid::GetZMax}),
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

TEST(GridDim, NewDimensionsReallocateZeroedValuesAndRecomputeEdges) {
  QvScalarGrid g = Grid234();
  std::iota(g.GetValues(), g.GetValues() + g.GetSize(), 1.0f);
  EXPECT_TRUE(g.SetDim(2, 3, 4));  // unchanged: values kept
  EXPECT_EQ(g.GetValues()[23], 24.0f);
  EXPECT_TRUE(g.SetDim(5, 1, 2));
  EXPECT_EQ(g.GetSize(), 10u);
  ExpectEdges(g, {-2.5f, 2.5f, -0.5f, 0.5f, -1.0f, 1.0f});
  EXPECT_EQ(std::count(g.GetValues(), g.GetValues() + 10, 0.0f), 10);
}

TEST(GridDim, SingleAxisSettersChangeOnlyTheirAxis) {
  QvScalarGrid g = Grid234();
  g.GetValues()[0] = 1.0f;
  EXPECT_TRUE(g.SetYDim(3));  // unchanged
  EXPECT_EQ(g.GetValues()[0], 1.0f);
  EXPECT_TRUE(g.SetXDim(7) && g.SetZDim(1));
  EXPECT_EQ(std::tuple(g.GetXDim(), g.GetYDim(), g.GetZDim(), g.GetSize(), g.GetValues()[0]),
            std::tuple(7u, 3u, 1u, 21u, 0.0f));
}

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


