// InChI from several threads at once: the InChI library keeps global state,
// so every call into it must be serialised (run under TSan in CI); and the
// InChI records cut without parsing. The conversions themselves are checked
// against RDKit in the Python suite.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "pellar/qvsstream.h"
#include "tamrin/formats/inchi/inchi.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/streams/tokenizer.h"

namespace {

const char* const kSmiles[] = {"C[C@H](O)CC", "F/C=C\\F", "[2H]C(Cl)Br", "CC(=O)[O-].[Na+]",
                               "c1ccccc1[C@@H](N)C(=O)O", "O=C1C=CC=CN1", "[Fe+2].[Cl-].[Cl-]"};

// SMILES -> InChI -> molecule -> InChI and the key, as one string.
std::string RoundTrips() {
  std::string all;
  for (const char* smiles : kSmiles) {
    Tamrin::QvGraphMol mol;
    if (!Tamrin::QvParseSmiles(mol.GetMol(), smiles, {})) return "unparsed " + std::string(smiles);
    std::string inchi;
    std::string key;
    Tamrin::QvGraphMol back;
    std::string again;
    Tamrin::QvCreateInChI(inchi, mol.GetMol(), 0x82);
    Tamrin::QvParseInChI(back.GetMol(), inchi, "");
    Tamrin::QvCreateInChI(again, back.GetMol(), 0x82);
    Tamrin::QvInChIKey(key, again, "");
    all += inchi + " " + again + " " + key + "\n";
  }
  return all;
}

TEST(InChI, ThreadsGetWhatOneThreadGets) {
  const std::string expected = RoundTrips();
  ASSERT_NE(expected.find("InChI=1S/C4H10O/c1-3-4(2)5/h4-5H,3H2,1-2H3/t4-/m0/s1"), std::string::npos) << expected;
  constexpr int kThreads = 4;
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&results, t] {
      for (int i = 0; i < 20; ++i) results[t] = RoundTrips();
    });
  for (std::thread& thread : threads) thread.join();
  for (const std::string& result : results) EXPECT_EQ(result, expected);
}

TEST(InChI, TokenizerCutsLines) {
  const auto tokenizer = Tamrin::QvCreateTokenizer(Tamrin::QvFormat::INCHI, 0x4000);
  ASSERT_NE(tokenizer, nullptr);
  Pellar::qvisstream in;
  in.load("InChI=1S/CH4/h1H4 methane\r\nInChI=1S/H2O/h1H2\n\nInChI=1S/bad");
  std::vector<std::string> records;
  std::string record;
  while (tokenizer->Next(in, record)) records.push_back(record);
  EXPECT_EQ(records, (std::vector<std::string>{"InChI=1S/CH4/h1H4 methane\n", "InChI=1S/H2O/h1H2\n", "\n",
                                               "InChI=1S/bad\n"}));
}

}  // namespace
