// QvParseSmiles: the grammar (strict and permissive), atoms, bonds, rings,
// brackets, hydrogens, reactions, labels, titles, CX blocks, stereo, bond
// orders, and every message with its exact text.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "smiles_test_support.h"
#include "tamrin/perception/stereo.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvGraphMol;
using Tamrin::QvSmilesParseOptions;
using smiles_test::DescribeAtoms;
using smiles_test::Parse;

constexpr QvSmilesParseOptions kStrict{.strict = true};
constexpr QvSmilesParseOptions kCX{.cx = true};
constexpr QvSmilesParseOptions kNoKekule{.noKekulization = true};
constexpr QvSmilesParseOptions kQuiet{.quiet = true};

// ---- every message ----

TEST(SmilesMessages, ExactTexts) {
  // A parse error: the heading, the reason, the text and a caret under the place.
  const auto error = [](const std::string& reason, const std::string& text, std::size_t caret) {
    return std::vector<std::string>{"Problem parsing SMILES:", reason, text, std::string(caret, ' ') + "^\n"};
  };
  const std::string group = "Probable enhanced stereogroup definition issue.";
  const std::string cis_trans = "Inconsistent cis/trans bond stereo.";
  const std::tuple<std::string, QvSmilesParseOptions, bool, std::vector<std::string>> cases[] = {
      {"C1CC", {}, false, error("Unclosed ring.", "C1CC", 4)},
      {"", kStrict, false, error("Empty string is not allowed in strict mode", "", 0)},
      {" C", kStrict, false, error("Leading space is not allowed in strict mode", " C", 0)},
      {"C.", kStrict, false, error("Strict mode without previous atom.", "C.", 2)},
      {"C>>", kStrict, false, error("Strict mode without previous atom.", "C>>", 3)},
      {"CC=", {}, false, error("Bond without end atom.", "CC=", 3)},
      {"CC(C", {}, false, error("Unclosed branch.", "CC(C", 4)},
      {"C>N", {}, false, error("Incorrect reaction role.", "C>N", 3)},
      {"[C@H9]", {}, false, error("Maximum of 8 explicit stereo hydrogens exceeded in SMILES input", "[C@H9]", 6)},
      {"CC(C)X", {}, false, {"Problem parsing SMILES:", "CC(C)X", "     ^\n"}},
      {"C?C title", {}, false, {"Problem parsing SMILES:", "C?C title", " ^\n"}},
      {"CC(C", kQuiet, false, {}},
      {"c1cccc1", {}, false, {"QvParseSmiles() : unable to Kekulize SMILES:", "c1cccc1"}},
      {"c1cccc1", kQuiet, false, {}},
      {"c1ccccc1", kNoKekule, true,
       {"QvParseSmiles() : molecule has bond(s) with incorrect bond order due to skipping kekulization!"}},
      {"CC |(0,0,0;1,0,0)| ethane", kCX, true, {"cxsmiles information was ignored."}},
      {"CC |a:0 ethane", kCX, true, {"Problem parsing ambiguous or unsupported CXSMILES-like TITLE: |a:0 ethane"}},
      {"CC |a:0 ethane", {}, true, {}},
      {"C[C@H](F)Cl |o1:7|", kCX, true, {"Problem parsing SMILES:", group, "C[C@H](F)Cl |o1:7|"}},
      {"C[C@H](F)Cl |&1:0|", kCX, true, {"Problem parsing SMILES:", group, "C[C@H](F)Cl |&1:0|"}},
      {"C[C@H](F)Cl |o:1|", kCX, true, {"Problem parsing SMILES:", group, "C[C@H](F)Cl |o:1|"}},
      {"F/C(\\F)=C/F", {}, true, {"Problem parsing SMILES:", cis_trans, "F/C(\\F)=C/F"}},
      {"C/1=C/CCCCCC/1", {}, true, {"Problem parsing SMILES:", cis_trans, "C/1=C/CCCCCC/1"}},
      // Long texts are not echoed.
      {std::string(2100, 'C') + "(", {}, false, {"Problem parsing SMILES:", "Unclosed branch."}},
      {std::string(2046, 'C') + "(", {}, false, error("Unclosed branch.", std::string(2046, 'C') + "(", 2047)}};
  for (const auto& [text, options, ok, messages] : cases) {
    QvGraphMol mol;
    const auto parsed = Parse(mol, text, options);
    EXPECT_EQ(parsed.ok, ok) << text;
    EXPECT_EQ(parsed.messages, messages) << text;
  }
}

// ---- grammar: accepted or refused, strict and permissive ----

// Accepted or refused: {text, permissive, strict}.
TEST(SmilesGrammar, AcceptsOrRefuses) {
  const std::tuple<std::string, bool, bool> cases[] = {
      {"CC", true, true}, {"", true, false}, {"  CC", true, false}, {"C-C=C#C$C", true, true}, {"C-=C", true, false},
      {"C/=C", true, true}, {"C=/C", true, false}, {"C\\\\C=C/C", true, true}, {"/C", false, false},
      {"C(=O)O", true, true}, {"C(=)O", false, false}, {"(C)C", true, false}, {"C)C", false, false},
      {"C()C", true, true}, {".C", true, false}, {"C..C", true, false}, {"C=.C", false, false}, {"C>C>C", true, true},
      {"C>>C", true, true}, {"C>C>C>C", false, false}, {"C1>C1", false, false}, {"C=>C>C", false, false},
      {"C1CC%01", true, true}, {"C%1CC1", false, false}, {"C%99CC%99", true, true}, {"C%123CC%12C3", true, true},
      {"1CC", false, false}, {"C11", false, false}, {"C1C1", false, false}, {"C=1CC1", true, true},
      {"C=1CC#1", false, false}, {"C=1CC=1", true, true}, {"C0CC0", true, true}, {"C&1.C&1", true, false},
      {"C&=%12.N&%12", true, false}, {"&1C", false, false}, {"C&1C&1", false, false}, {"C&=1.C&#1", false, false},
      {"C&x", false, false}, {"*C", true, true}, {"BrCCl", true, true}, {"BRCCL", true, false},
      {"c1ccccc1", true, true}, {"b1ccccc1", true, false}, {"CbrC", true, false}, {"HC", true, false},
      {"DC", true, false}, {"tC", true, false}, {"C{A}C", true, false}, {"C{B}C", false, false}, {"C{A", false, false},
      {"C|C", false, false}, {"C~C", false, false}, {"Cx", false, false}, {"C\xc3\xa9", false, false},
      {"[C", false, false}, {"[]", false, false}, {"[13CH4]", true, true}, {"[Xyz]", true, true}, {"[#6]", true, true},
      {"[#256]", false, false}, {"[#255]", true, true}, {"[*]", true, true}, {"[R1]", true, false},
      {"[R]", false, false}, {"[D]", true, false}, {"[T]", true, false}, {"[Ds]", true, true},
      {"[se]1cccc1", true, true}, {"[fe]", true, true}, {"[Q]", false, false}, {"[CH0]", true, false},
      {"[CH]", true, true}, {"[CH2H]", false, false}, {"[Fe+2]", true, true}, {"[Fe++]", true, true},
      {"[Fe+2+]", false, false}, {"[Fe+-]", false, false}, {"[Fe+02]", true, false}, {"[C:1]", true, true},
      {"[C:0]", true, false}, {"[C:1H]", false, false}, {"[C:]", false, false}, {"[CH4:1+]", false, false},
      {"[C@](F)(Cl)(Br)I", true, true}, {"[C@@](F)(Cl)(Br)I", true, true}, {"[Co@OH1](F)(F)(F)(F)(F)F", true, true},
      {"[C@OH31]", false, false}, {"[C@OH30]", true, true}, {"[C@TH3]", false, false}, {"[C@TH0]", true, false},
      {"[C@SP3]", true, true}, {"[C@SP4]", false, false}, {"[C@TB20]", true, true}, {"[C@TB21]", false, false},
      {"[C@AL2]", true, true}, {"[C@AL3]", false, false}, {"[C@XX1]", false, false}, {"[C@30]", true, true},
      {"[C@31]", false, false}, {"[C@@@]", true, true}, {"[C" + std::string(30, '@') + "]", true, true},
      {"[C" + std::string(31, '@') + "]", false, false}, {"[C@H@]", false, false}, {"[CH@](F)(Cl)Br", true, true},
      {"[C+H3]", true, true}, {"[2]", false, false}, {"[99999999999C]", false, false}};
  for (const auto& [text, permissive, strict] : cases) {
    QvGraphMol loose, tight;
    EXPECT_EQ(Tamrin::QvParseSmiles(loose, text, kQuiet), permissive) << text;
    EXPECT_EQ(Tamrin::QvParseSmiles(tight, text, QvSmilesParseOptions{.strict = true, .quiet = true}), strict)
        << text << " (strict)";
  }
}

// ---- atoms, hydrogens and bonds ----

TEST(SmilesParser, MoleculeIsAppendedAndTitleReplaced) {
  QvGraphMol mol;
  ASSERT_TRUE(Parse(mol, "CC ethane").ok);
  ASSERT_TRUE(Parse(mol, "O water  ").ok);
  EXPECT_EQ(mol.NumAtoms(), 3u);
  EXPECT_EQ(mol.NumBonds(), 1u);
  EXPECT_STREQ(mol.GetTitle(), "water");
  EXPECT_EQ(DescribeAtoms(mol), (std::vector<std::string>{"C h3", "C h3", "O h2"}));
  EXPECT_TRUE(mol.HasPerceived(Tamrin::QvPerceivedAtomStereo | Tamrin::QvPerceivedBondStereo));
}

// ---- reactions ----

// ---- stereo ----

// ---- CX block ----

// Stereo groups by written position ("kind number@position", kind a, o or
// &); the stereo hydrogens, which are atoms here, are skipped.
std::string Groups(const QvGraphMol& mol) {
  std::string out;
  unsigned pos = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    if (atom.IsHydrogen()) continue;
    const Tamrin::QvStereoGroup group = Tamrin::QvGetStereoGroup(atom);
    if (group.kind != Tamrin::QvStereoGroupKind::None)
      out += std::string(out.empty() ? "" : " ") + " ao&"[static_cast<unsigned>(group.kind)] +
             std::to_string(group.number) + "@" + std::to_string(pos);
    ++pos;
  }
  return out;
}

TEST(SmilesParser, CXStereoGroups) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"C[C@H](F)[C@@H](Cl)[C@H](Br)O |a:1,o1:3,&2:5| name here", "a0@1 o1@3 &2@5", "name here"},
      {"C[C@H](F)[C@@H](Cl)Br |r|", "&1@1 &1@3", ""}};  // racemic: every centre in one group
  for (const auto& [text, groups, title] : cases) {
    QvGraphMol mol;
    const auto parsed = Parse(mol, text, kCX);
    EXPECT_TRUE(parsed.ok) << text;
    EXPECT_EQ(parsed.messages, std::vector<std::string>{}) << text;
    EXPECT_EQ(Groups(mol), groups) << text;
    EXPECT_EQ(mol.GetTitle(), title) << text;
  }
}

}  // namespace
