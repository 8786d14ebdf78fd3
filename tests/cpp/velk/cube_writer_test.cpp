// The CUBE writer: exact layout, number formatting, validation order with
// every message (and no file left behind), the single-record life cycle,
// write failures, and round trips through the reader.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "cube_fchk_testutil.h"
#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/graphmol.h"
#include "velk/builtin/cube_handler.h"

namespace {

using cubefchk_test::ReadFile;
using cubefchk_test::ScratchDir;
using cubefchk_test::ThrowsWith;
using Sorvil::QvScalarGrid;
using Tamrin::QvGraphMol;
using velk::builtin::CubeMolSink;

struct AtomDef {
  unsigned z;
  float x, y, z_coord;
};

QvGraphMol MakeMol(const std::vector<AtomDef>& atoms) {
  QvGraphMol mol;
  for (const AtomDef& a : atoms) {
    const float xyz[3] = {a.x, a.y, a.z_coord};
    mol.SetCoords(mol.NewAtom(a.z), xyz);
  }
  return mol;
}

// A grid whose storage holds first, first + 1, ...
QvScalarGrid Ramp(unsigned nx, unsigned ny, unsigned nz, float spacing, float first = 0.0f) {
  QvScalarGrid grid(nx, ny, nz, 0.0f, 0.0f, 0.0f, spacing, "");
  for (unsigned i = 0; i < grid.GetSize(); ++i) grid.GetValues()[i] = first + static_cast<float>(i);
  return grid;
}

TEST(CubeWriter, OneCarbonOnATwoByTwoByTwoGrid) {
  ScratchDir dir;
  const QvGraphMol mol = MakeMol({{6, 0, 0, 0}});
  QvScalarGrid grid(2, 2, 2, 0.0f, 0.0f, 0.0f, 1.0f, "ignored title");
  const float values[8] = {0.0f, 0.5f, 1e-10f, -2.25f, 1e8f, 1.5e-5f, 0.1f, -0.125f};
  ASSERT_TRUE(grid.SetValues(values, 8));
  CubeMolSink sink(dir.file("c.cube"));
  ASSERT_TRUE(sink.append(mol, {&grid}));
  // Values in file voxel order: z fastest, x slowest.
  EXPECT_EQ(ReadFile(dir.file("c.cube")),
            "CUBE file written by velk\n"
            "QvScalarGrid volumetric data\n"
            "1 -0.944863063 -0.944863063 -0.944863063\n"
            "2 1.88972613 0.0 0.0\n"
            "2 0.0 1.88972613 0.0\n"
            "2 0.0 0.0 1.88972613\n"
            "6 6 0 0 0\n"
            " 0\n 100000000\n 1.00000001e-10\n 0.100000001\n 0.5\n 1.49999996e-05\n -2.25\n -0.125\n");
  sink.close();
}

TEST(CubeWriter, ThreeGridsMakeAnOrbitalCube) {
  ScratchDir dir;
  const QvGraphMol mol = MakeMol({{8, 0, 0, 0}, {1, 0.5f, -1.0f, 2.0f}});
  const QvScalarGrid a = Ramp(1, 1, 2, 0.5f, 0), b = Ramp(1, 1, 2, 0.5f, 10), c = Ramp(1, 1, 2, 0.5f, 20);
  CubeMolSink sink(dir.file("mo.cube"));
  ASSERT_TRUE(sink.append(mol, {&a, &b, &c}));
  const std::string text = ReadFile(dir.file("mo.cube"));
  EXPECT_EQ(text.substr(text.find("\n", text.find("\n") + 1) + 1, 3), "-2 ");
  EXPECT_EQ(text.substr(text.find("8 8 0 0 0\n")),
            "8 8 0 0 0\n1 1 0.944863063 -1.88972613 3.77945225\n3 1 2 3\n 0 10 20\n 1 11 21\n");
}

// Builds a record and tells what appending it should say; the file must not appear.
struct Refusal {
  const char* name;
  std::function<void(CubeMolSink&)> append;
  std::string message;
};

std::vector<Refusal> Refusals() {
  static const QvGraphMol carbon = MakeMol({{6, 0, 0, 0}});
  static const QvGraphMol empty;
  static const QvScalarGrid ok = Ramp(2, 2, 2, 0.5f);
  const std::string shared = "velk: CUBE: all grids must share geometry (dimensions, origin, and spacing)";
  const std::string spacing = "velk: CUBE: grid spacing must be finite and positive";
  auto with_grid = [](QvScalarGrid grid) {
    return [grid](CubeMolSink& sink) { sink.append(carbon, {&grid}); };
  };
  auto with_second = [](QvScalarGrid second) {
    return [second](CubeMolSink& sink) { sink.append(carbon, {&ok, &second}); };
  };
  auto shifted = [](float dx) {
    QvScalarGrid g = Ramp(2, 2, 2, 0.5f);
    g.SetMid(dx, 0.0f, 0.0f);
    return g;
  };
  auto with_value = [](float v) {
    QvScalarGrid g = Ramp(2, 2, 2, 0.5f);
    g.GetValues()[5] = v;
    return g;
  };
  auto atom = [](unsigned z, float x) { return MakeMol({{6, 0, 0, 0}, {z, x, 0, 0}}); };
  return {
      {"NoGrids", [](CubeMolSink& s) { s.append(carbon, {}); }, "velk: CUBE requires at least one grid"},
      {"NoGridsAtAll", [](CubeMolSink& s) { s.append(carbon); },
       "velk: CUBE requires at least one grid; use append(mol, grid) / writer.append(mol, *grids)"},
      {"NullFirst", [](CubeMolSink& s) { s.append(carbon, {nullptr, &ok}); }, "velk: CUBE: null grid"},
      {"NullSecond", [](CubeMolSink& s) { s.append(carbon, {&ok, nullptr}); }, "velk: CUBE: null grid"},
      {"DimensionsDiffer", with_second(Ramp(2, 2, 3, 0.5f)), shared},
      {"SpacingDiffers", with_second(Ramp(2, 2, 2, 0.5002f)), shared},
      {"CornerDiffers", with_second(shifted(2e-4f)), shared},
      {"TooManyGrids", [](CubeMolSink& s) { s.append(carbon, std::vector<const QvScalarGrid*>(1025, &ok)); },
       "velk: CUBE: grid count exceeds MO orbital limit (1024)"},
      {"OrbitalsWithoutAtoms", [](CubeMolSink& s) { s.append(empty, {&ok, &ok}); },
       "velk: CUBE: cannot write a multi-grid (MO) cube for a molecule with no atoms"},
      {"ZeroDimension", with_grid(QvScalarGrid(2, 0, 2, 0, 0, 0, 0.5f, "")),
       "velk: CUBE: grid dimensions must be positive"},
      {"Dimension8193", with_grid(QvScalarGrid(8193, 1, 1, 0, 0, 0, 0.5f, "")),
       "velk: CUBE: voxel count per dimension must be <= 8192"},
      // 1024 orbitals leave room for 131072 points each; 8191 x 17 is more.
      {"ElementLimit",
       [](CubeMolSink& s) {
         static const QvScalarGrid wide(8191, 17, 1, 0, 0, 0, 0.5f, "");
         s.append(carbon, std::vector<const QvScalarGrid*>(1024, &wide));
       },
       "velk: CUBE: total grid element count exceeds limit (134217728 floats)"},
      {"SpacingNan", with_grid(QvScalarGrid(2, 2, 2, 0, 0, 0, NAN, "")), spacing},
      {"SpacingBelowMicroBohr", with_grid(QvScalarGrid(2, 2, 2, 0, 0, 0, 5e-7f, "")), spacing},
      {"MidpointNan", with_grid(QvScalarGrid(2, 2, 2, 0, NAN, 0, 0.5f, "")), "velk: CUBE: non-finite grid midpoint"},
      {"MidpointInfinite", with_grid(QvScalarGrid(2, 2, 2, 0, 0, -INFINITY, 0.5f, "")),
       "velk: CUBE: non-finite grid midpoint"},
      {"AtomicNumberZero", [atom](CubeMolSink& s) { s.append(atom(0, 0), {&ok}); },
       "velk: CUBE: atomic number out of range [1, 118]"},
      {"AtomicNumber119", [atom](CubeMolSink& s) { s.append(atom(119, 0), {&ok}); },
       "velk: CUBE: atomic number out of range [1, 118]"},
      {"AtomCoordinateNan", [atom](CubeMolSink& s) { s.append(atom(1, NAN), {&ok}); },
       "velk: CUBE: non-finite atom coordinate"},
      {"ValueInfinite", with_grid(with_value(INFINITY)), "velk: CUBE: non-finite volumetric value"},
      {"ValueNanInSecondGrid", with_second(with_value(NAN)), "velk: CUBE: non-finite volumetric value"},
  };
}

class CubeWriterRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(CubeWriterRefusalTest, RefusesBeforeTouchingTheFile) {
  ScratchDir dir;
  const std::string path = dir.file("never.cube");
  CubeMolSink sink(path);
  EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { GetParam().append(sink); }, GetParam().message));
  EXPECT_FALSE(std::filesystem::exists(path));
  // A refusal leaves the writer open for a corrected record.
  static const QvScalarGrid good = Ramp(2, 2, 2, 0.5f);
  EXPECT_TRUE(sink.append(MakeMol({{6, 0, 0, 0}}), {&good}));
}

INSTANTIATE_TEST_SUITE_P(Messages, CubeWriterRefusalTest, ::testing::ValuesIn(Refusals()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(CubeWriter, HoldsASingleRecord) {
  ScratchDir dir;
  const QvGraphMol mol = MakeMol({{6, 0, 0, 0}});
  const QvScalarGrid grid = Ramp(2, 2, 2, 0.5f), other = Ramp(3, 2, 2, 0.5f);
  CubeMolSink sink(dir.file("one.cube"));
  ASSERT_TRUE(sink.append(mol, {&grid}));
  const std::string written = ReadFile(dir.file("one.cube"));
  EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { sink.append(mol, {&grid}); },
                                            "velk: CUBE holds a single record; cannot append again"));
  // Geometry is checked before the record count.
  EXPECT_TRUE(ThrowsWith<velk::FormatError>(
      [&] { sink.append(mol, {&grid, &other}); },
      "velk: CUBE: all grids must share geometry (dimensions, origin, and spacing)"));
  EXPECT_EQ(ReadFile(dir.file("one.cube")), written);
}

TEST(CubeWriter, UncreatableFileIsFileError) {
  ScratchDir dir;
  const std::string path = dir.file("no/such/dir.cube");
  const QvScalarGrid grid = Ramp(2, 2, 2, 0.5f);
  CubeMolSink sink(path);
  EXPECT_TRUE(ThrowsWith<velk::FileError>([&] { sink.append(QvGraphMol(), {&grid}); },
                                          "velk: unable to open '" + path + "' for writing"));
}

TEST(CubeWriter, WriteErrorReturnsFalseAndStaysOpen) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const QvScalarGrid grid = Ramp(20, 20, 20, 0.5f);
  CubeMolSink sink("/dev/full");
  EXPECT_FALSE(sink.append(QvGraphMol(), {&grid}));
  // Not counted as written: the next attempt writes (and fails) again.
  EXPECT_FALSE(sink.append(QvGraphMol(), {&grid}));
}

TEST(CubeWriter, HandlerMakesAWriterThatCreatesNothingUntilAppend) {
  ScratchDir dir;
  velk::builtin::CubeHandler handler;
  auto sink = handler.open_writer(dir.file("h.cube"), {});
  ASSERT_TRUE(sink);
  EXPECT_FALSE(std::filesystem::exists(dir.file("h.cube")));
  sink->close();
  EXPECT_FALSE(std::filesystem::exists(dir.file("h.cube")));
}

}  // namespace
