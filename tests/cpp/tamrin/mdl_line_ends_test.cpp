// SD files must read the same whatever their line ends: LF, CRLF, CR alone
// (old Mac files) or CR CR LF. The line rule itself is the input stream's
// and is tested there, for every reader; what stays here is what it does to
// SD records: CR CR is one line end, so a file with CR alone cannot hold an
// empty line, and the reader must do without the empty title, comment and
// program lines and the blank line after a value. The LF reading is the
// oracle, and it must itself find every record.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "sorvil/base/tagdata.h"
#include "support/scratch_dir.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace {

std::string Atom(double x, double y, const char* symbol) {
  char line[96];
  std::snprintf(line, sizeof line, "%10.4f%10.4f%10.4f %-3s 0  0  0  0  0  0  0  0  0  0  0  0\n", x, y, 0.0,
                symbol);
  return line;
}

// Data items, a multi-line value with a TAB, a record without items whose
// "M  END" is followed by the next title, and a V3000 table.
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
std::string Describe(const Tamrin::QvMolBase& mol) {
  std::string out = "title=" + std::string(mol.GetTitle()) + " atoms=" + std::to_string(mol.NumAtoms()) +
                    " bonds=" + std::to_string(mol.NumBonds()) + " dimension=" + std::to_string(mol.GetDimension()) + "\n";
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
    float xyz[3];
    mol.GetCoords(&atom, xyz);
    char line[96];
    std::snprintf(line, sizeof line, "%u %.6f %.6f %.6f\n", atom.GetAtomicNum(), xyz[0], xyz[1], xyz[2]);
    out += line;
  }
  for (const auto& [tag, value] : Sorvil::QvGetSDDataPairs(mol)) out += "<" + tag + ">=" + value + "\n";
  return out;
}

std::vector<std::string> ReadAll(const std::string& path) {
  std::vector<std::string> records;
  Tamrin::qvmolistream in;
  if (!in.open(path.c_str())) {
    ADD_FAILURE() << "cannot open " << path;
    return records;
  }
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol.GetMol())) records.push_back(Describe(mol.GetMol()));
  return records;
}

TEST(LineEnds, EverySDLineEndReadsAsLF) {
  ScratchDir dir;
  const std::string lf_path = dir.file("lf.sdf");
  WriteFile(lf_path, kSdf);
  const std::vector<std::string> want = ReadAll(lf_path);
  ASSERT_EQ(want.size(), 6u);
  for (const auto& [style, end] : kLineEnds) {
    SCOPED_TRACE(style);
    const std::string path = dir.file(std::string(style) + ".sdf");
    WriteFile(path, WithLineEnds(kSdf, end));
    EXPECT_EQ(ReadAll(path), want);
  }
}

}  // namespace
