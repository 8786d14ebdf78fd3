// The format table, extension rules and flavor tables of the molecule streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/captured_messages.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/format.h"
#include "tamrin/streams/molstream.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvFormatCode;

struct FormatRow {
  unsigned code;
  QvFormat format;
  const char* description;
  bool readable;
  bool writable;
  std::vector<std::string> extensions;
};

}  // namespace

namespace Tamrin {
// Readable names in failure messages.
static void PrintTo(QvFormat format, std::ostream* os) { *os << "QvFormat " << QvFormatCode(format); }
}  // namespace Tamrin

namespace {

void PrintTo(const FormatRow& row, std::ostream* os) { *os << row.description << " (" << row.code << ")"; }

const FormatRow kRows[] = {
    {0, QvFormat::UNDEFINED, "UNDEFINED", false, false, {}},
    {1, QvFormat::SMI, "Canonical stereo SMILES", true, true, {"smi"}},
    {2, QvFormat::MDL, "MDL Mol", true, true, {"mdl", "mol", "rxn"}},
    {3, QvFormat::PDB, "PDB", true, true, {"pdb", "ent", "pdb1", "pdb23"}},
    {4, QvFormat::MOL2, "Tripos MOL2", true, true, {"mol2", "syb"}},
    {5, QvFormat::USM, "Non-Canonical non-stereo SMILES", true, true, {"usm"}},
    {6, QvFormat::ISM, "Canonical stereo SMILES", true, true, {"ism", "isosmi"}},
    {7, QvFormat::MOL2H, "MOL2 with H", true, true, {"mol2h"}},
    {8, QvFormat::SDF, "MDL SDF", true, true, {"sdf", "sd"}},
    {9, QvFormat::CAN, "Canonical non-stereo SMILES", true, true, {"can"}},
    {10, QvFormat::MF, "Molecular Formula", false, true, {"mf"}},
    {11, QvFormat::XYZ, "XYZ", true, true, {"xyz"}},
    {12, QvFormat::FASTA, "FASTA", true, true, {"fasta", "seq"}},
    {13, QvFormat::MOPAC, "MOPAC", false, true, {"mopac", "pac"}},
    {14, QvFormat::QVB, "QvBinary v2", true, true, {"qvb"}},
    {15, QvFormat::MMOD, "Macromodel", true, true, {"mmod", "mmd", "dat"}},
    {16, QvFormat::SLN, "Tripos SLN", false, true, {"sln"}},
    {17, QvFormat::RDF, "MDL RDF", true, false, {"rdf", "rd"}},
    {18, QvFormat::CDX, "ChemDraw CDX", true, true, {"cdx"}},
    {19, QvFormat::SKC, "MDL ISIS Sketch File", true, false, {"skc"}},
    {20, QvFormat::INCHI, "IUPAC InChI", true, true, {"inchi"}},
    {21, QvFormat::INCHIKEY, "IUPAC InChI Key", false, true, {"inchikey"}},
    {22, QvFormat::CSV, "Comma Separated Values", true, true, {"csv"}},
    {23, QvFormat::JSON, "JavaScript Object Notation", true, true, {"json"}},
    {24, QvFormat::CIF, "Crystallographic Information File (CIF)", true, true, {"cif"}},
    {25, QvFormat::QVZ, "Zstd Compressed QvBinary", true, true, {"qvz"}},
    {26, QvFormat::MMCIF, "Macromolecular CIF", true, true, {}},
    {27, QvFormat::CXSMILES, "Chemaxon Extended SMILES", true, true, {"cxsmiles"}},
};

class FormatTable : public testing::TestWithParam<FormatRow> {};

TEST_P(FormatTable, CodeDescriptionAndDirections) {
  const FormatRow& row = GetParam();
  CapturedMessages messages;
  EXPECT_EQ(QvFormatCode(row.format), row.code);
  EXPECT_STREQ(Tamrin::QvFormatDescription(row.format), row.description);
  EXPECT_EQ(Tamrin::QvFormatReadable(row.format), row.readable);
  EXPECT_EQ(Tamrin::QvFormatWritable(row.format), row.writable);
  EXPECT_TRUE(messages.lines().empty());
}

// Every spelling of every extension selects the format, lower or upper case,
// with a ".gz" or any other suffix after a '.' ignored.
TEST_P(FormatTable, ExtensionsSelectTheFormat) {
  const FormatRow& row = GetParam();
  for (const std::string& ext : row.extensions) {
    std::string upper = ext;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& spelling : {ext, upper, ext + ".gz", upper + ".GZ"}) {
      EXPECT_EQ(Tamrin::QvFormatFromExtension(spelling.c_str()), row.format) << spelling;
      const std::string file = "dir.d/mol." + spelling;
      EXPECT_EQ(Tamrin::QvFormatFromExtension(Tamrin::QvExtensionOf(file.c_str())), row.format) << file;
    }
    // Only the text before the first '.' of an extension counts.
    const std::string longer = ext + ".anything";
    EXPECT_EQ(Tamrin::QvFormatFromExtension(longer.c_str()), row.format) << longer;
  }
}

INSTANTIATE_TEST_SUITE_P(AllCodes, FormatTable, testing::ValuesIn(kRows));

TEST(FormatTable, CodesOneAndSixShareTheirDescription) {
  EXPECT_STREQ(Tamrin::QvFormatDescription(QvFormat::SMI), Tamrin::QvFormatDescription(QvFormat::ISM));
}

TEST(FormatTable, OutOfRangeCodesWarnAndHaveNoName) {
  for (unsigned code : {28u, 29u, 1000u, 0xFFFFFFFFu}) {
    CapturedMessages messages;
    const auto format = static_cast<QvFormat>(code);
    EXPECT_STREQ(Tamrin::QvFormatDescription(format), "");
    EXPECT_FALSE(Tamrin::QvFormatReadable(format));
    EXPECT_FALSE(Tamrin::QvFormatWritable(format));
    ASSERT_EQ(messages.lines().size(), 1u);
    EXPECT_EQ(messages.text(), "Warning: Stream format tag out of range " + std::to_string(static_cast<int>(code)) + "\n");
  }
}

struct ExtensionCase {
  const char* text;
  QvFormat format;
};

class UnknownOrOddExtensions : public testing::TestWithParam<ExtensionCase> {};

TEST_P(UnknownOrOddExtensions, Map) {
  EXPECT_EQ(Tamrin::QvFormatFromExtension(GetParam().text), GetParam().format) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnknownOrOddExtensions,
    testing::Values(ExtensionCase{"pdbx", QvFormat::UNDEFINED}, ExtensionCase{"pdb12", QvFormat::PDB},
                    ExtensionCase{"PDB007", QvFormat::PDB}, ExtensionCase{"pdb1a", QvFormat::UNDEFINED},
                    ExtensionCase{"pdb12345678901234567890", QvFormat::PDB}, ExtensionCase{"xpdb", QvFormat::UNDEFINED},
                    ExtensionCase{"", QvFormat::UNDEFINED}, ExtensionCase{"txt", QvFormat::UNDEFINED},
                    ExtensionCase{"mmcif", QvFormat::UNDEFINED}, ExtensionCase{"sdfx", QvFormat::UNDEFINED},
                    ExtensionCase{"sd.f", QvFormat::SDF}, ExtensionCase{"gz", QvFormat::UNDEFINED},
                    ExtensionCase{"smi.sdf", QvFormat::SMI}, ExtensionCase{"mol2h", QvFormat::MOL2H}));

TEST(FormatTable, NullExtensionIsUndefined) { EXPECT_EQ(Tamrin::QvFormatFromExtension(nullptr), QvFormat::UNDEFINED); }

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
    // A pointer into the name, not a copy.
    EXPECT_GE(ext, c.name);
    EXPECT_LT(ext, c.name + std::char_traits<char>::length(c.name) + 1);
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
                    NameCase{"x.pdb12", "pdb12", false, false}, NameCase{".sdf", "sdf", true, false},
                    NameCase{".sdf.gz", "sdf.gz", true, true}, NameCase{"-", nullptr, false, false},
                    NameCase{"x.sdf", "sdf", false, false}, NameCase{"a.b.c", "c", false, false},
                    NameCase{"a.", "", false, false}, NameCase{".gz", nullptr, false, true},
                    NameCase{"a.gzip", "gzip", false, false}, NameCase{"a.tar.Gz", "tar.Gz", false, true},
                    NameCase{"..sdf", "sdf", false, false}, NameCase{"noext", nullptr, false, false},
                    NameCase{"", nullptr, false, false}, NameCase{"gz", nullptr, false, false}));

TEST(NameRules, NullName) {
  EXPECT_EQ(Tamrin::QvExtensionOf(nullptr), nullptr);
  EXPECT_FALSE(Tamrin::QvIsBareExtension(nullptr));
  EXPECT_FALSE(Tamrin::QvNameIsGzip(nullptr));
}

// ---- flavors ----

struct DefaultFlavors {
  QvFormat format;
  unsigned input;
  unsigned output;
};

class FlavorDefaults : public testing::TestWithParam<DefaultFlavors> {};

TEST_P(FlavorDefaults, MatchTheTableAndAreValid) {
  const DefaultFlavors& d = GetParam();
  EXPECT_EQ(Tamrin::QvDefaultInputFlavor(d.format), d.input);
  EXPECT_EQ(Tamrin::QvDefaultOutputFlavor(d.format), d.output);
  EXPECT_EQ(Tamrin::QvInputFlavorValid(d.format, d.input), Tamrin::QvFormatReadable(d.format));
  EXPECT_EQ(Tamrin::QvOutputFlavorValid(d.format, d.output), Tamrin::QvFormatWritable(d.format));
}

INSTANTIATE_TEST_SUITE_P(
    AllCodes, FlavorDefaults,
    testing::Values(DefaultFlavors{QvFormat::UNDEFINED, 0x4000, 0x4000}, DefaultFlavors{QvFormat::SMI, 0x4000, 0x407D},
                    DefaultFlavors{QvFormat::MDL, 0x4000, 0x4117}, DefaultFlavors{QvFormat::PDB, 0x7F16, 0x6744},
                    DefaultFlavors{QvFormat::MOL2, 0x4000, 0x400F}, DefaultFlavors{QvFormat::USM, 0x4000, 0x4024},
                    DefaultFlavors{QvFormat::ISM, 0x4000, 0x407D}, DefaultFlavors{QvFormat::MOL2H, 0x4001, 0x401F},
                    DefaultFlavors{QvFormat::SDF, 0x4000, 0x4117}, DefaultFlavors{QvFormat::CAN, 0x4000, 0x4064},
                    DefaultFlavors{QvFormat::MF, 0x4000, 0x4001}, DefaultFlavors{QvFormat::XYZ, 0x401F, 0x4003},
                    DefaultFlavors{QvFormat::FASTA, 0x4000, 0x4000}, DefaultFlavors{QvFormat::MOPAC, 0x4000, 0x4002},
                    DefaultFlavors{QvFormat::QVB, 0x4000, 0x4000}, DefaultFlavors{QvFormat::MMOD, 0x4000, 0x4001},
                    DefaultFlavors{QvFormat::SLN, 0x4000, 0x4000}, DefaultFlavors{QvFormat::RDF, 0x4000, 0x4017},
                    DefaultFlavors{QvFormat::CDX, 0x4001, 0x4001}, DefaultFlavors{QvFormat::SKC, 0x4000, 0x4000},
                    DefaultFlavors{QvFormat::INCHI, 0x4000, 0x4082}, DefaultFlavors{QvFormat::INCHIKEY, 0x4000, 0x4082},
                    DefaultFlavors{QvFormat::CSV, 0x4001, 0x4001}, DefaultFlavors{QvFormat::JSON, 0x4000, 0x4397},
                    DefaultFlavors{QvFormat::CIF, 0x41FF, 0x4000}, DefaultFlavors{QvFormat::QVZ, 0x4000, 0x4000},
                    DefaultFlavors{QvFormat::MMCIF, 0x403F, 0x4000},
                    DefaultFlavors{QvFormat::CXSMILES, 0x4000, 0x507D}));

struct FlavorCase {
  QvFormat format;
  unsigned flavor;
  bool valid;
};

void PrintTo(const FlavorCase& c, std::ostream* os) {
  *os << "format " << QvFormatCode(c.format) << " flavor 0x" << std::hex << c.flavor;
}

class InputFlavors : public testing::TestWithParam<FlavorCase> {};

TEST_P(InputFlavors, Validity) {
  EXPECT_EQ(Tamrin::QvInputFlavorValid(GetParam().format, GetParam().flavor), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputFlavors,
    testing::Values(
        // Format parts at and beyond their limits.
        FlavorCase{QvFormat::SMI, 0x4003, true}, FlavorCase{QvFormat::SMI, 0x4004, false},
        FlavorCase{QvFormat::CXSMILES, 0x3, true}, FlavorCase{QvFormat::CXSMILES, 0x4, false},
        FlavorCase{QvFormat::SDF, 0x400F, true}, FlavorCase{QvFormat::SDF, 0x4010, false},
        FlavorCase{QvFormat::RDF, 0xF, true}, FlavorCase{QvFormat::MDL, 0x10, false},
        FlavorCase{QvFormat::PDB, 0x3FFF, true}, FlavorCase{QvFormat::PDB, 0x0, true},
        FlavorCase{QvFormat::MOL2, 0x3, true}, FlavorCase{QvFormat::MOL2, 0x4, false},
        FlavorCase{QvFormat::MOL2H, 0x1, true}, FlavorCase{QvFormat::MOL2H, 0x2, false},
        FlavorCase{QvFormat::USM, 0x4000, true}, FlavorCase{QvFormat::USM, 0x4001, false},
        FlavorCase{QvFormat::QVZ, 0x1, false}, FlavorCase{QvFormat::INCHI, 0x0, true},
        FlavorCase{QvFormat::XYZ, 0x1F, true}, FlavorCase{QvFormat::XYZ, 0x20, false},
        FlavorCase{QvFormat::FASTA, 0x3, true}, FlavorCase{QvFormat::FASTA, 0x4, false},
        FlavorCase{QvFormat::MMOD, 0x80, true}, FlavorCase{QvFormat::MMOD, 0x40, false},
        FlavorCase{QvFormat::MMOD, 0x0, true}, FlavorCase{QvFormat::CDX, 0x1, true},
        FlavorCase{QvFormat::CDX, 0x0, false}, FlavorCase{QvFormat::CSV, 0x1, true},
        FlavorCase{QvFormat::CSV, 0x2, false}, FlavorCase{QvFormat::JSON, 0x3FFF, true},
        FlavorCase{QvFormat::CIF, 0x4000, false}, FlavorCase{QvFormat::CIF, 0x41FF, true},
        FlavorCase{QvFormat::CIF, 0x1FE, false}, FlavorCase{QvFormat::MMCIF, 0x7F, true},
        FlavorCase{QvFormat::MMCIF, 0x80, false},
        // Generic bits: one aromaticity model at most, with or without 0x4000.
        FlavorCase{QvFormat::SMI, 0x8000, true}, FlavorCase{QvFormat::SMI, 0xC000, true},
        FlavorCase{QvFormat::SMI, 0x80000 | 0x4000, true}, FlavorCase{QvFormat::SMI, 0x18000, false},
        FlavorCase{QvFormat::JSON, 0x30000, false}, FlavorCase{QvFormat::PDB, 0xF8000, false},
        // Formats that cannot be read have no valid input flavor.
        FlavorCase{QvFormat::MF, 0x4000, false}, FlavorCase{QvFormat::UNDEFINED, 0x4000, false},
        FlavorCase{static_cast<QvFormat>(40), 0x4000, false}));

class OutputFlavors : public testing::TestWithParam<FlavorCase> {};

TEST_P(OutputFlavors, Validity) {
  EXPECT_EQ(Tamrin::QvOutputFlavorValid(GetParam().format, GetParam().flavor), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutputFlavors,
    testing::Values(
        FlavorCase{QvFormat::SMI, 0x1FFF, true}, FlavorCase{QvFormat::ISM, 0x2000, false},
        FlavorCase{QvFormat::CAN, 0x6064, false}, FlavorCase{QvFormat::CXSMILES, 0x507D, true},
        FlavorCase{QvFormat::MDL, 0x4000, false}, FlavorCase{QvFormat::MDL, 0x4010, true},
        FlavorCase{QvFormat::SDF, 0x4020, true}, FlavorCase{QvFormat::SDF, 0x4040, true},
        FlavorCase{QvFormat::SDF, 0x400F, false}, FlavorCase{QvFormat::PDB, 0x7FFF, true},
        FlavorCase{QvFormat::PDB, 0x4000 | 0x3FFF, true},  // 0x4000 is removed before the check
        FlavorCase{QvFormat::PDB, 0x8000, false},
        FlavorCase{QvFormat::PDB, 0x10000, false}, FlavorCase{QvFormat::MOL2, 0x40FF, true},
        FlavorCase{QvFormat::MOL2, 0x4100, false}, FlavorCase{QvFormat::MOL2, 0x2000, false},
        FlavorCase{QvFormat::MOL2H, 0x403F, true}, FlavorCase{QvFormat::MOL2H, 0x4040, false},
        FlavorCase{QvFormat::MF, 0x4001, true}, FlavorCase{QvFormat::MF, 0x2, false},
        FlavorCase{QvFormat::CDX, 0x0, true}, FlavorCase{QvFormat::XYZ, 0x400B, true},
        FlavorCase{QvFormat::XYZ, 0x400C, false}, FlavorCase{QvFormat::XYZ, 0x10, false},
        FlavorCase{QvFormat::XYZ, 0x8003, false}, FlavorCase{QvFormat::FASTA, 0x4000, true},
        FlavorCase{QvFormat::QVB, 0x4001, false}, FlavorCase{QvFormat::QVZ, 0x8000, false},
        FlavorCase{QvFormat::MOPAC, 0x3, true}, FlavorCase{QvFormat::MOPAC, 0x4, false},
        FlavorCase{QvFormat::MMOD, 0x1, true}, FlavorCase{QvFormat::MMOD, 0x2, false},
        FlavorCase{QvFormat::SLN, 0x8000, true}, FlavorCase{QvFormat::SLN, 0x1, false},
        FlavorCase{QvFormat::INCHI, 0x40FF, true}, FlavorCase{QvFormat::INCHIKEY, 0x0100, false},
        FlavorCase{QvFormat::CSV, 0x4001, true}, FlavorCase{QvFormat::CSV, 0x4000, false},
        FlavorCase{QvFormat::CSV, 0x3, false}, FlavorCase{QvFormat::JSON, 0x3FFF, true},
        FlavorCase{QvFormat::CIF, 0x4000, true}, FlavorCase{QvFormat::CIF, 0x4001, false},
        FlavorCase{QvFormat::MMCIF, 0x4001, true}, FlavorCase{QvFormat::MMCIF, 0x4002, false},
        // Two aromaticity models are invalid everywhere, even where anything goes.
        FlavorCase{QvFormat::JSON, 0x48000 | 0x10000, false}, FlavorCase{QvFormat::PDB, 0x18000, false},
        // Not writable.
        FlavorCase{QvFormat::RDF, 0x4017, false}, FlavorCase{QvFormat::SKC, 0x4000, false}));

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

// ---- flavors and formats on the streams ----

TEST(StreamFlavors, NewStreamsHoldTheDefaults) {
  Tamrin::qvmolistream in;
  Tamrin::qvmolostream out;
  EXPECT_EQ(in.GetFormat(), QvFormat::SMI);
  EXPECT_EQ(out.GetFormat(), QvFormat::SMI);
  for (unsigned code = 0; code < Tamrin::kQvNumFormats; ++code) {
    const auto f = static_cast<QvFormat>(code);
    EXPECT_EQ(in.GetFlavor(f), Tamrin::QvFormatReadable(f) ? Tamrin::QvDefaultInputFlavor(f) : 0u) << code;
    EXPECT_EQ(out.GetFlavor(f), Tamrin::QvFormatWritable(f) ? Tamrin::QvDefaultOutputFlavor(f) : 0u) << code;
  }
}

TEST(StreamFlavors, GetFlavorBeyondTheTableWarns) {
  Tamrin::qvmolistream in;
  CapturedMessages messages;
  EXPECT_EQ(in.GetFlavor(QvFormat::MAXFORMAT), 0u);
  EXPECT_EQ(in.GetFlavor(static_cast<QvFormat>(99)), 0u);
  EXPECT_EQ(messages.text(),
            "Warning: format (28) is larger than QvFormat::MAXFORMAT\n"
            "Warning: format (99) is larger than QvFormat::MAXFORMAT\n");
}

TEST(StreamFlavors, InputRefusalsKeepTheOldFlavor) {
  Tamrin::qvmolistream in;
  CapturedMessages messages;
  EXPECT_FALSE(in.SetFlavor(QvFormat::CIF, 0x4000));
  EXPECT_EQ(in.GetFlavor(QvFormat::CIF), 0x41FFu);
  EXPECT_TRUE(in.SetFlavor(QvFormat::CIF, 0x41FF));
  EXPECT_FALSE(in.SetFlavor(QvFormat::MOPAC, 0x4000));
  EXPECT_FALSE(in.SetFlavor(static_cast<QvFormat>(30), 0x4000));
  EXPECT_TRUE(in.SetFlavor(QvFormat::SDF, 0x8004));
  EXPECT_EQ(in.GetFlavor(QvFormat::SDF), 0x8004u);
  EXPECT_EQ(messages.text(),
            "Warning: Unknown flavor (16384) for format (24) in set iflavor.\n"
            "Warning: Unknown file format (13) in set iflavor.\n"
            "Warning: Unknown file format (30) in set iflavor.\n");
}

TEST(StreamFlavors, OutputRefusalsKeepTheOldFlavor) {
  Tamrin::qvmolostream out;
  CapturedMessages messages;
  EXPECT_FALSE(out.SetFlavor(QvFormat::MDL, 0x4000));
  EXPECT_EQ(out.GetFlavor(QvFormat::MDL), 0x4117u);
  EXPECT_FALSE(out.SetFlavor(QvFormat::XYZ, 0x400C));
  EXPECT_EQ(out.GetFlavor(QvFormat::XYZ), 0x4003u);
  EXPECT_FALSE(out.SetFlavor(QvFormat::RDF, 0x4017));
  EXPECT_TRUE(out.SetFlavor(QvFormat::XYZ, 0x4008));
  EXPECT_EQ(out.GetFlavor(QvFormat::XYZ), 0x4008u);
  EXPECT_EQ(messages.text(),
            "Warning: Unknown flavor (4000) for format(MDL Mol) in set oflavor .\n"
            "Warning: QvOFlavor::XYZ::SinglePrecision and QvOFlavor::XYZ::DoublePrecision are mutually exclusive "
            "options\n"
            "Warning: Unknown file format (MDL RDF) in set oflavor.\n");
}

TEST(StreamFormats, InputRefusesUnreadableFormats) {
  Tamrin::qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::SDF));
  CapturedMessages messages;
  EXPECT_FALSE(in.SetFormat(QvFormat::MF));
  EXPECT_FALSE(in.SetFormat(QvFormat::UNDEFINED));
  EXPECT_EQ(in.GetFormat(), QvFormat::SDF);
  EXPECT_TRUE(in.SetFormat(QvFormat::RDF));
  EXPECT_EQ(messages.text(),
            "Warning: Unable to set unknown read format (Molecular Formula) in input stream, using existing format "
            "(MDL SDF)\n"
            "Warning: Unable to set unknown read format (UNDEFINED) in input stream, using existing format (MDL SDF)\n");
}

TEST(StreamFormats, OutputRefusesUnwritableFormats) {
  Tamrin::qvmolostream out;
  CapturedMessages messages;
  EXPECT_FALSE(out.SetFormat(QvFormat::SKC));
  EXPECT_EQ(out.GetFormat(), QvFormat::SMI);
  EXPECT_TRUE(out.SetFormat(QvFormat::MF));
  EXPECT_TRUE(out.SetFormat(QvFormat::MF));
  EXPECT_EQ(out.GetFormat(), QvFormat::MF);
  EXPECT_EQ(messages.text(),
            "Warning: Unable to set unknown write format (MDL ISIS Sketch File) in output stream, using existing "
            "format (Canonical stereo SMILES)\n");
}

TEST(StreamFormats, OutOfRangeFormatAlsoDrawsTheTagWarning) {
  Tamrin::qvmolistream in;
  CapturedMessages messages;
  EXPECT_FALSE(in.SetFormat(static_cast<QvFormat>(28)));
  EXPECT_EQ(messages.text(),
            "Warning: Stream format tag out of range 28\n"
            "Warning: Unable to set unknown read format () in input stream, using existing format (Canonical stereo "
            "SMILES)\n");
}

}  // namespace
