// Recycled molecules against new ones. Oracle: every record of a varied set
// (SD files with data and charges, V3000, 3D mol2 with partial charges, XYZ,
// SMILES with stereo) read into a molecule that held another record, with
// the bin and with the parallel reader handing molecules around, must read
// exactly as into a new molecule.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "sorvil/base/tagdata.h"
#include "support/shared_testdata.h"
#include "sorvil/base/tagregistry.h"
#include "tamrin/model/molbin.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/parallelreader.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvGraphMolImpl;
using Tamrin::QvMolBase;
using Tamrin::QvMolBin;
using Tamrin::qvmolistream;

// Stereo, charges, isotopes, several components; no coordinates.
constexpr const char* kSmiles =
    "C[C@H](N)C(=O)[O-] alanine\nF/C=C/Cl\n[NH4+].[Cl-] salt\n[13CH3]C#N\nOC[C@@H]1OC(O)[C@H](O)[C@@H]1O\n";

// The files in the order the tests read them, the SMILES after them, so
// that each kind of record follows records of other kinds (3D after none,
// none after 3D).
std::vector<std::filesystem::path> Files() {
  return {SharedTestData("mol2/q2mm_rh_enamide_training_set.mol2"), SharedTestData("sdf/rdkit_NCI_aids_few.sdf.gz"),
          SharedTestData("xyz/chemfiles_methane.xyz"), SharedTestData("mol2/silico_clozapine.mol2"),
          SharedTestData("sdf/iodata_molv3000.sdf"), SharedTestData("sdf/rdkit_BlankPropLines.sdf")};
}
const std::size_t kInputs = Files().size() + 1;

void Open(qvmolistream& in, std::size_t input) {
  if (input < Files().size()) {
    ASSERT_TRUE(in.open(Files()[input].string())) << Files()[input];
    return;
  }
  in.SetFormat(QvFormat::SMI);
  ASSERT_TRUE(in.openstring(kSmiles));
}

std::string Written(const QvMolBase& mol, QvFormat format) {
  Tamrin::qvmolostream out;
  out.SetFormat(format);
  out.openstring(false);
  Tamrin::QvWriteMolecule(out, mol);
  return out.GetString();
}

// Everything a reader may have set: the scalars, every coordinate slot, the
// data items by name, and the record as QVB (every atom and bond field and
// their data) and as canonical SMILES.
std::string Everything(const QvMolBase& mol) {
  std::string text = std::string(mol.GetTitle()) + "|";
  for (const unsigned n : {mol.NumAtoms(), mol.NumBonds(), mol.GetMaxAtomIdx(), mol.GetMaxBondIdx(),
                           mol.GetDimension()})
    text += std::to_string(n) + " ";
  text += std::to_string(mol.GetEnergy()) + " ";
  for (unsigned bit = 1; bit != 0; bit <<= 1) text += mol.HasPerceived(bit) ? '1' : '0';
  std::vector<double> xyz(3 * std::size_t{mol.GetMaxAtomIdx()});
  mol.GetCoords(xyz.data());
  for (const double v : xyz) text += " " + std::to_string(v);
  for (const Sorvil::QvBaseData& item : mol.GetDataItems()) text += std::string(" @") + Sorvil::QvGetTagName(item.GetTag());
  return text + "\n" + Written(mol, QvFormat::QVB) + Written(mol, QvFormat::ISM);
}

// Each record of input `input` read into a new molecule.
std::vector<std::string> ReadNew(std::size_t input) {
  qvmolistream in;
  Open(in, input);
  std::vector<std::string> mols;
  for (;;) {
    QvGraphMolImpl mol;
    if (!Tamrin::QvReadMolecule(in, mol)) return mols;
    mols.push_back(Everything(mol));
  }
}

// What a user may do to a molecule before dropping it, beyond what a reader
// leaves: an energy, a dimension, every perception bit, more data, a long
// title, an atom with coordinates deleted but not swept.
void Dirty(QvMolBase& mol) {
  mol.SetEnergy(-12.5);
  mol.SetDimension(3);
  mol.SetTitle(std::string(300, 't'));
  Sorvil::QvAddSDData(mol, "left over", "value");
  Tamrin::QvAtomBase* atom = mol.NewAtom(8);
  atom->SetFormalCharge(-1);
  const double xyz[3] = {7, 8, 9};
  mol.SetCoords(atom, xyz);
  mol.DeleteAtom(atom);
  mol.SetPerceived(~0u, true);
}

class Recycling : public testing::Test {
 protected:
  void SetUp() override {
    for (const auto& path : Files())
      if (!std::filesystem::exists(path)) GTEST_SKIP() << "shared test data absent: " << path;
    for (std::size_t input = 0; input < kInputs; ++input) {
      fresh_.push_back(ReadNew(input));
      ASSERT_FALSE(fresh_.back().empty()) << "input " << input;
    }
  }

  std::vector<std::vector<std::string>> fresh_;
};

TEST_F(Recycling, OneMoleculeCarriedThroughEveryRecordReadsAsNewOnes) {
  QvMolBin bin;
  std::unique_ptr<QvGraphMolImpl> mol = bin.Take();
  for (std::size_t input = 0; input < kInputs; ++input) {
    qvmolistream in;
    Open(in, input);
    std::size_t record = 0;
    for (;; ++record) {
      QvGraphMolImpl* const before = mol.get();
      if (!Tamrin::QvReadMolecule(in, *mol)) break;
      ASSERT_LT(record, fresh_[input].size());
      ASSERT_EQ(Everything(*mol), fresh_[input][record]) << "input " << input << " record " << record;
      Dirty(*mol);
      bin.Put(std::move(mol));
      mol = bin.Take();
      ASSERT_EQ(mol.get(), before) << "the bin made a new molecule";
    }
    EXPECT_EQ(record, fresh_[input].size()) << "input " << input;
  }
}

// Workers read into molecules from the shared bin that the caller dropped,
// dirty, a moment before.
TEST_F(Recycling, MoleculesHandedAroundByTheParallelReaderReadAsNewOnes) {
  for (std::size_t input = 0; input < kInputs; ++input) {
    qvmolistream in;
    Open(in, input);
    ASSERT_TRUE(Tamrin::QvParallelReader::Supports(in)) << "input " << input;
    Tamrin::QvParallelReader reader(in, 2);
    std::unique_ptr<QvGraphMolImpl> mol;
    std::size_t record = 0;
    for (; reader.Next(mol); ++record) {
      ASSERT_LT(record, fresh_[input].size());
      ASSERT_EQ(Everything(*mol), fresh_[input][record]) << "input " << input << " record " << record;
      Dirty(*mol);
      Tamrin::QvRecycleMol(std::move(mol));
    }
    EXPECT_EQ(record, fresh_[input].size()) << "input " << input;
  }
}

// What the bin and Clear keep is bounded, so that memory stays flat after
// a large molecule or many dropped at once.
TEST(RecyclingBounds, LargeMoleculesAndMoreThanTheBinHoldsAreFreed) {
  const auto chain = [](unsigned atoms) {
    auto mol = std::make_unique<QvGraphMolImpl>();
    for (unsigned i = 0; i < atoms; ++i) {
      Tamrin::QvAtomBase* atom = mol->NewAtom(6);
      const double xyz[3] = {1.0 * i, 0, 0};
      mol->SetCoords(atom, xyz);
      if (i) mol->NewBond(mol->AtomList()[i - 1], atom, 1);
    }
    return mol;
  };
  const unsigned most = Tamrin::kQvKeptRecords;
  for (const auto& [atoms, kept] : {std::tuple(most, true), std::tuple(most + 1, false)}) {
    QvMolBin bin;
    bin.Put(chain(atoms));
    EXPECT_EQ(bin.Size(), kept ? 1u : 0u) << atoms << " atoms";
  }
  // Clear keeps coordinate storage for a molecule of that size, not for a
  // much larger one.
  for (const auto& [atoms, kept] : {std::tuple(most, true), std::tuple(4 * most, false)}) {
    auto mol = chain(atoms);
    mol->Clear();
    EXPECT_EQ(mol->GetCoordCapacity() != 0, kept) << atoms << " atoms";
  }
  // A full bin frees what it is given; the others come back, last in first out.
  QvMolBin bin;
  std::vector<QvGraphMolImpl*> put;
  for (std::size_t i = 0; i <= QvMolBin::kCapacity; ++i) {
    auto mol = chain(3);
    put.push_back(mol.get());
    bin.Put(std::move(mol));
  }
  ASSERT_EQ(bin.Size(), QvMolBin::kCapacity);
  std::vector<std::unique_ptr<QvGraphMolImpl>> taken;
  for (std::size_t i = QvMolBin::kCapacity; i-- > 0;) {
    taken.push_back(bin.Take());
    ASSERT_EQ(taken.back().get(), put[i]);
  }
  EXPECT_EQ(bin.Size(), 0u);
}

}  // namespace
