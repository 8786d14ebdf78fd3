// The CDX tokenizer against the reader: the records it cuts out, read one by
// one, are the molecules that reading the whole document gives, over the real
// files (and wherever the reader refuses one).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "format_test_support.h"
#include "support/shared_testdata.h"

namespace {

using Tamrin::QvFormat;

std::string Graph(const Tamrin::QvMolBase& mol) {
  std::string s;
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms())
    s += std::to_string(atom.GetAtomicNum()) + ":" + std::to_string(atom.GetFormalCharge()) + ":" +
         std::to_string(atom.GetImplicitHCount()) + " ";
  for (const Tamrin::QvBondBase& bond : mol.GetBonds())
    s += std::to_string(bond.GetBgn()->GetIdx()) + "-" + std::to_string(bond.GetEnd()->GetIdx()) + "/" +
         std::to_string(bond.GetOrder()) + " ";
  return s;
}

std::vector<std::string> Graphs(const formattest::ReadResult& r) {
  std::vector<std::string> out;
  for (const Tamrin::QvGraphMol& m : r.mols) out.push_back(Graph(m.GetMol()));
  return out;
}

TEST(CDXTokenizer, RecordsReadAsTheWholeDocumentReads) {
  const std::filesystem::path dir = SharedTestData("cdx");
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "shared test data absent: " << dir;
  int files = 0;
  std::size_t molecules = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().string());
    std::ifstream file(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    const std::string whole = bytes.str();
    const formattest::ReadResult direct = formattest::ReadAll(whole, QvFormat::CDX);

    const std::vector<std::string> records = formattest::Records(QvFormat::CDX, 0x4001, whole);
    std::vector<std::string> pieces;
    for (const std::string& record : records)
      for (const std::string& g : Graphs(formattest::ReadAll(record, QvFormat::CDX))) pieces.push_back(g);
    EXPECT_EQ(pieces, Graphs(direct));
    // Refused fragments are records too.
    EXPECT_GE(records.size(), direct.mols.size());
    ++files;
    molecules += pieces.size();
  }
  EXPECT_GE(files, 6);
  EXPECT_GE(molecules, 100u);
}

}  // namespace
