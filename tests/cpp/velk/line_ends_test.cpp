// Every text reader must give the same result whatever
// the line ends of the file: LF, CRLF, CR alone (old Mac files) or CR CR LF.
// Each file is read as a user would open it; the LF reading is the oracle,
// and it must itself find every record.
//
// CR CR is one line end, so a file with CR alone cannot hold an empty line.
// The inputs keep the empty lines that real files have where a reader can do
// without them (the SD header's comment and program lines, the blank line
// after an SD value, a blank SMILES line) and no others.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sorvil/base/tagdata.h"
#include "sorvil/grid/scalargrid.h"
#include "cube_fchk_testutil.h"
#include "support/scratch_dir.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"
#include "velk/formatregistry.h"

namespace {

std::string Atom(double x, double y, const char* symbol) {
  char line[96];
  std::snprintf(line, sizeof line, "%10.4f%10.4f%10.4f %-3s 0  0  0  0  0  0  0  0  0  0  0  0\n", x, y, 0.0,
                symbol);
  return line;
}

// Data items, a multi-line value with a TAB, a record without items whose
// "M  END" is followed by the next title, and a V3000 table.
const std::string kSdf =
    "water\n  -Tamrin-          2D\n\n  3  2  0  0  0  0  0  0  0  0999 V2000\n" + Atom(0, 0, "O") +
    Atom(0.96, 0, "H") + Atom(-0.24, 0.93, "H") +
    "  1  2  1  0\n  1  3  1  0\nM  END\n> <id>\n1\n\n> <note>\nline one\tand\nline two\n\n$$$$\n"
    "bare\n  -Tamrin-          2D\n\n  2  1  0  0  0  0  0  0  0  0999 V2000\n" + Atom(0, 0, "C") +
    Atom(1.5, 0, "N") + "  1  2  3  0\nM  END\n"
    "v3000\n  -Tamrin-          2D\n\n  0  0  0     0  0            999 V3000\nM  V30 BEGIN CTAB\n"
    "M  V30 COUNTS 2 1 0 0 0\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 2 O 1.4 0 0 0\nM  V30 END ATOM\n"
    "M  V30 BEGIN BOND\nM  V30 1 2 1 2\nM  V30 END BOND\nM  V30 END CTAB\nM  END\n$$$$\n"
    "blank header\n\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n" + Atom(0, 0, "P") + "M  END\n$$$$\n"
    "\n  -Tamrin-12062607423D\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n" + Atom(0, 0, "Cl") + "M  END\n$$$$\n"
    "last\n  -Tamrin-          2D\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n" + Atom(0, 0, "S") +
    "M  END\n> <id>\n4\n\n$$$$\n";

const std::string kSmiles = "CCO ethanol\nc1ccccc1 benzene\n# a comment\nC[C@H](N)O alanine-like\n\nN#N\n";
const std::string kCxSmiles = "CCO ethanol\nC1CC1 cyclopropane\nc1ccncc1 |$;;;N1;;$| pyridine\n";
const std::string kXyz = "3\nwater molecule\nO 0.0 0.0 0.0\nH\t0.757 0.586 0.0\nH -0.757 0.586 0.0\n"
                         "2\ncarbon monoxide\nC 0 0 0 -0.25\nO 1.2 0 0 0.25\n";
const std::string kCube =
    "first comment\nsecond comment\n    1    0.000000    0.000000    0.000000\n"
    "    2    1.000000    0.000000    0.000000\n    2    0.000000    1.000000    0.000000\n"
    "    2    0.000000    0.000000    1.000000\n    6    6.000000    0.500000    0.000000    0.000000\n"
    " 1.0 2.0 3.0\n 4.0 5.0 6.0\n 7.0 8.5e-1\n";

using cubefchk_test::FchkArray;
using cubefchk_test::FchkScalar;

const std::string kFchk = "water\nSP        RHF                           STO-3G\n" +
                          FchkScalar("Number of atoms", 'I', "          3") + FchkScalar("Charge", 'I', "          0") +
                          FchkArray("Atomic numbers", 'I', "3") + "           8           1           1\n" +
                          FchkArray("Current cartesian coordinates", 'R', "9") +
                          "  0.00000000E+00  0.00000000E+00  2.21665000E-01  0.00000000E+00  1.43165000E+00\n"
                          " -8.86659000E-01  0.00000000E+00 -1.43165000E+00 -8.86659000E-01\n" +
                          FchkScalar("Total Energy", 'R', "  -7.495929232844363E+01");

// The line ends of `lf` replaced by `end`.
std::string WithLineEnds(const std::string& lf, const std::string& end) {
  std::string out;
  for (const char c : lf) {
    if (c == '\n') {
      out += end;
    } else {
      out += c;
    }
  }
  return out;
}

const std::vector<std::pair<const char*, std::string>> kLineEnds = {
    {"CRLF", "\r\n"}, {"CR", "\r"}, {"CRCRLF", "\r\r\n"}};

// What a record read says, as text, so that two readings compare at once.
std::string Describe(const Tamrin::QvMolBase& mol, const std::vector<Sorvil::QvScalarGrid>& grids) {
  std::string out = "title=" + std::string(mol.GetTitle()) + " atoms=" + std::to_string(mol.NumAtoms()) +
                    " bonds=" + std::to_string(mol.NumBonds()) + " dimension=" + std::to_string(mol.GetDimension()) + "\n";
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
    float xyz[3];
    mol.GetCoords(&atom, xyz);
    char line[96];
    std::snprintf(line, sizeof line, "%u %.6f %.6f %.6f %.4f\n", atom.GetAtomicNum(), xyz[0], xyz[1], xyz[2],
                  atom.GetPartialCharge());
    out += line;
  }
  for (const auto& [tag, value] : Sorvil::QvGetSDDataPairs(mol)) out += "<" + tag + ">=" + value + "\n";
  for (const Sorvil::QvScalarGrid& grid : grids) {
    out += "grid " + std::to_string(grid.GetSize()) + ":";
    for (unsigned i = 0; i < grid.GetSize(); ++i) out += " " + std::to_string(grid.GetValues()[i]);
    out += "\n";
  }
  return out;
}

struct Case {
  const char* name;
  const char* extension;
  const std::string* text;
  unsigned records;  // what the LF file must give
};

// Through the registry where a handler serves the extension, else through a
// molecule stream, which knows every format by its extension.
std::vector<std::string> ReadAll(const std::string& path) {
  std::vector<std::string> records;
  Tamrin::QvGraphMol mol;
  std::vector<Sorvil::QvScalarGrid> grids;
  if (velk::FormatHandler* handler = velk::FormatRegistry::instance().handler_for_path(path)) {
    std::unique_ptr<velk::MolSource> source = handler->open_reader(path, {});
    while (source->next(mol, grids)) records.push_back(Describe(mol.GetMol(), grids));
    return records;
  }
  Tamrin::qvmolistream in;
  if (!in.open(path.c_str())) {
    ADD_FAILURE() << "cannot open " << path;
    return records;
  }
  while (Tamrin::QvReadMolecule(in, mol.GetMol())) records.push_back(Describe(mol.GetMol(), {}));
  return records;
}

class LineEndsTest : public ::testing::TestWithParam<Case> {};

TEST_P(LineEndsTest, EveryLineEndReadsAsLF) {
  const Case& c = GetParam();
  ScratchDir dir;
  const std::string lf_path = dir.file(std::string("lf.") + c.extension);
  WriteFile(lf_path, *c.text);
  const std::vector<std::string> want = ReadAll(lf_path);
  ASSERT_EQ(want.size(), c.records);
  for (const auto& [style, end] : kLineEnds) {
    SCOPED_TRACE(style);
    const std::string path = dir.file(std::string(style) + "." + c.extension);
    WriteFile(path, WithLineEnds(*c.text, end));
    EXPECT_EQ(ReadAll(path), want);
  }
}

INSTANTIATE_TEST_SUITE_P(Readers, LineEndsTest,
                         ::testing::Values(Case{"sdf", "sdf", &kSdf, 6}, Case{"smiles", "smi", &kSmiles, 4},
                                           Case{"cxsmiles", "cxsmiles", &kCxSmiles, 3},
                                           Case{"xyz", "xyz", &kXyz, 2}, Case{"cube", "cube", &kCube, 1},
                                           Case{"fchk", "fchk", &kFchk, 1}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
