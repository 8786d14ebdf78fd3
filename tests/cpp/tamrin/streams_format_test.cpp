// The format records as the streams see them: one per code, the extension
// and name rules, the generic flavor rules and the streams' refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

#include "streams_test_support.h"
#include "support/captured_messages.h"
#include "tamrin/streams/flavor.h"

namespace {

using Tamrin::QvFormatCode;
using namespace streamtest;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Every code from 1 has exactly one record, whose own defaults are valid and
// whose extensions, in any case and with ".gz", lead back to it.
TEST(FormatList, EveryCodeOnceWithConsistentRecords) {
  std::set<unsigned> codes;
  for (const Tamrin::QvFormatInfo* info : Tamrin::QvFormatList()) {
    const QvFormat f = info->code;
    SCOPED_TRACE(info->description);
    EXPECT_TRUE(codes.insert(QvFormatCode(f)).second);
    EXPECT_EQ(&Tamrin::QvGetFormatInfo(f), info);
    EXPECT_EQ(Tamrin::QvInputFlavorValid(f, info->default_iflavor), info->readable);
    EXPECT_EQ(Tamrin::QvOutputFlavorValid(f, info->default_oflavor), info->writable);
    // The dispatch would never call it.
    EXPECT_TRUE(info->conformer_records || !info->read_conformers);
    for (std::string_view rest = info->extensions; !rest.empty();) {
      const std::string ext(rest.substr(0, rest.find(' ')));
      rest.remove_prefix(std::min(rest.size(), ext.size() + 1));
      if (ext.ends_with('#')) continue;
      for (const std::string& name : {"dir.d/x." + ext, "x." + Upper(ext) + ".gz"})
        EXPECT_EQ(Tamrin::QvFormatFromExtension(Tamrin::QvExtensionOf(name.c_str())), f) << name;
    }
  }
  EXPECT_EQ(std::tuple(codes.size(), codes.count(0)), std::tuple(Tamrin::kQvNumFormats - 1, std::size_t{0}));
  EXPECT_STREQ(Tamrin::QvFormatDescription(QvFormat::UNDEFINED), "UNDEFINED");
  for (unsigned code : {28u, 1000u, 0xFFFFFFFFu}) {
    const auto format = static_cast<QvFormat>(code);
    CapturedMessages messages;
    EXPECT_STREQ(Tamrin::QvFormatDescription(format), "");
    EXPECT_FALSE(Tamrin::QvFormatReadable(format) || Tamrin::QvFormatWritable(format));
    EXPECT_EQ(messages.text(), "Warning: Stream format tag out of range " + std::to_string(static_cast<int>(code)) + "\n");
  }
}

// "toy#" takes "toy" followed by digits only; the key ends at the first dot.
TEST(FormatList, ExtensionSelectsTheFormat) {
  Tamrin::QvFormatInfo record = kToyRecord;
  record.extensions = "toy tx#";
  Replaced toy(record);
  const struct {
    const char* text;
    QvFormat format;
  } cases[] = {{"tx12", kToy},           {"TX007", kToy},
               {"tx", QvFormat::UNDEFINED}, {"tx1a", QvFormat::UNDEFINED},
               {"toyx", QvFormat::UNDEFINED}, {"xtoy", QvFormat::UNDEFINED},
               {"", QvFormat::UNDEFINED},  {nullptr, QvFormat::UNDEFINED},
               {"to.y", QvFormat::UNDEFINED}, {"gz", QvFormat::UNDEFINED},
               {"toy.sdf", kToy},          {"sd.f", QvFormat::SDF},
               {"isosmi", QvFormat::ISM}};
  for (const auto& c : cases) EXPECT_EQ(Tamrin::QvFormatFromExtension(c.text), c.format) << (c.text ? c.text : "null");
}

TEST(FormatList, NameRulesExtensionBareAndGzip) {
  const struct {
    const char* name;
    const char* extension;  // null: none
    bool bare, gzip;
  } cases[] = {{"a.sdf.gz", "sdf.gz", false, true},  {"a.gz", nullptr, false, true},
               {"mol.SDF.GZ", "SDF.GZ", false, true}, {"dir.d/file", nullptr, false, false},
               {"dir.d\\file", nullptr, false, false}, {"dir.d/file.mol2", "mol2", false, false},
               {".sdf", "sdf", true, false},          {".sdf.gz", "sdf.gz", true, true},
               {"-", nullptr, false, false},          {"a.b.c", "c", false, false},
               {"a.", "", false, false},              {".gz", nullptr, false, true},
               {"a.gzip", "gzip", false, false},      {"..sdf", "sdf", false, false},
               {"", nullptr, false, false},           {nullptr, nullptr, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "null");
    const char* ext = Tamrin::QvExtensionOf(c.name);
    if (c.extension) {
      ASSERT_NE(ext, nullptr);
      EXPECT_STREQ(ext, c.extension);
      EXPECT_TRUE(ext >= c.name && ext <= c.name + std::char_traits<char>::length(c.name)) << "not inside the name";
    } else {
      EXPECT_EQ(ext, nullptr) << ext;
    }
    EXPECT_EQ(Tamrin::QvIsBareExtension(c.name), c.bare);
    EXPECT_EQ(Tamrin::QvNameIsGzip(c.name), c.gzip);
  }
}

// ---- flavors ----

TEST(Flavors, AromaticityModelFromGenericBits) {
  using M = Tamrin::QvAromaticityModel;
  EXPECT_EQ(Tamrin::QvAromaticityModelOf(0x4000, 3), (M{3, 0, false}));
  const std::pair<unsigned, M> cases[] = {{0x4000, {2, 0, false}},         {0x8000, {5, 0, false}},
                                          {0x10000 | 0x4000, {4, 6, true}}, {0x20000, {3, 0, false}},
                                          {0x40000, {2, 0, false}},         {0x80000 | 0x3FFF, {1, 0, false}}};
  for (const auto& [bits, model] : cases)
    EXPECT_EQ(Tamrin::QvAromaticityModelOf(bits), model) << bits;
}

// ---- the streams ----

TEST(StreamFlavors, NewStreamsHoldTheDefaultsOfTheirDirection) {
  Tamrin::qvmolistream in;
  Tamrin::qvmolostream out;
  EXPECT_EQ(std::tuple(in.GetFormat(), out.GetFormat()), std::tuple(QvFormat::SMI, QvFormat::SMI));
  for (unsigned code = 0; code < Tamrin::kQvNumFormats; ++code) {
    const auto f = static_cast<QvFormat>(code);
    EXPECT_EQ(in.GetFlavor(f), Tamrin::QvFormatReadable(f) ? Tamrin::QvDefaultInputFlavor(f) : 0u) << code;
    EXPECT_EQ(out.GetFlavor(f), Tamrin::QvFormatWritable(f) ? Tamrin::QvDefaultOutputFlavor(f) : 0u) << code;
  }
  CapturedMessages messages;
  EXPECT_EQ(in.GetFlavor(QvFormat::MAXFORMAT), 0u);
  EXPECT_EQ(messages.text(), "Warning: format (28) is larger than QvFormat::MAXFORMAT\n");
}

TEST(StreamFlavors, RefusalsKeepTheOldFlavor) {
  Tamrin::qvmolistream in;
  Tamrin::qvmolostream out;
  CapturedMessages messages;
  for (const bool accepted : {in.SetFlavor(QvFormat::CIF, 0x4000), in.SetFlavor(QvFormat::MOPAC, 0x4000),
                              out.SetFlavor(QvFormat::MDL, 0x4000), out.SetFlavor(QvFormat::XYZ, 0x400C),
                              out.SetFlavor(QvFormat::RDF, 0x4017)})
    EXPECT_FALSE(accepted);
  EXPECT_EQ(std::tuple(in.GetFlavor(QvFormat::CIF), out.GetFlavor(QvFormat::MDL), out.GetFlavor(QvFormat::XYZ)),
            std::tuple(0x41FFu, 0x4117u, 0x4003u));
  EXPECT_EQ(messages.text(),
            "Warning: Unknown flavor (16384) for format (24) in set iflavor.\n"
            "Warning: Unknown file format (13) in set iflavor.\n"
            "Warning: Unknown flavor (4000) for format(MDL Mol) in set oflavor .\n"
            "Warning: QvOFlavor::XYZ::SinglePrecision and QvOFlavor::XYZ::DoublePrecision are mutually exclusive "
            "options\n"
            "Warning: Unknown file format (MDL RDF) in set oflavor.\n");
  EXPECT_TRUE(in.SetFlavor(QvFormat::SDF, 0x8004) && in.GetFlavor(QvFormat::SDF) == 0x8004u);
}

}  // namespace
