// Model 2 against the peer toolkit RDKit on real drug-like molecules: both
// read the same SMILES, and the aromatic flag of every atom is compared.
// Skips without the shared test data; fails without RDKit, which `make test`
// installs into the project's .venv.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "perception_test_support.h"
#include "support/shared_testdata.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/hydrogens.h"
#include "tamrin/perception/kekulize.h"

namespace {

using namespace perception_test;

constexpr int kMolecules = 5000;

std::string Python() {
  const std::filesystem::path venv = std::filesystem::path(NIMBREL_SOURCE_DIR) / ".venv" / "bin" / "python";
  return std::filesystem::exists(venv) ? venv.string() : "python3";
}

// Lines "SMILES<TAB>flags", flags one '0' or '1' per atom as RDKit has them,
// or "-" when RDKit refuses the SMILES.
std::string RdkitFlags(const std::filesystem::path& data) {
  const std::string script =
      "import gzip,sys\n"
      "from rdkit import Chem, RDLogger\n"
      "RDLogger.DisableLog('rdApp.*')\n"
      "for i,line in enumerate(gzip.open(sys.argv[1],'rt')):\n"
      " if i>=" + std::to_string(kMolecules) + ": break\n"
      " smi=line.split()[0]\n"
      " m=Chem.MolFromSmiles(smi)\n"
      " print(smi+'\\t'+('-' if m is None else ''.join('1' if a.GetIsAromatic() else '0' for a in m.GetAtoms())))\n";
  const std::filesystem::path script_path = std::filesystem::temp_directory_path() / "nimbrel_rdkit_arom.py";
  if (FILE* f = std::fopen(script_path.c_str(), "w")) {
    std::fputs(script.c_str(), f);
    std::fclose(f);
  }
  const std::string command = Python() + " " + script_path.string() + " " + data.string() + " 2>/dev/null";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    if (pclose(pipe) != 0) out.clear();
  }
  std::filesystem::remove(script_path);
  return out;
}

TEST(AromaticityAgainstRdkit, Model2MatchesOnDrugLikeMolecules) {
  const std::filesystem::path data = DrugLikeSmiles();
  if (!std::filesystem::exists(data)) GTEST_SKIP() << "shared test data absent: " << data;
  const std::string lines = RdkitFlags(data);
  ASSERT_FALSE(lines.empty()) << "RDKit did not run under " << Python() << " (make test installs it)";

  int compared = 0, mismatched = 0, unreadable = 0;
  std::string examples;
  size_t start = 0;
  while (start < lines.size()) {
    const size_t end = lines.find('\n', start);
    const std::string line = lines.substr(start, end - start);
    start = end == std::string::npos ? lines.size() : end + 1;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line.substr(tab + 1) == "-") continue;
    const std::string smiles = line.substr(0, tab), expected = line.substr(tab + 1);
    QvGraphMol mol;
    const bool read = ParseInto(mol, smiles) && Tamrin::QvKekulize(mol);
    // The parser makes the hydrogen of a written centre ("[C@H]") an atom;
    // RDKit lists heavy atoms only.
    if (read) Tamrin::QvSuppressHydrogens(mol);
    if (!read || mol.NumAtoms() != expected.size()) {
      ++unreadable;
      continue;
    }
    Tamrin::QvPerceiveAromaticity(mol, 2u);
    std::string flags;
    for (const QvAtomBase& atom : mol.GetAtoms()) flags += atom.IsAromatic() ? '1' : '0';
    ++compared;
    if (flags != expected) {
      ++mismatched;
      if (mismatched <= 10) examples += "\n  " + smiles + "\n    ours  " + flags + "\n    rdkit " + expected;
    }
  }
  RecordProperty("compared", compared);
  RecordProperty("mismatched", mismatched);
  std::printf("compared %d molecules with RDKit: %d differ, %d not read\n", compared,
              mismatched, unreadable);
  EXPECT_GE(compared, kMolecules * 9 / 10);
  EXPECT_EQ(unreadable, 0);
  EXPECT_EQ(mismatched, 0) << examples;
}

}  // namespace
