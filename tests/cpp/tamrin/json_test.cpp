// JSON records through the streams: the tokenizer's records read back as
// the molecules of the whole text, and the writer's failure status. The
// chemistry both ways is checked against RDKit in tests/python.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_test_support.h"

namespace {

using Tamrin::QvFormat;

// (title, atoms) of every molecule of `text`, and how many records failed.
std::vector<std::pair<std::string, unsigned>> ReadAll(const std::string& text, unsigned* failed = nullptr) {
  Tamrin::qvmolistream in;
  in.SetFormat(QvFormat::JSON);
  EXPECT_TRUE(in.openstring(text));
  std::vector<std::pair<std::string, unsigned>> mols;
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) mols.emplace_back(mol.GetTitle(), mol.NumAtoms());
  if (failed) *failed = in.GetFailedCount();
  return mols;
}

TEST(JSONTokenizer, RecordsReadAsTheWholeText) {
  // Two documents, the first with defaults its records must carry, a broken
  // line between them that costs only itself.
  const std::string text =
      R"({"defaults":{"atom":{"z":8}},"molecules":[{"name":"a","atoms":[{},{"z":6}]},{"name":"b","atoms":[{}]}]})"
      "\n{\"molecules\": [\n"
      R"({"molecules":[{"name":"c","atoms":[{"z":7}]}]})"
      "\n";
  CapturedMessages messages;
  std::vector<std::pair<std::string, unsigned>> from_records;
  unsigned oxygens = 0;
  for (const std::string& record : formattest::Records(QvFormat::JSON, 0x4000, text)) {
    const auto mols = ReadAll(record);
    ASSERT_EQ(mols.size(), 1u) << record;
    from_records.push_back(mols[0]);
    oxygens += record.find(R"("defaults":{"atom":{"z":8}})") != std::string::npos;
  }
  const std::vector<std::pair<std::string, unsigned>> want = {{"a", 2}, {"b", 1}, {"c", 1}};
  EXPECT_EQ(from_records, want);
  EXPECT_EQ(oxygens, 2u);
  EXPECT_EQ(ReadAll(text), want);
  EXPECT_NE(messages.text().find("Warning: JSON document 2 is not valid JSON at byte "), std::string::npos);
}

TEST(JSONReader, DocumentsAcrossTheReadWindow) {
  // Far more text than the reader takes at a time: broken lines all along,
  // some of them where the reader has to fetch more to finish them, and a
  // document over many lines and tens of kilobytes.
  std::string text;
  std::vector<std::pair<std::string, unsigned>> want;
  std::vector<std::string> faults;
  for (unsigned i = 0; i < 3000; ++i) {
    if (i % 37 == 5) {
      faults.push_back("Warning: JSON document " + std::to_string(i + 1) + " is not valid JSON at byte " +
                       std::to_string(text.size() + 14) + ":");  // the 'x'
      text += "{\"molecules\":[x]}\n";
    } else if (i == 1600) {
      text += "{\"molecules\":[{\"name\":\"big\",\n\"atoms\":[{}";
      for (unsigned a = 1; a < 30000; ++a) text += ",\n{}";
      text += "]}]}\n";
      want.emplace_back("big", 30000);
    } else {
      const std::string name = "m" + std::to_string(i);
      text += "{\"molecules\":[{\"name\":\"" + name + "\",\"atoms\":[{\"z\":8}]}]}\n";
      want.emplace_back(name, 1);
    }
  }
  CapturedMessages messages;
  unsigned failed = 0;
  EXPECT_EQ(ReadAll(text, &failed), want);
  EXPECT_EQ(failed, faults.size());
  for (const std::string& fault : faults) EXPECT_NE(messages.text().find(fault), std::string::npos) << fault;
}

// Every molecule of `text` read into a molecule of type Mol (through the
// single-molecule read), written as SMILES from a copy, one per line.
template <class Mol>
std::string ReadAsSmiles(const std::string& text) {
  Tamrin::qvmolistream in;
  in.SetFormat(QvFormat::JSON);
  EXPECT_TRUE(in.openstring(text));
  Tamrin::qvmolostream out;
  out.SetFormat(QvFormat::SMI);
  EXPECT_TRUE(out.openstring());
  Mol mol;
  Tamrin::QvGraphMolImpl copy;
  while (Tamrin::QvReadMolecule(in, static_cast<Tamrin::QvMolBase&>(mol))) {
    EXPECT_TRUE(copy.Copy(mol));
    Tamrin::QvWriteMolecule(out, copy);
  }
  return out.GetString();
}

TEST(JSONReader, GraphAndMultiConformerMoleculesReadAlike) {
  // Charges, isotopes, hydrogens, aromatic orders to resolve, both kinds of
  // stereo, defaults, and a faulty molecule between good ones: both kinds of
  // molecule are built directly, each by its own code.
  const std::string text =
      R"({"defaults":{"atom":{"z":6,"impHs":1},"bond":{"bo":1}},"molecules":[)"
      R"({"name":"pyridinium","atoms":[{"z":7,"chg":1},{},{},{},{},{}],"bonds":[)"
      R"({"atoms":[0,1],"bo":1.5},{"atoms":[1,2],"bo":1.5},{"atoms":[2,3],"bo":1.5},)"
      R"({"atoms":[3,4],"bo":1.5},{"atoms":[4,5],"bo":1.5},{"atoms":[5,0],"bo":1.5}]},)"
      R"({"name":"bad","atoms":[{},{}],"bonds":[{"atoms":[0,1]},{"atoms":[1,0]}]},)"
      R"({"name":"alanine-13C","atoms":[{"impHs":3,"isotope":13},{"stereo":"ccw"},{"z":7,"impHs":2},)"
      R"({"impHs":0},{"z":8,"impHs":0},{"z":8,"chg":-1,"impHs":0}],"bonds":[)"
      R"({"atoms":[0,1]},{"atoms":[1,2]},{"atoms":[1,3]},{"atoms":[3,4],"bo":2},{"atoms":[3,5]}]},)"
      R"({"name":"butene","atoms":[{"impHs":3},{},{},{"impHs":3}],"bonds":[)"
      R"({"atoms":[0,1]},{"atoms":[1,2],"bo":2,"stereo":"trans","stereoAtoms":[0,3]},{"atoms":[2,3]}]}]})"
      "\n";
  CapturedMessages messages;
  const std::string graph = ReadAsSmiles<Tamrin::QvGraphMolImpl>(text);
  // RDKit reads the same molecules from this text (its canonical SMILES of
  // both agree).
  EXPECT_EQ(graph, "c1cc[nH+]cc1 pyridinium\nC([C@H]([13CH3])N)([O-])=O alanine-13C\nC(=C\\C)/C butene\n");
  EXPECT_EQ(ReadAsSmiles<Tamrin::QvMol>(text), graph);
}

TEST(JSONWriter, AromaticBondsWithoutAKekuleFormFail) {
  Tamrin::QvGraphMol mol;
  mol.SetTitle("c1cccc1");
  std::vector<Tamrin::QvAtomBase*> ring;
  for (int i = 0; i < 5; ++i) ring.push_back(mol.NewAtom(6));
  for (int i = 0; i < 5; ++i) mol.NewBond(ring[i], ring[(i + 1) % 5], 5);
  Tamrin::qvmolostream out;
  out.SetFormat(QvFormat::JSON);
  ASSERT_TRUE(out.openstring());
  CapturedMessages messages;
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol.GetMol()), Tamrin::QvWriteStreamFailed);
  EXPECT_EQ(messages.text(),
            "Warning: Molecule \"c1cccc1\" has bond orders without a Kekulé form; not written as JSON\n");
  EXPECT_EQ(out.GetString(), "");
}

}  // namespace
