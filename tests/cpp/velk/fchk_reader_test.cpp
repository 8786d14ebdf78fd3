// The FCHK reader: every refusal with its message, record framing by
// columns and line widths, scalars as generic data, units and life cycle.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "cube_fchk_testutil.h"
#include "sorvil/base/tagregistry.h"
#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/graphmol.h"
#include "velk/builtin/fchk_handler.h"

namespace {

using cubefchk_test::FailureCase;
using cubefchk_test::FchkArray;
using cubefchk_test::FchkScalar;
using cubefchk_test::RefusingMol;
using cubefchk_test::PutFile;
using cubefchk_test::ScratchDir;
using cubefchk_test::ThrowsWith;
using Tamrin::QvGraphMol;
using velk::builtin::FchkMolSource;


const std::string kTitleAndCalc = "water test   \nSP        RHF                           STO-3G\n";
const std::string kAtomCount = FchkScalar("Number of atoms", 'I', "           3");
const std::string kNumbers = FchkArray("Atomic numbers", 'I', "3") + "           8           1           1\n";
const std::string kCoords = FchkArray("Current cartesian coordinates", 'R', "9") +
                            "  0.00000000E+00  0.00000000E+00  1.88972612545782E+00 -1.00000000E+00  0.00000000E+00\n"
                            "  0.00000000E+00  1.00000000E+00  1.00000000E+00  0.00000000E+00\n";
const std::string kWater = kTitleAndCalc + kAtomCount + FchkScalar("Charge", 'I', "0") + kNumbers + kCoords;

class FchkReaderTest : public ::testing::Test {
 protected:
  std::string Put(const std::string& text) { return PutFile(dir_, "in.fchk", text); }
  QvGraphMol Read(const std::string& text) {
    FchkMolSource source(Put(text));
    QvGraphMol mol;
    EXPECT_TRUE(source.next(mol));
    return mol;
  }
  ScratchDir dir_;
};

// The number rules (missing, malformed, out of range) are cube_text_test's;
// here a field that goes through them has one row, for its name.
std::vector<FailureCase> FailureCases() {
  const std::string head = kTitleAndCalc + kAtomCount;
  const std::string sync = "velk: FCHK: unexpected blank line where a record header was expected";
  auto count_case = [&](const std::string& count) { return head + FchkArray("Atomic numbers", 'I', count); };
  return {
      {"Empty", "", "velk: FCHK: empty file (missing title line)"},
      {"TitleOnly", "title\n", "velk: FCHK: truncated header (missing calc line)"},
      {"NoRecords", kTitleAndCalc, "velk: FCHK: missing 'Number of atoms'"},
      {"BlankBetweenRecords", head + "\n" + kNumbers + kCoords, sync},
      {"ShortHeader", head + "Charge      I   0\n", "velk: FCHK: malformed record header (line too short)"},
      {"EmptyLabel", head + FchkScalar("", 'I', "0"), "velk: FCHK: missing record label"},
      {"BadTypeCode", head + FchkScalar("Charge", 'X', "0"), "velk: FCHK: unrecognized type code in record 'Charge'"},
      {"ArrayCountWord", count_case("three"), "velk: malformed FCHK array count for 'Atomic numbers'"},
      {"ArrayCountAboveLimit", count_case("1000000001"),
       "velk: FCHK: array count out of range [0, 1000000000] for 'Atomic numbers'"},
      {"PayloadTruncated", head + FchkArray("Atomic numbers", 'I', "7") + "  1 1 1 1 1 1\n",
       "velk: FCHK: truncated payload for 'Atomic numbers'"},
      {"PayloadOfSkippedArrayTruncated", head + FchkArray("Orbital energies", 'R', "11") + "1 2 3 4 5\n",
       "velk: FCHK: truncated payload for 'Orbital energies'"},
      {"TooFewValues", head + FchkArray("Atomic numbers", 'I', "3") + "           8           1\n",
       "velk: FCHK: too few values for 'Atomic numbers'"},
      {"TooFewCoordinates", head + kNumbers + FchkArray("Current cartesian coordinates", 'R', "9") + "1 2 3 4 5\n6 7 8\n",
       "velk: FCHK: too few values for 'Current cartesian coordinates'"},
      {"LostSync", head + FchkArray("Atomic numbers", 'I', "3") + "           8           1           1\n           1\n",
       "velk: FCHK: lost record sync after 'Atomic numbers'"},
      {"LostSyncAfterSkippedArray", head + FchkArray("Info1-9", 'I', "9") + "1 2 3 4 5 6\n7 8 9\n10 11\n",
       "velk: FCHK: lost record sync after 'Info1-9'"},
      {"AtomCountReal", kTitleAndCalc + FchkScalar("Number of atoms", 'I', "3.0"), "velk: malformed FCHK atom count"},
      {"ChargeReal", head + FchkScalar("Charge", 'I', "1.0"), "velk: malformed FCHK charge"},
      {"MultiplicityMissing", head + FchkScalar("Multiplicity", 'I', ""), "velk: missing FCHK multiplicity"},
      {"ElectronsHuge", head + FchkScalar("Number of electrons", 'I', "-2147483649"),
       "velk: FCHK electron count out of range"},
      {"EnergyFortranExponent", head + FchkScalar("Total Energy", 'R', "-7.6026632734100000D+01"),
       "velk: malformed FCHK total energy"},
      {"AtomicNumberReal", head + FchkArray("Atomic numbers", 'I', "3") + "  8.0  1  1\n", "velk: malformed FCHK atomic number"},
      {"CoordinateFortran", head + kNumbers + FchkArray("Current cartesian coordinates", 'R', "9") + "1 2 3 4 5\n6 7 8 1.0D+00\n",
       "velk: malformed FCHK coordinate"},
      {"AtomCountZero", kTitleAndCalc + FchkScalar("Number of atoms", 'I', "0") + kNumbers + kCoords,
       "velk: FCHK: atom count out of range [1, 100000000]"},
      {"NoAtomicNumbers", head + kCoords, "velk: FCHK: missing 'Atomic numbers'"},
      {"AtomicNumbersOfTypeR", head + FchkArray("Atomic numbers", 'R', "3") + "8.0 1.0 1.0\n" + kCoords,
       "velk: FCHK: missing 'Atomic numbers'"},
      {"AtomicNumberCount", head + FchkArray("Atomic numbers", 'I', "2") + "  8  1\n" + kCoords,
       "velk: FCHK: atomic-number count does not match atom count"},
      {"NoCoordinates", head + kNumbers, "velk: FCHK: missing 'Current cartesian coordinates'"},
      {"CoordinateCount", head + kNumbers + FchkArray("Current cartesian coordinates", 'R', "6") + "1 2 3 4 5\n6\n",
       "velk: FCHK: coordinate count does not match 3 * atom count"},
      {"AtomicNumberZero", head + FchkArray("Atomic numbers", 'I', "3") + "  8  0  1\n" + kCoords,
       "velk: FCHK: atomic number out of range [1, 118]"},
      {"CoordinateBeyondFloat", head + kNumbers + FchkArray("Current cartesian coordinates", 'R', "9") + "1 2 3 4 5\n6 7 8 1e39\n",
       "velk: FCHK atom coordinate is non-finite or out of range"},
  };
}

class FchkReaderFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FchkReaderFailureTest, RefusesWithMessageThenEnds) {
  ScratchDir dir;
  const std::string path = PutFile(dir, "bad.fchk", GetParam().text);
  FchkMolSource source(path);
  QvGraphMol mol;
  EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { source.next(mol); }, GetParam().message));
  EXPECT_FALSE(source.next(mol));
}

INSTANTIATE_TEST_SUITE_P(Messages, FchkReaderFailureTest, ::testing::ValuesIn(FailureCases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(FchkReaderTest, MissingFileIsFileError) {
  const std::string path = dir_.file("none.fchk");
  FchkMolSource source(path);
  QvGraphMol mol;
  EXPECT_TRUE(ThrowsWith<velk::FileError>([&] { source.next(mol); },
                                          "velk: unable to open '" + path + "' for reading"));
}

TEST_F(FchkReaderTest, RefusedAtomIsReported) {
  FchkMolSource source(Put(kWater));
  RefusingMol mol;
  EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { source.next(mol); }, "velk: FCHK: failed to create atom"));
}

TEST_F(FchkReaderTest, OtherRecordsAreSkippedByLineCount) {
  // Count 7 spans 2 lines of I, 1 of L, 2 of R, 2 of C and 1 of H; a wrong
  // line count would land on a payload line and lose the record sync.
  const std::string skipped =
      FchkArray("Some ints", 'I', "7") + "1 2 3 4 5 6\n7\n" + FchkArray("Some flags", 'L', "7") + "TFTFTFT\n" +
      FchkArray("Some reals", 'R', "7") + "1 2 3 4 5\n6 7\n" + FchkArray("Some text", 'C', "7") + "abcdeabcde\nab\n" +
      FchkArray("Long text", 'H', "7") + "abcdefgh\n" + FchkArray("Nothing", 'R', "0") + FchkScalar("Unknown scalar", 'I', "oops");
  const QvGraphMol mol = Read(kTitleAndCalc + kAtomCount + skipped + kNumbers + skipped + kCoords + skipped);
  EXPECT_EQ(mol.NumAtoms(), 3u);
}

}  // namespace
