// The format records as the streams see them: one per code, the extension
// and name rules, flavor validity and the streams' refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <string_view>

#include "support/captured_messages.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvFormatCode;

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
  EXPECT_EQ(codes.size(), Tamrin::kQvNumFormats - 1);
  EXPECT_EQ(codes.count(0), 0u);
  EXPECT_STREQ(Tamrin::QvFormatDescription(QvFormat::UNDEFINED), "UNDEFINED");
}

TEST(FormatList, OutOfRangeCodesWarnAndHaveNoName) {
  for (unsigned code : {28u, 1000u, 0xFFFFFFFFu}) {
    const auto format = static_cast<QvFormat>(code);
    CapturedMessages messages;
    EXPECT_STREQ(Tamrin::QvFormatDescription(format), "");
    EXPECT_FALSE(Tamrin::QvFormatReadable(format) || Tamrin::QvFormatWritable(format));
    EXPECT_EQ(messages.text(), "Warning: Stream format tag out of range " + std::to_string(static_cast<int>(code)) + "\n");
  }
}

struct ExtensionCase {
  const char* text;
  QvFormat format;
};

class Extensions : public testing::TestWithParam<ExtensionCase> {};

TEST_P(Extensions, SelectTheFormat) {
  EXPECT_EQ(Tamrin::QvFormatFromExtension(GetParam().text), GetParam().format) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Extensions,
    testing::Values(ExtensionCase{"pdbx", QvFormat::UNDEFINED}, ExtensionCase{"pdb12", QvFormat::PDB},
                    ExtensionCase{"PDB007", QvFormat::PDB}, ExtensionCase{"pdb1a", QvFormat::UNDEFINED},
                    ExtensionCase{"pdb", QvFormat::PDB}, ExtensionCase{"xpdb", QvFormat::UNDEFINED},
                    ExtensionCase{"", QvFormat::UNDEFINED}, ExtensionCase{nullptr, QvFormat::UNDEFINED},
                    ExtensionCase{"mmcif", QvFormat::UNDEFINED}, ExtensionCase{"sdfx", QvFormat::UNDEFINED},
                    ExtensionCase{"sd.f", QvFormat::SDF}, ExtensionCase{"gz", QvFormat::UNDEFINED},
                    ExtensionCase{"smi.sdf", QvFormat::SMI}, ExtensionCase{"mol2h", QvFormat::MOL2H},
                    ExtensionCase{"isosmi", QvFormat::ISM}));

struct NameCase {
  const char* name;
  const char* extension;  // null: none
  bool bare;
  bool gzip;
};

class NameRules : public testing::TestWithParam<NameCase> {};

TEST_P(NameRules, ExtensionBareAndGzip) {
  const NameCase& c = GetParam();
  const char* ext = Tamrin::QvExtensionOf(c.name);
  if (c.extension) {
    ASSERT_NE(ext, nullptr) << c.name;
    EXPECT_STREQ(ext, c.extension) << c.name;
    EXPECT_TRUE(ext >= c.name && ext <= c.name + std::char_traits<char>::length(c.name)) << "not inside the name";
  } else {
    EXPECT_EQ(ext, nullptr) << c.name << " gave " << ext;
  }
  EXPECT_EQ(Tamrin::QvIsBareExtension(c.name), c.bare) << c.name;
  EXPECT_EQ(Tamrin::QvNameIsGzip(c.name), c.gzip) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NameRules,
    testing::Values(NameCase{"a.sdf.gz", "sdf.gz", false, true}, NameCase{"a.gz", nullptr, false, true},
                    NameCase{"mol.SDF.GZ", "SDF.GZ", false, true}, NameCase{"dir.d/file", nullptr, false, false},
                    NameCase{"dir.d\\file", nullptr, false, false}, NameCase{"dir.d/file.mol2", "mol2", false, false},
                    NameCase{".sdf", "sdf", true, false}, NameCase{".sdf.gz", "sdf.gz", true, true},
                    NameCase{"-", nullptr, false, false}, NameCase{"a.b.c", "c", false, false},
                    NameCase{"a.", "", false, false}, NameCase{".gz", nullptr, false, true},
                    NameCase{"a.gzip", "gzip", false, false}, NameCase{"..sdf", "sdf", false, false},
                    NameCase{"", nullptr, false, false}, NameCase{nullptr, nullptr, false, false}));

// ---- flavors ----

struct FlavorCase {
  bool output;
  QvFormat format;
  unsigned flavor;
  bool valid;
};

void PrintTo(const FlavorCase& c, std::ostream* os) {
  *os << (c.output ? "out " : "in ") << QvFormatCode(c.format) << " 0x" << std::hex << c.flavor;
}

class FlavorValidity : public testing::TestWithParam<FlavorCase> {};

TEST_P(FlavorValidity, ByTheRecordsRule) {
  const FlavorCase& c = GetParam();
  EXPECT_EQ(c.output ? Tamrin::QvOutputFlavorValid(c.format, c.flavor) : Tamrin::QvInputFlavorValid(c.format, c.flavor),
            c.valid);
}

constexpr bool In = false;
constexpr bool Out = true;

INSTANTIATE_TEST_SUITE_P(
    Edges, FlavorValidity,
    testing::Values(
        FlavorCase{In, QvFormat::SMI, 0x4003, true}, FlavorCase{In, QvFormat::SMI, 0x4004, false},
        FlavorCase{In, QvFormat::SDF, 0x400F, true}, FlavorCase{In, QvFormat::RDF, 0x10, false},
        FlavorCase{In, QvFormat::PDB, 0x3FFF, true}, FlavorCase{In, QvFormat::XYZ, 0x20, false},
        FlavorCase{In, QvFormat::MMOD, 0x80, true}, FlavorCase{In, QvFormat::MMOD, 0x40, false},
        FlavorCase{In, QvFormat::CDX, 0x0, false}, FlavorCase{In, QvFormat::CIF, 0x4000, false},
        FlavorCase{In, QvFormat::CIF, 0x41FF, true}, FlavorCase{In, QvFormat::MMCIF, 0x80, false},
        // One aromaticity model at most, with or without the ring bit, for every format.
        FlavorCase{In, QvFormat::SMI, 0x80000 | 0x4000, true}, FlavorCase{In, QvFormat::SMI, 0x18000, false},
        FlavorCase{In, QvFormat::JSON, 0x30000, false}, FlavorCase{Out, QvFormat::JSON, 0x48000 | 0x10000, false},
        // Unreadable formats and codes have no valid input flavor.
        FlavorCase{In, QvFormat::MF, 0x4000, false}, FlavorCase{In, static_cast<QvFormat>(40), 0x4000, false},
        FlavorCase{Out, QvFormat::ISM, 0x2000, false}, FlavorCase{Out, QvFormat::CXSMILES, 0x507D, true},
        FlavorCase{Out, QvFormat::MDL, 0x4000, false}, FlavorCase{Out, QvFormat::SDF, 0x4040, true},
        // The ring bit is removed before the check, and only it.
        FlavorCase{Out, QvFormat::PDB, 0x4000 | 0x3FFF, true}, FlavorCase{Out, QvFormat::PDB, 0x8000, false},
        FlavorCase{Out, QvFormat::QVB, 0x4000, true}, FlavorCase{Out, QvFormat::QVZ, 0x8000, false},
        FlavorCase{Out, QvFormat::SLN, 0x8000, true}, FlavorCase{Out, QvFormat::MOL2H, 0x4040, false},
        FlavorCase{Out, QvFormat::XYZ, 0x400B, true}, FlavorCase{Out, QvFormat::XYZ, 0x400C, false},
        FlavorCase{Out, QvFormat::CSV, 0x4000, false}, FlavorCase{Out, QvFormat::MMCIF, 0x4001, true},
        FlavorCase{Out, QvFormat::RDF, 0x4017, false}));

TEST(Flavors, AromaticityModelFromGenericBits) {
  using Tamrin::QvAromaticityModel;
  EXPECT_EQ(Tamrin::QvAromaticityModelOf(0x4000), (QvAromaticityModel{2, 0, false}));
  EXPECT_EQ(Tamrin::QvAromaticityModelOf(0x4000, 3), (QvAromaticityModel{3, 0, false}));
  EXPECT_EQ(Tamrin::QvAromaticityModelOf(0x8000), (QvAromaticityModel{5, 0, false}));
  EXPECT_EQ(Tamrin::QvAromaticityModelOf(0x10000 | 0x4000), (QvAromaticityModel{4, 6, true}));
  EXPECT_EQ(Tamrin::QvAromaticityModelOf(0x20000), (QvAromaticityModel{3, 0, false}));
  EXPECT_EQ(Tamrin::QvAromaticityModelOf(0x40000), (QvAromaticityModel{2, 0, false}));
  EXPECT_EQ(Tamrin::QvAromaticityModelOf(0x80000 | 0x3FFF), (QvAromaticityModel{1, 0, false}));
}

// ---- the streams ----

TEST(StreamFlavors, NewStreamsHoldTheDefaultsOfTheirDirection) {
  Tamrin::qvmolistream in;
  Tamrin::qvmolostream out;
  EXPECT_EQ(in.GetFormat(), QvFormat::SMI);
  EXPECT_EQ(out.GetFormat(), QvFormat::SMI);
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
  EXPECT_FALSE(in.SetFlavor(QvFormat::CIF, 0x4000));
  EXPECT_FALSE(in.SetFlavor(QvFormat::MOPAC, 0x4000));
  EXPECT_FALSE(out.SetFlavor(QvFormat::MDL, 0x4000));
  EXPECT_FALSE(out.SetFlavor(QvFormat::XYZ, 0x400C));
  EXPECT_FALSE(out.SetFlavor(QvFormat::RDF, 0x4017));
  EXPECT_EQ(in.GetFlavor(QvFormat::CIF), 0x41FFu);
  EXPECT_EQ(out.GetFlavor(QvFormat::MDL), 0x4117u);
  EXPECT_EQ(out.GetFlavor(QvFormat::XYZ), 0x4003u);
  EXPECT_EQ(messages.text(),
            "Warning: Unknown flavor (16384) for format (24) in set iflavor.\n"
            "Warning: Unknown file format (13) in set iflavor.\n"
            "Warning: Unknown flavor (4000) for format(MDL Mol) in set oflavor .\n"
            "Warning: QvOFlavor::XYZ::SinglePrecision and QvOFlavor::XYZ::DoublePrecision are mutually exclusive "
            "options\n"
            "Warning: Unknown file format (MDL RDF) in set oflavor.\n");
  EXPECT_TRUE(in.SetFlavor(QvFormat::SDF, 0x8004));
  EXPECT_EQ(in.GetFlavor(QvFormat::SDF), 0x8004u);
}

TEST(StreamFormats, RefusedFormatsKeepTheOldOne) {
  Tamrin::qvmolistream in;
  Tamrin::qvmolostream out;
  ASSERT_TRUE(in.SetFormat(QvFormat::SDF));
  CapturedMessages messages;
  EXPECT_FALSE(in.SetFormat(QvFormat::MF));
  EXPECT_FALSE(in.SetFormat(static_cast<QvFormat>(28)));
  EXPECT_FALSE(out.SetFormat(QvFormat::SKC));
  EXPECT_EQ(in.GetFormat(), QvFormat::SDF);
  EXPECT_EQ(out.GetFormat(), QvFormat::SMI);
  EXPECT_EQ(messages.text(),
            "Warning: Unable to set unknown read format (Molecular Formula) in input stream, using existing format "
            "(MDL SDF)\n"
            "Warning: Stream format tag out of range 28\n"
            "Warning: Unable to set unknown read format () in input stream, using existing format (MDL SDF)\n"
            "Warning: Unable to set unknown write format (MDL ISIS Sketch File) in output stream, using existing "
            "format (Canonical stereo SMILES)\n");
}

}  // namespace
