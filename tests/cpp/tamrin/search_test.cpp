// Screens, similarity and the molecule database file. The screen's
// never-reject invariant, and the similarity scores against RDKit's bulk
// Tanimoto, are checked over real molecules in tests/python/test_searchdb.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/scratch_dir.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/model.h"
#include "tamrin/search/database.h"
#include "tamrin/search/fingerprint.h"
#include "tamrin/search/substructure.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/stringio.h"

namespace {

using Tamrin::QvFingerprint;
using Tamrin::QvScreenFeature;

Tamrin::QvGraphMol Read(const std::string& smiles) {
  Tamrin::QvGraphMol mol;
  EXPECT_TRUE(Tamrin::QvReadMoleculeFromBytes(mol, Tamrin::QvFormat::SMI,
                                              Tamrin::QvDefaultInputFlavor(Tamrin::QvFormat::SMI), false, smiles))
      << smiles;
  return mol;
}

std::string Smiles(const Tamrin::QvMolBase& mol) {
  std::string out;
  Tamrin::QvCreateSmiString(out, mol);
  return out;
}

std::uint64_t Hash(QvScreenFeature kind, std::vector<std::uint32_t> atoms, std::vector<std::uint8_t> bonds) {
  return Tamrin::QvScreenFeatureHash(kind, atoms, bonds);
}

// A query side that walks its features in another order must land on the
// same bits: paths from either end, rings from any atom in either direction.
TEST(ScreenFeatureHash, SameFeatureWhicheverWayWalked) {
  using enum QvScreenFeature;
  EXPECT_EQ(Hash(Path, {12, 16, 14}, {1, 2}), Hash(Path, {14, 16, 12}, {2, 1}));
  EXPECT_EQ(Hash(Path, {12, 12}, {4}), Hash(Path, {12, 12}, {4}));
  const std::vector<std::uint32_t> ring = {13, 13, 15, 13, 13};
  const std::vector<std::uint8_t> bonds = {4, 4, 4, 1, 2};
  const std::uint64_t reference = Hash(Cycle, ring, bonds);
  for (std::size_t start = 0; start < ring.size(); ++start) {
    std::vector<std::uint32_t> a, ra;
    std::vector<std::uint8_t> b, rb;
    for (std::size_t k = 0; k < ring.size(); ++k) {
      a.push_back(ring[(start + k) % 5]);
      b.push_back(bonds[(start + k) % 5]);
      // Backwards from `start`: the bond after atom i is the one before it.
      ra.push_back(ring[(start + 5 - k) % 5]);
      rb.push_back(bonds[(start + 5 - k - 1) % 5]);
    }
    EXPECT_EQ(Hash(Cycle, a, b), reference) << start;
    EXPECT_EQ(Hash(Cycle, ra, rb), reference) << "reversed " << start;
  }
}

TEST(ScreenFeatureHash, DifferentFeaturesAndBadSizes) {
  using enum QvScreenFeature;
  const std::uint64_t path = Hash(Path, {12, 16, 14}, {1, 2});
  EXPECT_NE(path, Hash(Path, {12, 16, 14}, {2, 1}));
  EXPECT_NE(path, Hash(RingPath, {12, 16, 14}, {1, 2}));
  EXPECT_NE(path, Hash(Path, {12, 14, 16}, {1, 2}));
  // A ring is not the path that opens it.
  EXPECT_NE(Hash(Cycle, {12, 12, 12}, {1, 1, 1}), Hash(Path, {12, 12, 12}, {1, 1}));
  EXPECT_EQ(Hash(Path, {12, 12}, {1, 1}), 0u);
  EXPECT_EQ(Hash(Cycle, {12, 12}, {1, 1}), 0u);
  EXPECT_EQ(Hash(Cycle, {12, 12, 12}, {1, 1}), 0u);
}

// A query's screen against molecules it matches (the matcher is the judge)
// and ones it does not (where the screen should already say no): one case
// per way a query atom or bond is coded.
TEST(Screen, QueryScreensKeepMatchesAndRejectOthers) {
  struct Case {
    const char* smarts;
    const char* rejected;  // a molecule the query does not match
  };
  const std::vector<const char*> mols = {"c1ccccc1CBr", "C[N+](=O)[O-]", "O=C(N)c1ccncc1", "FC(F)(F)CCl",
                                         "C1CCCCC1", "CN(=O)=O", "c1ccc2ncccc2c1"};
  const Case cases[] = {
      {"c1ccccc1", "C1CCCCC1"},                  // default bonds: single or aromatic; aromatic atoms
      {"[Cl,Br,I]", "CN(=O)=O"},                 // an atom list of halogens
      {"[N+](=O)[O-]", "CN(=O)=O"},              // charges
      {"[c,n]1[c,n][c,n]2ccccc2[c,n][c,n]1", "c1ccccc1CBr"},  // any heavy atom, fused rings
      {"C~C~C~C~C~C", "CC(C)(C)C"},              // any bond
      {"[C;$(C(F)(F)F),$(C(Cl)(Cl)Cl)]", "CN(=O)=O"},  // the screens of $(...) queries
      {"[$(C(=O)N),$(C(=O)O)]c1ccncc1", "c1ccccc1CBr"},  // what both sides of an "or" hold
  };
  for (const Case& c : cases) {
    Tamrin::QvQuery query;
    ASSERT_TRUE(query.FromSmarts(c.smarts)) << c.smarts;
    const QvFingerprint screen = Tamrin::QvScreenFingerprint(query.Mol());
    bool matched_any = false;
    for (const char* text : mols) {
      const Tamrin::QvGraphMol mol = Read(text);
      if (!Tamrin::QvMatches(query, mol.GetMol())) continue;
      matched_any = true;
      EXPECT_TRUE(Tamrin::QvFingerprintContains(Tamrin::QvScreenFingerprint(mol.GetMol()), screen))
          << c.smarts << " matches " << text;
    }
    EXPECT_TRUE(matched_any) << c.smarts;
    const Tamrin::QvGraphMol other = Read(c.rejected);
    ASSERT_FALSE(Tamrin::QvMatches(query, other.GetMol())) << c.smarts;
    EXPECT_FALSE(Tamrin::QvFingerprintContains(Tamrin::QvScreenFingerprint(other.GetMol()), screen))
        << c.smarts << " passes the screen of " << c.rejected;
  }
}

// Twenty atoms all bonded to each other have far more paths than the walk
// takes: the screen saturates rather than reject true matches.
TEST(Screen, DenseGraphSaturates) {
  Tamrin::QvGraphMol mol;
  std::vector<Tamrin::QvAtomBase*> atoms;
  for (int i = 0; i < 20; ++i) atoms.push_back(mol->NewAtom(6));
  for (int i = 0; i < 20; ++i)
    for (int j = i + 1; j < 20; ++j) mol->NewBond(atoms[i], atoms[j], 1);
  QvFingerprint fp;
  EXPECT_FALSE(Tamrin::QvScreenFingerprint(mol.GetMol(), fp));
  EXPECT_EQ(Tamrin::QvPopCount(fp), Tamrin::kQvFingerprintBits);
  EXPECT_TRUE(Tamrin::QvScreenFingerprint(Read("C1CC2CCC1CC2").GetMol(), fp));
}

// Two empty fingerprints share nothing: no division by zero.
TEST(Similarity, EmptyFingerprintsScoreZero) {
  EXPECT_EQ(Tamrin::QvTanimoto(QvFingerprint{}, QvFingerprint{}), 0.0);
}

class MoleculeDBTest : public ::testing::Test {
 protected:
  const std::vector<std::string> smiles_ = {"CCO", "c1ccccc1O", "CC(=O)Oc1ccccc1C(=O)O", "C1CCCCC1",
                                            "c1ccncc1", "CCN", "O=C=O"};

  // A database of molecules [first, last), blocks of `per_block` records.
  void Build(std::size_t per_block, std::size_t first = 0, bool append = false, std::size_t last = SIZE_MAX) {
    Tamrin::QvMoleculeDBWriter writer(per_block);
    std::string error;
    EXPECT_TRUE(writer.Open(path_, append, error)) << error;
    for (std::size_t i = first; i < std::min(last, smiles_.size()); ++i) {
      Tamrin::QvGraphMol mol = Read(smiles_[i]);
      mol->SetTitle("m" + std::to_string(i));
      EXPECT_TRUE(writer.Add(mol.GetMol()));
    }
    EXPECT_TRUE(writer.Close(error)) << error;
  }

  // Opens the database and checks that it holds every molecule, in order.
  void ExpectAll(Tamrin::QvMoleculeDB& db) {
    std::string error;
    ASSERT_TRUE(db.Open(path_, error)) << error;
    ASSERT_EQ(db.Size(), smiles_.size());
    for (std::size_t i = 0; i < smiles_.size(); ++i) {
      Tamrin::QvGraphMol mol;
      ASSERT_TRUE(db.Get(i, mol.GetMol()));
      EXPECT_EQ(Smiles(mol.GetMol()), Smiles(Read(smiles_[i]).GetMol())) << i;
      EXPECT_STREQ(mol->GetTitle(), ("m" + std::to_string(i)).c_str());
      const QvFingerprint fp = Tamrin::QvCircularFingerprint(mol.GetMol());
      EXPECT_TRUE(std::equal(fp.begin(), fp.end(), db.Similarity(i)));
    }
  }

  std::string Bytes() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  ScratchDir dir_;
  const std::string path_ = dir_ / "test.mdb";
};

TEST_F(MoleculeDBTest, RecordsFingerprintsAndQueries) {
  for (std::size_t per_block : {1u, 3u, 100u}) {
    Build(per_block);
    Tamrin::QvMoleculeDB db;
    ExpectAll(db);
    Tamrin::QvGraphMol none;
    EXPECT_FALSE(db.Get(smiles_.size(), none.GetMol()));
    QvFingerprint screen;
    EXPECT_FALSE(db.Screen(smiles_.size(), screen));
    for (std::size_t i = 0; i < smiles_.size(); ++i) {
      Tamrin::QvGraphMol mol;
      ASSERT_TRUE(db.Screen(i, screen) && db.Get(i, mol.GetMol()));
      EXPECT_EQ(screen, Tamrin::QvScreenFingerprint(mol.GetMol())) << i;
    }

    // Phenol's screen: phenol and aspirin hold it, the others do not.
    std::vector<std::size_t> hits;
    db.Candidates(Tamrin::QvScreenFingerprint(Read("c1ccccc1O").GetMol()), 0, db.Size(), hits);
    EXPECT_EQ(hits, (std::vector<std::size_t>{1, 2}));
    hits.clear();
    db.Candidates(Tamrin::QvScreenFingerprint(Read("c1ccccc1O").GetMol()), 2, db.Size(), hits);
    EXPECT_EQ(hits, (std::vector<std::size_t>{2}));

    // Every score, by brute force; threshold, order and top-k from the same.
    const QvFingerprint query = Tamrin::QvCircularFingerprint(Read("c1ccccc1N").GetMol());
    std::vector<std::pair<std::size_t, double>> all, above;
    db.Similar(query, 0.0, 0, db.Size(), all);
    ASSERT_EQ(all.size(), smiles_.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
      QvFingerprint stored;
      std::copy_n(db.Similarity(i), stored.size(), stored.begin());
      EXPECT_EQ(all[i], std::make_pair(i, Tamrin::QvTanimoto(query, stored)));
    }
    db.Similar(query, all[1].second, 0, db.Size(), above);
    for (const auto& hit : all)
      EXPECT_EQ(std::count(above.begin(), above.end(), hit), hit.second >= all[1].second ? 1 : 0);
    std::vector<std::pair<std::size_t, double>> sorted = all;
    std::stable_sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.second > b.second; });
    sorted.resize(3);
    EXPECT_EQ(db.TopK(query, 3), sorted);
  }
}

TEST_F(MoleculeDBTest, AppendKeepsNumbersAndDropsAnInterruptedTail) {
  Build(2, 0, false, 3);
  // Bytes a crashed append left behind the committed end.
  std::ofstream(path_, std::ios::binary | std::ios::app) << "half a block";
  Build(2, 3, true);
  Tamrin::QvMoleculeDB db;
  ExpectAll(db);
  std::string error;
  // Building anew under the name of the open database leaves its map whole.
  Build(100, 5);
  Tamrin::QvGraphMol last;
  EXPECT_TRUE(db.Get(smiles_.size() - 1, last.GetMol()));
  EXPECT_EQ(Smiles(last.GetMol()), Smiles(Read(smiles_.back()).GetMol()));
  Tamrin::QvMoleculeDB rebuilt;
  ASSERT_TRUE(rebuilt.Open(path_, error)) << error;
  EXPECT_EQ(rebuilt.Size(), 2u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(path_).parent_path()), {}), 1);
}

// Damage at each level the opening checks, with the message it gives.
TEST_F(MoleculeDBTest, DamagedFilesAreRefused) {
  Build(3);
  const std::string good = Bytes();
  const auto put64 = [](std::string& s, std::size_t at, std::uint64_t v) { std::memcpy(&s[at], &v, 8); };
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* message;
  };
  const std::size_t block0 = 64;
  const std::vector<Case> cases = {
      {"empty", [](std::string& s) { s.clear(); }, "not a molecule database"},
      {"foreign", [](std::string& s) { s[0] = 'X'; }, "not a molecule database"},
      {"version", [](std::string& s) { s[8] = 9; }, "unknown version"},
      {"fingerprint size", [](std::string& s) { s[16] = 16; }, "other fingerprint settings"},
      {"screen features", [](std::string& s) { s[48] = 1; }, "other fingerprint settings"},
      {"truncated", [](std::string& s) { s.resize(s.size() - 8); }, "truncated or damaged"},
      {"record count", [&](std::string& s) { put64(s, 24, 8); }, "the header counts 8 records"},
      {"block marker", [&](std::string& s) { s[block0] = 'x'; }, "bad block marker"},
      {"block count", [&](std::string& s) { put64(s, block0 + 8, 1u << 30); }, "block lengths do not agree"},
      {"block length", [&](std::string& s) { put64(s, block0 + 16, 8); }, "block lengths do not agree"},
      {"payload size", [&](std::string& s) { put64(s, block0 + 24, 1); }, "block lengths do not agree"},
      {"offsets", [&](std::string& s) { put64(s, block0 + 32 + 8, 0); }, "bad record offsets"},
      {"last offset", [&](std::string& s) { put64(s, block0 + 32 + 24, 3); }, "bad record offsets"},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    c.damage(bytes);
    WriteFile(path_, bytes);
    Tamrin::QvMoleculeDB db;
    std::string error;
    EXPECT_FALSE(db.Open(path_, error)) << c.name;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(db.Size(), 0u);
    Tamrin::QvMoleculeDBWriter writer;
    EXPECT_FALSE(writer.Open(path_, true, error)) << c.name << ": appending to a damaged file";
  }
  Tamrin::QvMoleculeDB db;
  std::string error;
  EXPECT_FALSE(db.Open(dir_ / "missing.mdb", error));
  EXPECT_NE(error.find("cannot open molecule database"), std::string::npos) << error;
}

}  // namespace
