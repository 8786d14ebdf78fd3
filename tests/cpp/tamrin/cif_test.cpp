// mmCIF structures: atom sites with their residue data, one molecule per
// model, bonds from connection records; the writer read back; blocks cut
// from the input, bad ones skipped. Real entries are compared with gemmi in
// tests/python/test_mmcif.py.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "format_test_support.h"
#include "tamrin/formats/cif/cif.h"
#include "tamrin/model/residue.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/tokenizer.h"

namespace {

using formattest::ReadAll;
using Tamrin::QvFormat;

const std::string kSites = R"(loop_
_atom_site.group_PDB
_atom_site.id
_atom_site.type_symbol
_atom_site.label_atom_id
_atom_site.label_alt_id
_atom_site.label_comp_id
_atom_site.label_asym_id
_atom_site.label_entity_id
_atom_site.label_seq_id
_atom_site.pdbx_PDB_ins_code
_atom_site.Cartn_x
_atom_site.Cartn_y
_atom_site.Cartn_z
_atom_site.occupancy
_atom_site.B_iso_or_equiv
_atom_site.pdbx_formal_charge
_atom_site.auth_seq_id
_atom_site.auth_asym_id
_atom_site.pdbx_PDB_model_num
)";

// Two models of a cysteine bound to a zinc ion, then a second chain of one
// nucleotide atom; model 2 lacks the zinc, and no model holds both atoms of
// the second metal link.
const std::string kEntry = "data_1ABC\n#\n"
                           "loop_\n_entity.id\n_entity.type\n_entity.pdbx_description\n"
                           "1 polymer 'Zinc finger'\n2 non-polymer 'ZINC ION'\n3 polymer DNA\n#\n" +
                           kSites +
                           "ATOM   1 N  N   . CYS A 1 1 ? 1.000 2.000 3.000 1.00 10.00 ? 7 P 1\n"
                           "ATOM   2 S  SG  A CYS A 1 1 ? 2.000 2.000 3.000 0.60 11.50 ? 7 P 1\n"
                           "ATOM   3 S  SG  B CYS A 1 1 ? 2.100 2.000 3.000 0.40 11.50 ? 7 P 1\n"
                           "ATOM   4 C  CA  . CYS A 1 2 B -1.5 0 0.25(3) 1.00 9.00 ? 8 P 1\n"
                           "HETATM 5 ZN ZN  . ZN  B 2 . ? 4.300 2.000 3.000 1.00 20.00 2 101 P 1\n"
                           "ATOM   6 O  \"O5'\" . DA C 3 1 ? 9.0 9.0 9.0 1.00 30.00 ? 1 Q 1\n"
                           "ATOM   7 N  N   . CYS A 1 1 ? 1.100 2.000 3.000 1.00 10.00 ? 7 P 2\n"
                           "ATOM   8 S  SG  . CYS A 1 1 ? 2.100 2.000 3.000 1.00 11.50 ? 7 P 2\n"
                           "ATOM   9 S  SG  . CYS A 1 1 ? 8.000 8.000 8.000 1.00 11.50 ? 9 P 2\n"
                           "#\nloop_\n_struct_conn.id\n_struct_conn.conn_type_id\n"
                           "_struct_conn.ptnr1_label_asym_id\n_struct_conn.ptnr1_label_atom_id\n"
                           "_struct_conn.ptnr1_auth_seq_id\n_struct_conn.ptnr2_label_asym_id\n"
                           "_struct_conn.ptnr2_label_atom_id\n_struct_conn.ptnr2_auth_seq_id\n"
                           "metalc1 metalc A SG 7 B ZN 101\nmetalc2 metalc A SG 9 B ZN 101\nhydrog1 hydrog A N 7 C \"O5'\" 1\n#\n";

// Every record of `text`, read with `flavor` (0: no perception).
formattest::ReadResult Read(const std::string& text, QvFormat format, unsigned flavor) {
  Tamrin::qvmolistream in;
  EXPECT_TRUE(in.SetFormat(format));
  EXPECT_TRUE(in.SetFlavor(QvFormat::MMCIF, flavor));
  in.openstring(text);
  return formattest::ReadAll(in);
}

using AtomRow = std::tuple<std::string, unsigned, int, std::string, std::string, int, char, char, bool, float, int>;

std::vector<AtomRow> Atoms(const Tamrin::QvMolBase& mol) {
  std::vector<AtomRow> rows;
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
    const Tamrin::QvResidue* r = Tamrin::QvGetResidue(atom);
    EXPECT_NE(r, nullptr);
    if (!r) continue;
    rows.emplace_back(atom.GetName(), atom.GetAtomicNum(), atom.GetFormalCharge(), r->name, r->chain, r->number,
                      r->insertion_code, r->alternate_location, r->hetero, r->occupancy, r->fragment);
  }
  return rows;
}

// Bonds as pairs of atom names.
std::vector<std::pair<std::string, std::string>> Bonds(const Tamrin::QvMolBase& mol) {
  std::vector<std::pair<std::string, std::string>> bonds;
  for (const Tamrin::QvBondBase& b : mol.GetBonds()) bonds.emplace_back(b.GetBgn()->GetName(), b.GetEnd()->GetName());
  return bonds;
}

// Flavor 0: what the block says, without perception.
TEST(MMCIFReader, SitesModelsAndConnections) {
  const formattest::ReadResult r = Read(kEntry, QvFormat::MMCIF, 0x0);
  ASSERT_EQ(r.mols.size(), 2u) << ::testing::PrintToString(r.messages);
  const Tamrin::QvMolBase& first = r.mols[0].GetMol();
  EXPECT_STREQ(first.GetTitle(), "Zinc finger");
  EXPECT_EQ(first.GetDimension(), 3u);
  // Alternate location B is dropped; chains break after each polymer chain,
  // as TER records mark them.
  const std::vector<AtomRow> expected = {
      {" N  ", 7, 0, "CYS", "P", 7, ' ', ' ', false, 1.0f, 0},
      {" SG ", 16, 0, "CYS", "P", 7, ' ', 'A', false, 0.6f, 0},
      {" CA ", 6, 0, "CYS", "P", 8, 'B', ' ', false, 1.0f, 0},
      {"ZN  ", 30, 2, "ZN", "P", 101, ' ', ' ', true, 1.0f, 1},
      {" O5'", 8, 0, "DA", "Q", 1, ' ', ' ', false, 1.0f, 1}};
  EXPECT_EQ(Atoms(first), expected);
  double xyz[3];
  first.GetCoords(&*std::next(first.GetAtoms().begin(), 2), xyz);
  EXPECT_EQ(xyz[0], -1.5);
  EXPECT_EQ(xyz[2], 0.25);  // the uncertainty in parentheses is not part of the value
  // The metal link is a bond in the model that has both atoms; the hydrogen bond is none.
  EXPECT_EQ(Bonds(first), (std::vector<std::pair<std::string, std::string>>{{" SG ", "ZN  "}}));
  EXPECT_EQ(r.mols[1].GetMol().NumAtoms(), 3u);
  EXPECT_TRUE(Bonds(r.mols[1].GetMol()).empty());
  for (const Tamrin::QvGraphMol& m : r.mols)
    for (const Tamrin::QvAtomBase& atom : m.GetMol().GetAtoms())
      EXPECT_EQ(Tamrin::QvGetResidue(atom)->model, &m == &r.mols[0] ? 1 : 2);
  EXPECT_EQ(r.messages,
            std::vector<std::string>{"1 connections of CIF data block \"1ABC\" name atoms that it does not hold; skipped"});

  // Every site with the flavor bit that keeps them.
  const formattest::ReadResult all = Read(kEntry, QvFormat::MMCIF, Tamrin::QvIFlavor::MMCIF::AllSites);
  ASSERT_EQ(all.mols.size(), 2u);
  EXPECT_EQ(all.mols[0].GetMol().NumAtoms(), 6u);
}

// The default flavors finish every model alike: the queued second model has
// its bonds from coordinates as the first has.
TEST(MMCIFReader, DefaultPerceptionReachesEveryModel) {
  for (QvFormat format : {QvFormat::MMCIF, QvFormat::CIF}) {
    const formattest::ReadResult r = ReadAll(kEntry, format);
    ASSERT_EQ(r.mols.size(), 2u);
    EXPECT_EQ(Bonds(r.mols[1].GetMol()), (std::vector<std::pair<std::string, std::string>>{{" N  ", " SG "}}));
  }
}

TEST(MMCIFWriter, ReadsBackTheSameStructure) {
  const formattest::ReadResult r = Read(kEntry, QvFormat::MMCIF, 0x0);
  ASSERT_FALSE(r.mols.empty());
  const Tamrin::QvMolBase& mol = r.mols[0].GetMol();
  for (QvFormat format : {QvFormat::MMCIF, QvFormat::CIF}) {
    const formattest::Written w = formattest::Write(mol, 0, format);
    ASSERT_EQ(w.status, 0);
    const formattest::ReadResult back = Read(w.text, QvFormat::MMCIF, 0x0);
    ASSERT_EQ(back.mols.size(), 1u) << w.text;
    const Tamrin::QvMolBase& again = back.mols[0].GetMol();
    EXPECT_STREQ(again.GetTitle(), "Zinc finger");
    EXPECT_EQ(Atoms(again), Atoms(mol)) << w.text;
    EXPECT_EQ(Bonds(again), Bonds(mol)) << w.text;
    double a[3], b[3];
    for (unsigned i = 0; i < mol.NumAtoms(); ++i) {
      mol.GetCoords(&*std::next(mol.GetAtoms().begin(), i), a);
      again.GetCoords(&*std::next(again.GetAtoms().begin(), i), b);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], b[k], 5e-4);
    }
  }
}

// A block that does not parse, or holds no atom sites, is reported and
// skipped; the blocks around it are read.
TEST(MMCIFReader, BadBlocksAreSkipped) {
  const std::string good = kSites + "ATOM 1 C CA . GLY A 1 1 ? 0 0 0 1 0 ? 1 A 1\n";
  const std::string text = "data_a\n" + good + "data_b\nloop_\n_x.a\n_x.b\n1 2 3\ndata_c\n_cell.length_a 5\n" +
                           "data_d\n" + good;
  const formattest::ReadResult r = ReadAll(text, QvFormat::MMCIF);
  EXPECT_EQ(formattest::Titles(r), (std::vector<std::string>{"a", "d"}));
  EXPECT_EQ(r.failed, 2u);
  ASSERT_EQ(r.messages.size(), 4u) << ::testing::PrintToString(r.messages);
  EXPECT_TRUE(r.messages[0].starts_with("Unable to parse CIF data block: ")) << r.messages[0];
  EXPECT_EQ(r.messages[2], "CIF data block \"c\" holds no atom sites");
}

// A component definition: ideal coordinates, the model ones where the
// ideal set has a gap; its bonds as listed, none from coordinates (O and
// OXT are 1 A apart); the monomer-library spelling with aromatic bonds,
// kekulized, and without coordinates.
const std::string kAcetate = R"(data_ACT
_chem_comp.id ACT
loop_
_chem_comp_atom.comp_id
_chem_comp_atom.atom_id
_chem_comp_atom.type_symbol
_chem_comp_atom.charge
_chem_comp_atom.model_Cartn_x
_chem_comp_atom.model_Cartn_y
_chem_comp_atom.model_Cartn_z
_chem_comp_atom.pdbx_model_Cartn_x_ideal
_chem_comp_atom.pdbx_model_Cartn_y_ideal
_chem_comp_atom.pdbx_model_Cartn_z_ideal
ACT C   C  0 9 9 9 0.0 0.0 0.0
ACT O   O  0 9 9 9 1.25 0.0 0.0
ACT OXT O -1 9 9 9 1.25 1.0 0.0
ACT CH3 C  0 -1.5 0.1 0.2 ? ? ?
loop_
_chem_comp_bond.comp_id
_chem_comp_bond.atom_id_1
_chem_comp_bond.atom_id_2
_chem_comp_bond.value_order
_chem_comp_bond.pdbx_aromatic_flag
ACT C O   DOUB N
ACT C OXT SING N
ACT C CH3 SING N
)";
const std::string kRing = "data_comp_RNG\nloop_\n_chem_comp_atom.atom_id\n_chem_comp_atom.type_symbol\n"
                          "C1 C\nC2 C\nC3 C\nC4 C\nC5 C\nC6 C\nloop_\n_chem_comp_bond.atom_id_1\n"
                          "_chem_comp_bond.atom_id_2\n_chem_comp_bond.type\nC1 C2 aromatic\nC2 C3 aromatic\n"
                          "C3 C4 aromatic\nC4 C5 aromatic\nC5 C6 aromatic\nC6 C1 aromatic\n";

TEST(ChemCompReader, AtomsCoordinatesAndBonds) {
  const formattest::ReadResult r = ReadAll(kAcetate + kRing + "data_BAD\n_chem_comp_atom.atom_id C1\n"
                                                              "_chem_comp_bond.atom_id_1 C1\n_chem_comp_bond.atom_id_2 C9\n",
                                           QvFormat::CIF);
  ASSERT_EQ(r.mols.size(), 2u) << ::testing::PrintToString(r.messages);
  const Tamrin::QvMolBase& act = r.mols[0].GetMol();
  EXPECT_STREQ(act.GetTitle(), "ACT");
  EXPECT_EQ(act.GetDimension(), 3u);
  std::vector<std::tuple<std::string, unsigned, int, double>> atoms;
  for (const Tamrin::QvAtomBase& atom : act.GetAtoms()) {
    double xyz[3];
    act.GetCoords(&atom, xyz);
    atoms.emplace_back(atom.GetName(), atom.GetAtomicNum(), atom.GetFormalCharge(), xyz[0]);
  }
  EXPECT_EQ(atoms, (std::vector<std::tuple<std::string, unsigned, int, double>>{
                       {"C", 6, 0, 0.0}, {"O", 8, 0, 1.25}, {"OXT", 8, -1, 1.25}, {"CH3", 6, 0, -1.5}}));
  std::vector<std::tuple<std::string, std::string, unsigned>> bonds;
  for (const Tamrin::QvBondBase& b : act.GetBonds())
    bonds.emplace_back(b.GetBgn()->GetName(), b.GetEnd()->GetName(), b.GetOrder());
  EXPECT_EQ(bonds, (std::vector<std::tuple<std::string, std::string, unsigned>>{
                       {"C", "O", 2}, {"C", "OXT", 1}, {"C", "CH3", 1}}));

  const Tamrin::QvMolBase& ring = r.mols[1].GetMol();
  EXPECT_STREQ(ring.GetTitle(), "RNG");
  EXPECT_EQ(ring.GetDimension(), 0u);
  unsigned doubles = 0;
  for (const Tamrin::QvBondBase& b : ring.GetBonds()) {
    doubles += b.GetOrder() == 2;
    EXPECT_TRUE(b.IsAromatic());
  }
  EXPECT_EQ(ring.NumBonds(), 6u);
  EXPECT_EQ(doubles, 3u);
  EXPECT_EQ(r.failed, 1u);
  ASSERT_FALSE(r.messages.empty());
  EXPECT_EQ(r.messages[0], "A bond of CIF data block \"BAD\" names atoms \"C1\" and \"C9\", not two of its atoms");
}

TEST(CIFTokenizer, OneRecordPerDataBlock) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"# no block\n", {}},
      {"#\\#CIF_2.0\nglobal_\ndata_a\n_x 1\r\nDATA_b\n_y 2", {"data_a\n_x 1\n", "DATA_b\n_y 2\n"}},
      // "data_" inside a text field is text.
      {"data_a\n_t\n;\ndata_x\n;\ndata_b\n", {"data_a\n_t\n;\ndata_x\n;\n", "data_b\n"}},
      {"data_a\ndata_b\ndata_c\n", {"data_a\n", "data_b\n", "data_c\n"}}};
  for (const auto& [text, records] : cases)
    EXPECT_EQ(formattest::Records(QvFormat::CIF, Tamrin::QvDefaultInputFlavor(QvFormat::CIF), text), records) << text;
  EXPECT_NE(Tamrin::QvCreateTokenizer(QvFormat::MMCIF, 0x403F), nullptr);
}

}  // namespace
