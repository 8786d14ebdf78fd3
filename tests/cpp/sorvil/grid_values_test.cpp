// Values of QvScalarGrid: construction from an array, SetValues, element
// access, copies and shared views.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "sorvil/grid/scalargrid.h"
#include "support/captured_messages.h"

using Sorvil::QvGridType;
using Sorvil::QvScalarGrid;

namespace {

std::vector<float> Ramp(size_t n, float first = 1.0f) {
  std::vector<float> v(n);
  std::iota(v.begin(), v.end(), first);
  return v;
}

std::vector<float> ValuesOf(const QvScalarGrid& g) {
  return std::vector<float>(g.GetValues(), g.GetValues() + g.GetSize());
}

}  // namespace

TEST(GridValues, CheckedAccessStaysInsideTheLattice) {
  QvScalarGrid g(2, 3, 4, 0, 0, 0, 1, "");
  EXPECT_TRUE(g.SetValue(1, 2, 3, 4.5f));
  EXPECT_EQ(std::tuple(g.GetValue(1, 2, 3), g.GetValues()[23]), std::tuple(4.5f, 4.5f));
  const std::vector<float> before = ValuesOf(g);
  for (const auto& [x, y, z] : std::vector<std::array<uint32_t, 3>>{
           {2, 0, 0}, {0, 3, 0}, {0, 0, 4}, {4294967295u, 0, 0}}) {
    EXPECT_FALSE(g.SetValue(x, y, z, 9.0f));
    EXPECT_EQ(g.GetValue(x, y, z), 0.0f);
  }
  EXPECT_EQ(ValuesOf(g), before);
}

struct BadSetValues {
  const char* name;
  bool null_pointer;
  uint32_t count;
  const char* message;
};

class GridSetValuesRejected : public ::testing::TestWithParam<BadSetValues> {};

TEST_P(GridSetValuesRejected, WarnsAndLeavesValuesUntouched) {
  const BadSetValues& c = GetParam();
  const std::vector<float> ramp = Ramp(24);
  QvScalarGrid g(2, 3, 4, 0, 0, 0, 1, "", ramp.data());
  const std::vector<float> other(25, 7.0f);
  CapturedMessages messages;
  EXPECT_FALSE(g.SetValues(c.null_pointer ? nullptr : other.data(), c.count));
  EXPECT_EQ(messages.text(), std::string("Warning: ") + c.message + "\n");
  EXPECT_EQ(ValuesOf(g), ramp);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GridSetValuesRejected,
    ::testing::Values(
        BadSetValues{"OneShort", false, 23, "Attempting to set grid data with wrong size array"},
        BadSetValues{"OneLong", false, 25, "Attempting to set grid data with wrong size array"},
        BadSetValues{"Empty", false, 0, "Attempting to set grid data with wrong size array"},
        // The size is checked first: a null pointer with a wrong count is a size error.
        BadSetValues{"NullWrongSize", true, 3, "Attempting to set grid data with wrong size array"},
        BadSetValues{"Null", true, 24, "Attempting to set grid data with zero pointer"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// ---- copies ------------------------------------------------------------------

TEST(GridCopy, CopyConstructionIsDeepAndComplete) {
  const std::vector<float> ramp = Ramp(24);
  QvScalarGrid src(2, 3, 4, 1, 2, 3, 0.5f, "orbital", ramp.data());
  src.SetGridType(QvGridType::DifferenceMap);
  src.SetData(11u, std::string("note"));
  QvScalarGrid copy(src);
  EXPECT_EQ(ValuesOf(copy), ramp);
  EXPECT_EQ(std::tuple(copy.GetTitle(), copy.GetGridType(), copy.GetData<std::string>(11u), copy.GetXMax()),
            std::tuple("orbital", QvGridType::DifferenceMap, "note", src.GetXMax()));
  EXPECT_TRUE(copy.SameGeometry(src) && copy.HasXMid() && copy.HasSpacing());
  EXPECT_NE(copy.GetValues(), src.GetValues());
  copy.GetValues()[0] = -5.0f;
  copy.SetSpacing(2.0f);
  EXPECT_EQ(std::tuple(src.GetValues()[0], src.GetSpacing()), std::tuple(1.0f, 0.5f));
}

TEST(GridCopy, AssignmentSetsOnlyWhatDiffersSoUnsetFlagsStayUnset) {
  QvScalarGrid src;  // default: nothing set
  src.SetXMid(4.0f);
  QvScalarGrid dst;
  dst = src;
  EXPECT_EQ(std::tuple(dst.HasXMid(), dst.HasYMid(), dst.HasSpacing(), dst.GetXMax()),
            std::tuple(true, false, false, 4.25f));
}
