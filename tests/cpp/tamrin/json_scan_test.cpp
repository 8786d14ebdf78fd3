// The JSON reader's scanner against rapidjson on the same documents: a
// document the scanner reads must end where rapidjson's ends and give the
// records rapidjson's gives, and the plain documents must not be left to
// rapidjson (the reader would be right but slow).
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "support/shared_testdata.h"
#include "tamrin/formats/json/json.h"
#include "tamrin/formats/json/jsonrecord.h"
#include "tamrin/model/model.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace {

using Tamrin::json::DocumentRecord;
using Tamrin::json::MoleculeRecord;

struct Tally {
  unsigned documents = 0, scanned = 0;
};

// Compares the two readers on every document of `text` (one or several,
// broken ones among them, which the scanner must decline).
Tally Compare(std::string_view text) {
  Tally tally;
  DocumentRecord scanned;
  MoleculeRecord parsed;
  for (std::size_t pos = 0;;) {
    pos = text.find_first_not_of(" \t\r\n", pos);
    if (pos == std::string_view::npos) return tally;
    ++tally.documents;
    const std::size_t n = Tamrin::json::ScanDocument(text.substr(pos), scanned);
    rapidjson::Document doc;
    const std::string rest(text.substr(pos));
    rapidjson::StringStream in(rest.c_str());
    doc.ParseStream<rapidjson::kParseStopWhenDoneFlag>(in);
    const std::string where = std::string(text.substr(pos, 60));
    if (doc.HasParseError()) {
      EXPECT_EQ(n, 0u) << "scanned what is not JSON: " << where;
      const std::size_t line = text.find('\n', pos);
      if (line == std::string_view::npos) return tally;
      pos = line + 1;
      continue;
    }
    pos += in.Tell();
    if (n == 0) continue;
    ++tally.scanned;
    EXPECT_EQ(n, in.Tell()) << where;
    Tamrin::json::DefaultsRecord defaults;
    Tamrin::json::ReadDefaults(doc, defaults);
    EXPECT_TRUE(defaults == scanned.defaults) << where;
    const auto& molecules = doc["molecules"];
    EXPECT_EQ(scanned.count, molecules.Size()) << where;
    for (unsigned i = 0; i < molecules.Size() && i < scanned.count; ++i) {
      Tamrin::json::ReadMoleculeRecord(molecules[i], parsed);
      EXPECT_TRUE(parsed == scanned.molecules[i]) << "molecule " << i << " of " << where;
    }
  }
}

struct Case {
  const char* name;
  std::string text;
  bool scanned;
};

class JSONScanner : public testing::TestWithParam<Case> {};

TEST_P(JSONScanner, AgreesWithTheDocument) {
  const Tally tally = Compare(GetParam().text);
  EXPECT_EQ(tally.documents, 1u);
  EXPECT_EQ(tally.scanned, GetParam().scanned ? 1u : 0u);
}

const std::string kDefaults =
    R"({"commonchem":{"version":10},"defaults":{"atom":{"z":6,"impHs":0,"chg":0,"nRad":0,"isotope":0,)"
    R"("stereo":"unspecified"},"bond":{"bo":1,"stereo":"unspecified"}},"molecules":[)";
std::string Doc(const std::string& molecules) { return kDefaults + molecules + "]}"; }

INSTANTIATE_TEST_SUITE_P(
    Documents, JSONScanner,
    testing::Values(
        Case{"Plain", Doc(R"({"name":"x","atoms":[{"z":8,"impHs":1},{"chg":-1,"isotope":13},{}],)"
                          R"("bonds":[{"atoms":[0,1],"bo":2},{"atoms":[1,2],"bo":1.5}]})"),
             true},
        Case{"WhiteSpaceAndOtherMembers",
             "{ \"rdkitjson\" : {\"version\": 11},\n \"defaults\": {\"atom\": {\"z\": 6, \"nrad\": 0},\n"
             " \"bond\": {\"bo\": 1, \"stereoAtoms\": []}},\n \"molecules\": [ {\"name\": \"ex\",\r\n"
             " \"atoms\": [ {\"z\": 7, \"stereo\": \"cw\"}, {\"z\": 6} ],\t\"bonds\": [],\n"
             " \"extensions\": [{\"name\": \"rep\", \"aromaticAtoms\": [0], \"flag\": true, \"x\": null,"
             " \"neg\": false, \"n\": -12}] } ] }\n",
             true},
        Case{"StereoWords", Doc(R"({"atoms":[{"stereo":"ccw"},{"stereo":"either"},{},{}],)"
                                R"("bonds":[{"atoms":[0,1]},{"atoms":[1,2],"bo":2,"stereo":"cis","stereoAtoms":[0,3]},)"
                                R"({"atoms":[2,3],"stereo":"trans"}]})"),
             true},
        Case{"NamesLikeKnownOnes",
             Doc(R"({"atomsX":[1],"atoms":[{"zz":1,"z":7,"impHsX":2,"Z":3},{"stereo ":"cw","chg":1}],)"
                 R"("bond":[],"bonds":[{"bo ":2,"atoms":[0,1],"stereoAtom":[0,1],"stereoAtomsX":1}]})"),
             true},
        Case{"GoesOnPastTheLineEnd", Doc("{\"atoms\":[{},\n{}],\"bonds\":[{\"atoms\":[0,1]}]}"), true},
        Case{"StereoNotAWord", Doc(R"({"atoms":[{},{}],"bonds":[{"atoms":[0,1],"stereo":5}]})"), false},
        Case{"PairsOutOfRange", Doc(R"({"atoms":[{},{}],"bonds":[{"atoms":[-1,1]},{"atoms":[0,4294967296]},)"
                                    R"({"atoms":[0,1,1]},{"atoms":[]},{"atoms":[0,4294967295]}]})"),
             true},
        Case{"NoMoleculesHere", Doc(R"({"atoms":[]},{"bonds":[]},{})"), true},
        Case{"EscapedName", Doc(R"({"name":"a\"b","atoms":[{}]})"), false},
        Case{"EscapeAnywhere", Doc(R"({"atoms":[{}],"extensions":[{"name":"\u0041"}]})"), false},
        Case{"OrderNearlyOneAndAHalf", Doc(R"({"atoms":[{},{}],"bonds":[{"atoms":[0,1],"bo":1.50}]})"), false},
        Case{"NegativeZero", Doc(R"({"atoms":[{"chg":-0}]})"), false},
        Case{"Exponent", Doc(R"({"atoms":[{"z":6e0}]})"), false},
        Case{"Fraction", Doc(R"({"atoms":[{"z":6.0}]})"), false},
        Case{"LongInteger", Doc(R"({"atoms":[{"z":1234567890123456789012}]})"), false},
        Case{"RepeatedName", Doc(R"({"atoms":[{"z":6,"z":7}]})"), false},
        Case{"RepeatedMolecules", R"({"molecules":[],"molecules":[{"atoms":[{}]}]})", false},
        Case{"Conformers", Doc(R"({"atoms":[{}],"conformers":[{"dim":3,"coords":[[0,0,0]]}]})"), false},
        Case{"Properties", Doc(R"({"atoms":[{}],"properties":{"a":1}})"), false},
        Case{"NoMoleculesArray", R"({"commonchem":{"version":10}})", false},
        Case{"HeaderOtherVersion", R"({"commonchem":{"version":100},"molecules":[{"atoms":[{}]}]})", true},
        Case{"HeaderMoreMembers", R"({"commonchem":{"version":10,"x":[1]},"molecules":[{"atoms":[{}]}]})", true},
        Case{"HeaderWithSpace", R"({"commonchem": {"version": 10},"molecules":[{"atoms":[{}]}]})", true},
        Case{"HeaderCutShort", R"({"commonchem":{"version":10)", false},
        Case{"MoleculeNotAnObject", Doc("[1]"), false},
        Case{"AtomsNotAnArray", Doc(R"({"atoms":{}})"), false},
        Case{"NotAnObject", "[1,2]", false},
        Case{"DeeplyNested", Doc(R"({"atoms":[{}],"x":)" + std::string(40, '[') + std::string(40, ']') + "}"),
             false},
        Case{"BadLiteral", Doc(R"({"atoms":[{}],"x":tru})"), false},
        Case{"TrailingComma", Doc(R"({"atoms":[{},]})"), false},
        Case{"LeadingZero", Doc(R"({"atoms":[{"z":06}]})"), false},
        Case{"CutShort", Doc(R"({"atoms":[{}]})").substr(0, 150), false}),
    [](const testing::TestParamInfo<Case>& param) { return param.param.name; });

// Documents one after another, as in a file: each keeps its own defaults.
TEST(JSONScanner, EachDocumentItsOwnDefaults) {
  const std::string mols = R"({"atoms":[{},{"impHs":1}]})";
  std::string other = Doc(mols);
  other.replace(other.find(R"("z":6)"), 5, R"("z":7)");
  const Tally tally = Compare(Doc(mols) + "\n" + Doc(mols) + "\n" + other + "\n" + Doc(mols) + "\n");
  EXPECT_EQ(tally.scanned, 4u);
}

// The writer's documents for real molecules (the bench's input is made the
// same way): every one must be scanned, with rapidjson's records.
TEST(JSONScannerCorpus, WritersDocumentsOfRealMolecules) {
  const std::filesystem::path data = DrugLikeSmiles();
  if (!std::filesystem::exists(data)) GTEST_SKIP() << "shared test data absent: " << data;
  Tamrin::qvmolistream in;
  ASSERT_TRUE(in.open(data.string()));
  std::string text;
  Tamrin::QvGraphMol mol;
  unsigned written = 0;
  for (unsigned i = 0; i < 3000 && Tamrin::QvReadMolecule(in, mol); ++i) written += Tamrin::QvJSONWriteFxn(text, mol);
  ASSERT_GT(written, 2900u);
  const Tally tally = Compare(text);
  EXPECT_EQ(tally.documents, written);
  EXPECT_EQ(tally.scanned, written);
}

}  // namespace
