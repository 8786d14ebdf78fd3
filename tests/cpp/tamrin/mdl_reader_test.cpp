// V2000 molfiles and SD files: columns, messages, data items, recovery.
#include <gtest/gtest.h>

#include <array>
#include <regex>
#include <tuple>
#include <string>
#include <vector>

#include "mdl_test_support.h"
#include "tamrin/perception/stereo.h"

namespace {

using namespace mdltest;
using Lines = std::vector<std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// ---- atom block ----

// An atom line with the symbol at the origin, and the columns given.
std::string At(const char* symbol, int mass = 0, int charge = 0, int parity = 0, int hcount = 0, int valence = 0,
               int map = 0) {
  return AtomLine(0, 0, 0, symbol, mass, charge, parity, hcount, valence, map);
}

// The atoms read from atom lines, a bond between the first two (its order,
// 0 for none) and property lines; each atom as DescribeAtoms gives it.
TEST(MdlReadAtomBlock, AtomsFromColumnsAndPropertyLines) {
  const std::string C1 = AtomLine(1.5, 0, 0, "C"), O1 = AtomLine(1.5, 0, 0, "O"), R = "    0.0000    0.0000    0.0000 ";
  const std::tuple<std::vector<std::string>, int, std::string, std::string> cases[] = {
      // Element, isotope (from the mass difference), charge, name and map.
      {{At("C")}, 0, "", "C"}, {{At("Cl")}, 0, "", "Cl"}, {{At("D")}, 0, "", "2H"}, {{At("T")}, 0, "", "3H"},
      {{At("C", 1)}, 0, "", "13C"}, {{At("C", -1)}, 0, "", "11C"},
      {{At("H", -3)}, 0, "", "H"},  // mass would be -2
      {{At("*", 2)}, 0, "", "*"},   // no element: no mass
      {{At("Q")}, 0, "", "* 'Q'"}, {{At("LP")}, 0, "", "* 'LP'"}, {{At("R#")}, 0, "", "*"},
      {{At("R12")}, 0, "", "* :12"}, {{At("N", 0, 1)}, 0, "", "N +3"}, {{At("N", 0, 2)}, 0, "", "N +2"},
      {{At("N", 0, 3)}, 0, "", "N +1"}, {{At("N", 0, 4)}, 0, "", "N"},  // 4: a doublet radical
      {{At("O", 0, 5)}, 0, "", "O -1"}, {{At("O", 0, 6)}, 0, "", "O -2"}, {{At("O", 0, 7)}, 0, "", "O -3"},
      {{At("O", 0, -1)}, 0, "", "O +5"}, {{At("O", 0, 8)}, 0, "", "O"}, {{At("C", 0, 0, 0, 0, 0, 7)}, 0, "", "C :7"},
      // A line that stops after the symbol reads no further column.
      {{R + "N  \n"}, 0, "", "N"}, {{R + "C   0  3\n"}, 0, "", "C +1"}, {{R + "C   0  3 \n"}, 0, "", "C +1"},
      // Tabs expand to stops of eight: the tab after the symbol (column 33)
      // reaches column 41, so the "3" lands in the hydrogen-count columns
      // 43-45 (two hydrogens, kept as given); read without expansion it would
      // be a mass difference of 3.
      {{R + "N\t  3   \n"}, 0, "", "N h2"},
      // Implicit hydrogens: the valence column, then the hydrogen-count
      // column, then the valence model.
      {{At("C"), O1}, 2, "", "C h2, O h0"}, {{At("C"), O1}, 1, "", "C h3, O h1"},
      // Valence 2 on a carbon with one bond leaves one hydrogen; 15 means
      // zero valence; a valence below the bonds sets nothing.
      {{At("C", 0, 0, 0, 0, 2), C1}, 1, "", "C h1, C h3"}, {{At("C", 0, 0, 0, 0, 15), C1}, 1, "", "C h0, C h3"},
      {{At("C", 0, 0, 0, 0, 1), C1}, 2, "", "C h0, C h2"},
      // Hydrogen-count column: h means h - 1 hydrogens, kept as given.
      {{At("C", 0, 0, 0, 1), C1}, 1, "", "C h0, C h3"}, {{At("N", 0, 0, 0, 3), C1}, 1, "", "N h2, C h3"},
      // Radicals take their electrons: doublet one, singlet and triplet two.
      {{At("C", 0, 4), C1}, 1, "", "C h2, C h3"}, {{At("C"), C1}, 1, "M  RAD  1   1   1\n", "C h1, C h3"},
      {{At("C"), C1}, 1, "M  RAD  1   1   3\n", "C h1, C h3"}, {{At("C"), C1}, 1, "M  RAD  1   1   2\n", "C h2, C h3"},
      // Charges shift the valence: ammonium, oxide; metals and wildcards take none.
      {{At("N", 0, 3), C1}, 1, "", "N h3 +1, C h3"}, {{At("O", 0, 5), C1}, 1, "", "O h0 -1, C h3"},
      {{At("Fe"), At("*")}, 0, "", "Fe h0, * h0"},
      // The first charge line resets the atom block's charges.
      {{At("O"), C1, AtomLine(3, 0, 0, "N", 0, 3)}, 1, "M  CHG  1   1  -1\n", "O h0 -1, C h2, N h2"},
      // Bad atom numbers and a count beyond the pairs are ignored; the first
      // ISO line resets the mass differences, the first CHG line the doublet
      // of atom 4's charge column (the RAD line has no reset of its own left).
      {{At("C"), AtomLine(1.5, 0, 0, "C", 1), AtomLine(3, 0, 0, "N"), AtomLine(4.5, 0, 0, "C", 0, 4)}, 1,
       "M  CHG  3   3   1   9   1   1   0\nM  ISO  2   1  14  12   2\nM  ISO  1   3  15\nM  RAD  2   2   2   0\n",
       "14C h3, C h1, 15N h2 +1, C h3"},
      // Aliases (one to a missing atom); an "M  CHG" line after a "G" line
      // is the group's text, never read; R-group labels.
      {{At("R#"), C1, AtomLine(3, 0, 0, "R#")}, 1,
       "A    2\nCH2 \nA    9\nignored alias\nG    1  2\nM  CHG  1   1   1\nM  RGP  2   1   4   3   5\n",
       "* h0 :4, C h2 \"CH2\", * h0 :5"}};
  for (const auto& [atoms, order, properties, expected] : cases) {
    Molfile m;
    m.atoms = atoms;
    for (int i = 1; order && i < static_cast<int>(atoms.size()); ++i) m.bonds.push_back(BondLine(i, i + 1, order));
    m.properties = properties;
    std::vector<std::string> messages;
    std::string got = DescribeAtoms(ReadOne(m.Record(), &messages));
    if (expected.find(" h") == std::string::npos) got = std::regex_replace(got, std::regex(" h[0-9]+"), "");
    EXPECT_EQ(got, expected) << m.Text();
    EXPECT_EQ(messages, Lines{}) << m.Text();
  }
}

// ---- bond block ----

TEST(MdlReadBondBlock, TypeStereoAndMessages) {
  const std::string ignored = "Invalid bond stereomark ignored on bond number 2 of bonded";
  const std::tuple<std::string, unsigned, int, int, std::string> cases[] = {
      {BondLine(2, 3, 1), 1, 1, 0, ""}, {BondLine(2, 3, 2), 2, 2, 0, ""}, {BondLine(2, 3, 3), 3, 3, 0, ""},
      {BondLine(2, 3, 4), 1, 5, 0, ""}, {BondLine(2, 3, 8), 1, 1, 0, ""}, {BondLine(2, 3, 0), 1, 1, 0, ""},
      {BondLine(2, 3, 1, 1), 1, 1, 2, ""}, {BondLine(2, 3, 1, 6), 1, 1, 1, ""}, {BondLine(2, 3, 1, 4), 1, 1, 5, ""},
      {BondLine(2, 3, 1, 3), 1, 1, 0, ""}, {BondLine(2, 3, 2, 3), 2, 2, 6, ""},
      {BondLine(2, 3, 2, 4), 2, 2, 6, "Invalid double either stereomark corrected on bond number 2 of bonded"},
      {BondLine(2, 3, 2, 1), 2, 2, 0, "Invalid double bond stereomark ignored on bond number 2 of bonded"},
      {BondLine(2, 3, 3, 1), 3, 3, 0, ignored}, {BondLine(2, 3, 4, 6), 1, 5, 0, ignored},
      // Without the stereo columns nothing is looked at.
      {"  2  3  2  \n", 2, 2, 0, ""}};
  for (const auto& [line, order, int_type, mark, message] : cases) {
    Molfile m;
    m.title = "bonded";
    m.atoms = {At("C"), AtomLine(1.5, 0, 0, "C"), AtomLine(2.2, 1.3, 0, "C")};
    m.bonds = {BondLine(1, 2, 1), line};
    std::vector<std::string> messages;
    QvGraphMol mol = ReadOne(m.Record(), &messages);
    const QvBondBase& bond = BondNo(mol, 1);
    EXPECT_EQ(bond.GetIntType(), int_type) << line;
    if (int_type != 5) {
      EXPECT_EQ(bond.GetOrder(), order) << line;  // aromatic: kekulized, tested elsewhere
    }
    EXPECT_EQ(bond.GetData<int>(Sorvil::QvBondStereoTag), mark) << line;
    EXPECT_EQ(messages, message.empty() ? Lines{} : Lines{message}) << line;
  }
}

// ---- properties block ----

TEST(MdlReadProperties, MultipleRGroupLabelsAreIgnoredWithAMessage) {
  Molfile m;
  m.atoms = {At("R#"), AtomLine(1.5, 0, 0, "C"), AtomLine(3, 0, 0, "R#")};
  m.properties = "M  RGP  2   1   4   3   5\nM  RGP  1   1   6\nM  RGP  1   3   7\n";
  std::vector<std::string> messages;
  EXPECT_EQ(DescribeAtoms(ReadOne(m.Record(), &messages)), "* h0 :4, C h4, * h0 :5");
  EXPECT_EQ(messages, (Lines{"Ignored unsupported multiple Rgroup labels at line: M  RGP  1   1   6",
                             "Ignored unsupported multiple Rgroup labels at line: M  RGP  1   3   7"}));
}

// ---- header ----

// The program line's dimension, and a missing comment line: {program
// line, third line (a comment, or the counts line itself), dimension, comment kept}.
TEST(MdlReadHeader, DimensionAndMissingCommentLine) {
  const std::string p2 = std::string(20, ' ') + "2D", p3 = std::string(20, ' ') + "3D";
  const std::string counts = "  3  0  0  0  0  0  0  0  0  0999 V2000";
  const std::tuple<std::string, std::string, unsigned, bool> cases[] = {
      {p2, "comment", 2, true}, {p3, "comment", 3, true},
      {"", "comment", 2, true},  // settled from the coordinates
      {p2, counts, 2, false}, {std::string(20, ' ') + "2d", counts, 2, false}, {p3, counts, 3, false},
      // No 'D' in column 22: the third line is a comment that happens to
      // look like a counts line, and the fourth is the counts line.
      {std::string(20, ' ') + "2X", counts, 2, true},
      // Counts columns with letters or two '-': a comment.
      {p2, "  a  0 V2000", 2, true}, {p2, "--3  0 V2000", 2, true}};
  for (const auto& [program, third, dimension, comment_kept] : cases) {
    // Two atoms off a line (a triangle's corners) keep a 2D drawing 2D; z 1.0
    // on one of them makes a 3D program line's record really 3D.
    std::string text = "t\n" + program + "\n" + third + "\n";
    if (comment_kept) text += CountsLine(3, 0);
    text += At("C") + AtomLine(1.5, 0, dimension == 3 ? 1.0 : 0, "C") + AtomLine(0.7, 1.3, 0, "O") + "M  END\n$$$$\n";
    QvGraphMol mol = ReadOne(text);
    EXPECT_EQ(mol.NumAtoms(), 3u) << text;
    EXPECT_EQ(mol->GetDimension(), dimension) << text;
    EXPECT_EQ(mol->HasData(Sorvil::QvGetTag("QvMolComment")), comment_kept) << text;
  }
}

// ---- data items ----

// The value rules of SD files and molfiles: {items, SD pairs, molfile pairs}.
TEST(MdlReadDataItems, ValueRulesOfSDAndMolFiles) {
  const std::tuple<std::string, Pairs, Pairs> cases[] = {
      {">  <a>  (1)\n1\n\n>  <b>\n2\n\n", {{"a", "1"}, {"b", "2"}}, {{"a", "1"}, {"b", "2"}}},
      {"> 25 <MP> (X1)\n180\n\n", {{"MP", "180"}}, {{"MP", "180"}}},
      {"> <a<b>c>\nv\n\n", {{"a<b>c", "v"}}, {{"a<b>c", "v"}}},
      {"> no tag\nlost\n\n> <k>\nv\n\n", {{"k", "v"}}, {{"k", "v"}}},
      {"> <x\nlost\n\n", {}, {}},
      {"> <multi>\nfoo\nbar\n\n", {{"multi", "foo\nbar"}}, {{"multi", "foo\nbar"}}},
      // An empty line inside an SD value joins its parts with one line end;
      // a molfile's value ends there, and the rest is no data item at all.
      {"> <gap>\nfoo\n\nbar\n\n> <next>\n1\n\n", {{"gap", "foo\nbar"}, {"next", "1"}}, {{"gap", "foo"}}},
      {"> <gap>\nfoo\n \t\nbar\n", {{"gap", "foo\nbar"}}, {{"gap", "foo"}}},
      // An empty first line is the whole value.
      {"> <empty>\n\nafter\n", {{"empty", ""}}, {{"empty", ""}}},
      // A header or separator ends a value even without a blank line.
      {"> <a>\n1\n> <b>\n2\n", {{"a", "1"}, {"b", "2"}}, {{"a", "1"}, {"b", "2"}}},
      {"> <last>\nv\n", {{"last", "v"}}, {{"last", "v"}}},
      {"> <dup>\n1\n\n> <dup>\n2\n\n", {{"dup", "1"}, {"dup", "2"}}, {{"dup", "1"}, {"dup", "2"}}}};
  for (const auto& [text, sdf, mdl] : cases) {
    const std::string record = Chain(2).Text() + text + "$$$$\n";
    EXPECT_EQ(SDData(ReadOne(record, nullptr, QvFormat::SDF)), sdf) << text;
    EXPECT_EQ(SDData(ReadOne(record, nullptr, QvFormat::MDL)), mdl) << text;
  }
}

// ---- recovery ----

// ---- which records are read, and the messages ----

// A chain of three atoms `title` with its last bond line (2-3) replaced by
// `line`, cut before "M  END" when `whole` is false.
std::string WithBond(const char* title, const std::string& line, bool whole = true) {
  Molfile m = Chain(3, title);
  m.bonds[1] = line;
  return whole ? m.Record() : m.Text().substr(0, m.Text().find("M  END"));
}

TEST(MdlReadRecords, WhichRecordsAndWhatMessages) {
  struct Case {
    std::string text;
    QvFormat format;
    Lines titles, messages;
    unsigned failed;
    unsigned flavor = 0;
    std::vector<Pairs> data = {};  // of each record read, when given
  };
  const auto illegal = [](const std::string& line) {
    return Case{WithBond("bad", line) + Chain(2, "next").Record(), QvFormat::SDF, {"next"},
                {"Illegal bond specification for \"bad\": \"" + line.substr(0, line.size() - 1) + "\"",
                 "Error reading molecule \"bad\" in MDL SDF format."}, 1};
  };
  const std::string error_sdf = "Error reading molecule \"bad\" in MDL SDF format.";
  const std::string self_bond = "Illegal bond specification for \"bad\": \"  1  1  1  0\"";
  Molfile sgroups = Chain(2);
  sgroups.properties = "M  STY  1   1 SUP\nM  SLB  1   1   1\nM  STY  1   2 SUP\n";
  const std::string sgroup = "Unsupported Sgroup information ignored";
  const std::string rgroup = "Unsupported Rgroup definitions ignored";
  const std::string last = Chain(3, "last").Text(), alias = Chain(2, "bad").Text();
  const std::string isis = Chain(2, "isis").Text();
  const std::size_t counts = isis.find(CountsLine(2, 1));
  const std::string isis_good = "$MDL  REG=1\n$MOL\n$HDR\n" + isis.substr(0, counts) + "$END HDR\n$CTAB\n" +
                                isis.substr(counts) + "$END CTAB\n$END MOL\n";
  const std::string empty = "e\n" + kProgram2D + "\n" + CountsLine(0, 0) + "M  END\n$$$$\n";
  const std::string unended = Chain(2, "a").Text().substr(0, Chain(2, "a").Text().size() - 7);
  const std::string after_items = ">  <x>\n1\n\n$$$$\n" + Chain(1, "b").Record();
  const Case cases[] = {
      // A bad record in the middle costs that record only, its data items too.
      {Chain(2, "first").Record(">  <a>\n1\n\n") + WithBond("bad", BondLine(0, 3, 1), false) +
           "M  END\n>  <b>\n2\n\n$$$$\n" + Chain(4, "third").Record(">  <c>\n3\n\n"),
       QvFormat::SDF, {"first", "third"}, {"Illegal bond specification for \"bad\": \"  0  3  1  0\"", error_sdf}, 1, 0,
       {{{"a", "1"}}, {{"c", "3"}}}},
      // Without "M  END" before the data items the table ends there.
      {unended + after_items, QvFormat::SDF, {"a", "b"}, {}, 0, 0, {{{"x", "1"}}, {}}},
      {unended + after_items, QvFormat::MDL, {"a", "b"}, {}, 0, 0, {{{"x", "1"}}, {}}},
      // In a molfile the blank line ends the value; a line with text then is
      // the next record's title.
      {Chain(2, "one").Text() + "> <a>\n1\n\n" + Chain(3, "two").Text(), QvFormat::MDL, {"one", "two"}, {}, 0, 0,
       {{{"a", "1"}}, {}}},
      illegal(BondLine(0, 2, 1)), illegal(BondLine(1, 4, 1)), illegal(BondLine(2, 2, 1)), illegal(BondLine(2, 1, 1)),
      illegal(BondLine(-1, 2, 1)), illegal("  1\n"), illegal("\n"),
      // A short bond line fails after the bond is made.
      {WithBond("bad", "  2  3  \n") + Chain(1, "next").Record(), QvFormat::SDF, {"next"}, {error_sdf}, 1},
      // Sgroups draw one message per record.
      {sgroups.Record() + sgroups.Record(), QvFormat::SDF, {"chain", "chain"}, {sgroup, sgroup}, 0},
      // An alias at the end of the data fails the record.
      {alias.substr(0, alias.size() - 7) + "A    1\n", QvFormat::SDF, {}, {error_sdf}, 1},
      // Without "M  END" at the end of the file the molecule is still read.
      {Chain(2, "first").Record() + last.substr(0, last.size() - 7), QvFormat::SDF, {"first", "last"}, {}, 0},
      // Empty records between separators are skipped; records without atoms
      // too, unless the flavor keeps them.
      {"lonely title\n$$$$\n$$$$\n" + Chain(2, "real").Record(), QvFormat::SDF, {"real"}, {}, 0},
      {empty + Chain(1, "x").Record(), QvFormat::SDF, {"x"}, {}, 0},
      {empty, QvFormat::SDF, {"e"}, {}, 0, 0x4004},
      // RD file wrapper lines are consumed.
      {"$RDFILE 1\n$DATM 12/06/26 10:00\n$MFMT $MIREG 1\n" + Chain(2, "first").Text() +
           "$DTYPE name\n$DATUM x\n$MFMT $MIREG 2\n" + Chain(3, "second").Text(),
       QvFormat::RDF, {"first", "second"}, {}, 0},
      // An ISIS header needs its end lines.
      {isis_good + isis_good, QvFormat::RDF, {"isis", "isis"}, {}, 0},
      {"$MDL  REG=1\n$MOL\n$HDR\n" + isis, QvFormat::RDF, {}, {"Error reading molecule \"isis\" in MDL RDF format."},
       1},
      // An RD trailer with R-groups draws one message.
      {Chain(2, "one").Text() + "$END CTAB\n$RGP\n  1\n$CTAB\nstuff\n$END CTAB\n$END RGP\n$RGP\n$END MOL\n$$$$\n" +
           Chain(3, "two").Record(),
       QvFormat::SDF, {"one", "two"}, {rgroup}, 0},
      // Two atoms promised, the record ends after one: the separator must not
      // be skipped past, or the next record would go with it.
      {"bad\n" + kProgram2D + "\n" + CountsLine(2, 0) + AtomLine(0, 0, 0, "C") + "$$$$\n" + Chain(2, "next").Record(),
       QvFormat::SDF, {"next"}, {error_sdf}, 1},
      // The bad table breaks on its last line; a molfile resumes at the line
      // after it, taken as the next record's title, so the molfile that
      // follows is read whole. An SD file skips to the next "$$$$", taking
      // everything with it.
      {WithBond("bad", BondLine(1, 1, 1), false) + Chain(3, "good").Text(), QvFormat::MDL, {"good"},
       {self_bond, "Error reading molecule \"bad\" in MDL Mol format."}, 1},
      {WithBond("bad", BondLine(1, 1, 1), false) + Chain(3, "good").Text(), QvFormat::SDF, {}, {self_bond, error_sdf},
       1},
      // RD markers after a failure go with it.
      {"$MFMT\n" + WithBond("bad", BondLine(1, 5, 1), false) + "$RGP\n  1\n$END RGP\n$DTYPE x\n$DATUM y\n$MFMT\n" +
           Chain(3, "good").Text(),
       QvFormat::RDF, {"good"},
       {"Illegal bond specification for \"bad\": \"  1  5  1  0\"", rgroup,
        "Error reading molecule \"bad\" in MDL RDF format."}, 1}};
  for (const Case& c : cases) {
    const ReadResult r = Read(c.text, c.format, c.flavor);
    EXPECT_EQ(Titles(r), c.titles) << c.text;
    EXPECT_EQ(r.messages, c.messages) << c.text;
    EXPECT_EQ(r.failed, c.failed) << c.text;
    if (!c.data.empty()) {
      std::vector<Pairs> data;
      for (const QvGraphMol& mol : r.mols) data.push_back(SDData(mol));
      EXPECT_EQ(data, c.data) << c.text;
    }
  }
}

// ---- finishing ----

// The dimension is settled from the coordinates unless the program line says 3D.
TEST(MdlReadFinishing, Dimension) {
  const std::tuple<std::vector<std::array<double, 3>>, std::string, unsigned> cases[] = {
      {{{0, 0, 0}, {0, 0, 0}}, kProgram2D, 0}, {{{1, 2, 0}}, kProgram2D, 2},  // one atom: kept
      {{{0, 0, 0}}, kProgram2D, 0},                                        // one atom at 0
      {{{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}, kProgram2D, 0},                  // on a line
      {{{0, 0, 0}, {1, 1, 0}, {2, 1, 0}}, kProgram2D, 2}, {{{0, 0, 0}, {1, 1, 0.5}}, kProgram2D, 3},
      {{{0, 0, 0}, {0, 0, 0}}, kProgram3D, 3}, {{{0, 0, 0}, {1, 1, 0}, {2, 1, 0}}, "\n", 2}};
  for (const auto& [xyz, program, dimension] : cases) {
    Molfile m;
    m.program = program;
    for (const auto& p : xyz) m.atoms.push_back(AtomLine(p[0], p[1], p[2], "C"));
    EXPECT_EQ(ReadOne(m.Record())->GetDimension(), dimension) << m.Text();
  }
}

}  // namespace
