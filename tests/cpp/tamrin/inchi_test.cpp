// InChI from several threads at once: the InChI library keeps global state,
// so every call into it must be serialised (run under TSan in CI); and the
// InChI records cut without parsing. The conversions themselves are checked
// against RDKit in the Python suite.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "format_test_support.h"
#include "tamrin/formats/inchi/inchi.h"
#include "tamrin/formats/inchi/inchishape.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/graphmol.h"

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

// Each rule of the shape check, on strings one step from a real InChI.
TEST(InChI, ShapeCheck) {
  const std::pair<const char*, bool> cases[] = {
      {"InChI=1S/C4H10O/c1-3-4(2)5/h4-5H,3H2,1-2H3/t4-/m0/s1", true},
      {"InChI=1/C5H5NO/c7-5-3-1-2-4-6-5/h1-4H,(H,6,7)/f/h6H", true},
      {"InChI=1S/4C5H5.2Fe/c4*1-2-4-5-3-1;;/h4*1-5H;;/q;;2*-1;;+2", true},
      {"InChI=1S/C5H12/c1-5(2,3)4/h1-4H3", true},
      {"InChI=1S/ClH.Na/h1H;/q;+1/p-1", true},
      {"InChI=1S/CH4/h1H4/i1D", true},
      {"InChI=1/C2H6O.Na/c1-2-3;/h3H,2H2,1H3;/q;+1/rC2H6NaO/c1-2-3-4/h2H2,1H3", true},
      {"inChI=1S/CH4/h1H4", false},                          // prefix
      {"InChI=1S/", false},                                    // no formula
      {"InChI=1S/C1H4/h1H4", false},                           // count of 1 written
      {"InChI=1S/1CH4/h1H4", false},                           // multiplier of 1
      {"InChI=1S/cH4/h1H4", false},                            // element case
      {"InChI=1S/C02H6O/c1-2-3", false},                       // leading zero
      {"InChI=1S/C99999H6O/c1-2-3", false},                    // five digits
      {"InChI=1S/C2H6O/c1-2-3/h3H,2H2,1H3/c1-2-3", false},     // layer repeated
      {"InChI=1S/C2H6O/h3H,2H2,1H3/c1-2-3", false},            // layers out of order
      {"InChI=1S/C2H6O/c1-2-3/h3H,2H2,1H3/z1", false},         // unknown layer
      {"InChI=1S/C2H6O/c1-2-3/h3H=2H2", false},                // stray character
      {"InChI=1S/C2H6O/c1-2", false},                          // atom 3 not named
      {"InChI=1S/C2H6O/c1-2-4", false},                        // atom past the component
      {"InChI=1S/C2H6O/c3", false},                            // a lone atom
      {"InChI=1S/C2H6O/c1-2-", false},                         // walk cut short
      {"InChI=1S/C5H12/c1-5(2,3-4", false},                    // branch not closed
      {"InChI=1S/C2H6O/h3H,2H2,1H3", false},                   // connections missing
      {"InChI=1S/CH4.H2O/c1;/h1H4;1H2", false},                // a lone atom names itself
      {"InChI=1S/C2H6O.Na/c1-2-3/h3H,2H2,1H3;/q;+1", false},   // a part short
      {"InChI=1S/Lr5H5.2Fe/c4*1-2-4-5-3-1;;/h4*1-5H;;", false},  // parts past the components
      {"InChI=1/C2H6O.Na/c1-2-3;/h3H,2H2,1H3;/q;+1/rC2H6NaO/c1-2-3", false},  // reconnected walk short
      {"InChI=1/C5H5NO/c7-5-3-1-2-4-6-5/h1-4H,(H,6,7)/fC5H6NO/h6H", true},
      {"InChI=1/C5H5NO/c7-5-3-1-2-4-6-5/h1-4H,(H,6,7)/fIIII/h6H", false},  // fixed-H formula of other atoms
  };
  for (const auto& [text, shaped] : cases) EXPECT_EQ(Tamrin::QvLooksLikeInChI(text), shaped) << text;
}

TEST(InChI, TokenizerCutsLines) {
  EXPECT_EQ(formattest::Records(Tamrin::QvFormat::INCHI, 0x4000,
                                "InChI=1S/CH4/h1H4 methane\r\nInChI=1S/H2O/h1H2\n\nInChI=1S/bad"),
            (std::vector<std::string>{"InChI=1S/CH4/h1H4 methane\n", "InChI=1S/H2O/h1H2\n", "\n",
                                               "InChI=1S/bad\n"}));
}

}  // namespace
