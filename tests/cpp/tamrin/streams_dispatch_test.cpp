// QvReadMolecule and QvWriteMolecule: dispatch through the plug-in table,
// skipping bad records, the empty-molecule rule, the options each reader and
// writer gets, the post-read perception steps, status codes, and the
// multi-conformer forms.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "pellar/qvsstream.h"
#include "streams_test_support.h"
#include "support/captured_messages.h"
#include "tamrin/streams/conftest.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::qvmolistream;
using Tamrin::qvmolostream;
using namespace streamtest;

struct Read {
  std::string title;
  unsigned atoms;
  bool operator==(const Read&) const = default;
};

void PrintTo(const Read& r, std::ostream* os) { *os << r.title << '/' << r.atoms; }

// Everything QvReadMolecule hands out of `text` in `format` with `flavor`.
std::vector<Read> ReadAll(QvFormat format, unsigned flavor, const std::string& text) {
  qvmolistream in;
  EXPECT_TRUE(in.SetFormat(format));
  EXPECT_TRUE(in.SetFlavor(format, flavor));
  EXPECT_TRUE(in.openstring(text));
  std::vector<Read> reads;
  Tamrin::QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) reads.push_back({mol.GetTitle(), mol.NumAtoms()});
  EXPECT_TRUE(in.at_end());
  return reads;
}

// ---- skipping and ending ----

TEST(ReadMolecule, BadRecordIsReportedCountedAndSkipped) {
  Registered format(QvFormat::SDF);
  qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::SDF));
  ASSERT_TRUE(in.openstring("first 1\n!broken 0\nthird 3\n"));
  CapturedMessages messages;
  Tamrin::QvGraphMol mol;
  ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(std::string(mol.GetTitle()), "first");
  ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(std::string(mol.GetTitle()), "third");
  EXPECT_EQ(mol.NumAtoms(), 3u);
  EXPECT_FALSE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(mol.NumAtoms(), 0u);
  EXPECT_EQ(messages.text(), "Warning: Error reading molecule \"broken\" in MDL SDF format.\n");
  EXPECT_EQ(in.GetFailedCount(), 1u);
}

struct EndCase {
  const char* text;
  std::vector<Read> reads;
  unsigned warnings;
};

class ReadToTheEnd : public testing::TestWithParam<EndCase> {};

// A failure at the very end is a bad record only when it left atoms behind.
TEST_P(ReadToTheEnd, WarnsForRealFailuresOnly) {
  Registered format(QvFormat::SMI);
  CapturedMessages messages;
  EXPECT_EQ(ReadAll(QvFormat::SMI, 0x4000, GetParam().text), GetParam().reads);
  EXPECT_EQ(messages.lines().size(), GetParam().warnings) << messages.text();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadToTheEnd,
    testing::Values(EndCase{"a 1\n!tail 2", {{"a", 1}}, 1}, EndCase{"a 1\n!tail", {{"a", 1}}, 0},
                    EndCase{"a 1\n!tail\n", {{"a", 1}}, 1}, EndCase{"!x 1\n!y 1\nz 2", {{"z", 2}}, 2},
                    EndCase{"a 1\nb 2", {{"a", 1}, {"b", 2}}, 0}, EndCase{"\n\n\n", {}, 0},
                    EndCase{"a 1\r\nb 1\rc 1\r\r\n", {{"a", 1}, {"b", 1}, {"c", 1}}, 0}));

struct EmptyCase {
  QvFormat format;
  unsigned flavor;
  std::vector<Read> reads;
};

class EmptyMolecules : public testing::TestWithParam<EmptyCase> {};

// Molecules without atoms are skipped, except by the MDL formats with bit 0x4.
TEST_P(EmptyMolecules, SkippedUnlessKept) {
  Registered format(GetParam().format);
  CapturedMessages messages;
  EXPECT_EQ(ReadAll(GetParam().format, GetParam().flavor, "empty 0\nfull 2\nlast 0\n"), GetParam().reads);
  EXPECT_TRUE(messages.lines().empty()) << messages.text();
}

const std::vector<Read> kKept = {{"empty", 0}, {"full", 2}, {"last", 0}};
const std::vector<Read> kSkipped = {{"full", 2}};

INSTANTIATE_TEST_SUITE_P(
    Flavors, EmptyMolecules,
    testing::Values(EmptyCase{QvFormat::SDF, 0x4000, kSkipped}, EmptyCase{QvFormat::SDF, 0x4004, kKept},
                    EmptyCase{QvFormat::MDL, 0x0004, kKept}, EmptyCase{QvFormat::RDF, 0x800C, kKept},
                    EmptyCase{QvFormat::MDL, 0x000B, kSkipped}, EmptyCase{QvFormat::SMI, 0x4000, kSkipped},
                    EmptyCase{QvFormat::XYZ, 0x401F, kSkipped}, EmptyCase{QvFormat::PDB, 0x0004, kSkipped}));

TEST(ReadMolecule, ReaderThatConsumesNothingEndsTheRead) {
  Registered format(QvFormat::SDF, ReadNothing);
  qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::SDF));
  ASSERT_TRUE(in.openstring("data that no reader takes\n"));
  CapturedMessages messages;
  Tamrin::QvGraphMol mol;
  EXPECT_FALSE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(reads.load(), 1);
  EXPECT_EQ(messages.text(), "Warning: Error reading molecule \"\" in MDL SDF format.\n");
}

TEST(ReadMolecule, FormatWithoutReaderSaysSo) {
  Unregistered none(QvFormat::CXSMILES);
  qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::CXSMILES));
  ASSERT_TRUE(in.openstring("C methane\n"));
  CapturedMessages messages;
  Tamrin::QvGraphMol mol;
  EXPECT_FALSE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(messages.text(),
            "Warning: File format not supported for reading.\n"
            "Warning: Error reading molecule \"\" in Chemaxon Extended SMILES format.\n");
}

TEST(ReadMolecule, QueuedMoleculesComeFirstAndDelayTheEnd) {
  Registered format(QvFormat::SMI);
  qvmolistream in;
  ASSERT_TRUE(in.openstring("read 2\n"));
  auto queued = std::make_unique<Tamrin::QvGraphMolImpl>();
  queued->Copy(Carbons("queued", 4).GetMol());
  in.Enqueue(std::move(queued), 7);
  Tamrin::QvGraphMol mol;
  ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(std::string(mol.GetTitle()), "queued");
  EXPECT_EQ(mol.NumAtoms(), 4u);
  EXPECT_EQ(reads.load(), 0);
  ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(std::string(mol.GetTitle()), "read");
  EXPECT_FALSE(Tamrin::QvReadMolecule(in, mol));
}

TEST(ReadMolecule, DequeueGivesPositions) {
  qvmolistream in;
  in.Enqueue(std::make_unique<Tamrin::QvGraphMolImpl>(), 11);
  in.Enqueue(nullptr, 12);
  in.Enqueue(std::make_unique<Tamrin::QvGraphMolImpl>(), 13);
  std::int64_t position = 0;
  ASSERT_NE(in.Dequeue(&position), nullptr);
  EXPECT_EQ(position, 11);
  ASSERT_NE(in.Dequeue(&position), nullptr);
  EXPECT_EQ(position, 13);
  EXPECT_EQ(in.Dequeue(&position), nullptr);
  EXPECT_EQ(position, 13);
}

// ---- what each reader gets ----

struct OptionsCase {
  QvFormat format;
  unsigned flavor;
  unsigned options;
};

void PrintTo(const OptionsCase& c, std::ostream* os) {
  *os << Tamrin::QvFormatDescription(c.format) << " 0x" << std::hex << c.flavor;
}

class ReaderOptions : public testing::TestWithParam<OptionsCase> {};

TEST_P(ReaderOptions, FromTheFlavor) {
  Registered format(GetParam().format);
  last_options = 0xDEAD;
  EXPECT_EQ(ReadAll(GetParam().format, GetParam().flavor, "m 1\n"), (std::vector<Read>{{"m", 1}}));
  EXPECT_EQ(last_options.load(), GetParam().options);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ReaderOptions,
    testing::Values(OptionsCase{QvFormat::PDB, 0x7F16, 0x16}, OptionsCase{QvFormat::MOL2, 0x4003, 0x1},
                    OptionsCase{QvFormat::MOL2, 0x4002, 0x0}, OptionsCase{QvFormat::MOL2H, 0x4000, 0x1},
                    OptionsCase{QvFormat::SDF, 0x400F, 0x0}, OptionsCase{QvFormat::MDL, 0x4004, 0x0},
                    OptionsCase{QvFormat::RDF, 0x4001, 0x0}, OptionsCase{QvFormat::FASTA, 0x4003, 0x3},
                    OptionsCase{QvFormat::CSV, 0x4001, 0x4001}, OptionsCase{QvFormat::SMI, 0x20003, 0x20003},
                    OptionsCase{QvFormat::CXSMILES, 0x4002, 0x4002}, OptionsCase{QvFormat::XYZ, 0x401F, 0x401F},
                    OptionsCase{QvFormat::CDX, 0x4001, 0x4001}, OptionsCase{QvFormat::CIF, 0x41FF, 0x41FF}));

// ---- perception steps ----

// The line reader, with "3d" titles making 3D molecules.
bool ReadWithDimension(qvmolistream& in, Tamrin::QvMolBase& mol, unsigned options) {
  if (!ReadLine(in, mol, options)) return false;
  if (std::string(mol.GetTitle()).starts_with("3d")) mol.SetDimension(3);
  return true;
}

// mmCIF readers mark bonds for their own use; the marker never leaves the read.
bool ReadMarkedBond(qvmolistream& in, Tamrin::QvMolBase& mol, unsigned options) {
  if (!ReadWithDimension(in, mol, options) || mol.NumAtoms() < 2) return false;
  auto atoms = mol.GetAtoms().begin();
  Tamrin::QvAtomBase& a = *atoms;
  Tamrin::QvAtomBase& b = *++atoms;
  Tamrin::QvBondBase* bond = mol.NewBond(&a, &b, 1);
  bond->SetData(Sorvil::QvGetTag("__MMCIF_SPEC_BOND_FLAG__"), true);
  bond->SetData(Sorvil::QvGetTag("streams-test-kept"), 5u);
  return true;
}

TEST(PostReadSteps, MmcifBondMarkerIsRemoved) {
  for (const QvFormat f : {QvFormat::MMCIF, QvFormat::CIF}) {
    Registered format(f, ReadMarkedBond);
    qvmolistream in;
    ASSERT_TRUE(in.SetFormat(f));
    ASSERT_TRUE(in.openstring("3d 2\n"));
    Tamrin::QvGraphMol mol;
    ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
    const Tamrin::QvBondBase& bond = *mol.GetBonds().begin();
    EXPECT_FALSE(bond.HasData(Sorvil::QvGetTag("__MMCIF_SPEC_BOND_FLAG__"))) << Tamrin::QvFormatDescription(f);
    EXPECT_EQ(mol.GetDimension(), 3u);
    EXPECT_EQ(bond.GetData<unsigned>(Sorvil::QvGetTag("streams-test-kept")), 5u);
  }
}

// ---- writing ----

int WriteStatus16(qvmolostream& out, const Tamrin::QvMolBase& mol, unsigned options) {
  WriteLine(out, mol, options);
  return 16;
}

TEST(WriteMolecule, StatusCodes) {
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(QvFormat::SDF));
  {
    Registered format(QvFormat::SDF);
    ASSERT_TRUE(out.openstring());
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("ok", 1)), Tamrin::QvWriteOk);
    EXPECT_EQ(out.GetString(), "ok 1\n");
  }
  {
    Registered format(QvFormat::SDF, ReadLine, WriteStatus16);
    ASSERT_TRUE(out.openstring());
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("changed", 1)), Tamrin::QvWriteDataChanged);
    EXPECT_EQ(out.GetString(), "changed 1\n");
  }
  {
    Unregistered none(QvFormat::SDF);
    ASSERT_TRUE(out.openstring());
    CapturedMessages messages;
    EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("lost", 1)), Tamrin::QvWriteNotWritable);
    EXPECT_EQ(messages.text(), "Warning: Format MDL SDF was not writable\n");
    EXPECT_EQ(out.GetString(), "");
  }
}

TEST(WriteMolecule, TooManyAtomsForPdbIsWrittenAndFlagged) {
  Registered format(QvFormat::PDB);
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(QvFormat::PDB));
  ASSERT_TRUE(out.openstring());
  CapturedMessages messages;
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("limit", 99999)), Tamrin::QvWriteOk);
  EXPECT_TRUE(messages.lines().empty());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("big", 100000)), Tamrin::QvWriteTooManyAtoms);
  EXPECT_EQ(messages.text(), "Warning: Molecule \"big\" has too many atoms (100000) for PDB format.\n");
  EXPECT_EQ(out.GetString(), "limit 99999\nbig 100000\n");
}

class WriterOptions : public testing::TestWithParam<OptionsCase> {};

TEST_P(WriterOptions, FromTheFlavor) {
  Registered format(GetParam().format);
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(GetParam().format));
  ASSERT_TRUE(out.SetFlavor(GetParam().format, GetParam().flavor));
  ASSERT_TRUE(out.openstring());
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, Carbons("m", 1)), 0);
  EXPECT_EQ(last_options.load(), GetParam().options);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WriterOptions,
    testing::Values(OptionsCase{QvFormat::SMI, 0x407D, 0x7D}, OptionsCase{QvFormat::CAN, 0x5FFF, 0x1FFF},
                    OptionsCase{QvFormat::USM, 0x4024, 0x24}, OptionsCase{QvFormat::ISM, 0x8001, 0x1},
                    OptionsCase{QvFormat::CXSMILES, 0x507D, 0x507D}, OptionsCase{QvFormat::XYZ, 0x400F & ~0x4, 0xB},
                    OptionsCase{QvFormat::XYZ, 0x4007, 0x3}, OptionsCase{QvFormat::MOPAC, 0x4003, 0x3},
                    OptionsCase{QvFormat::PDB, 0x6744, 0x6744}, OptionsCase{QvFormat::SDF, 0x4117, 0x4117},
                    OptionsCase{QvFormat::CSV, 0x4001, 0x4001}));

// ---- multi-conformer molecules ----

// Records with the same title and atom count are conformers of one molecule.
class SameTitle : public Tamrin::QvConfTestBase {
 public:
  bool IsConformer(const Tamrin::QvMolBase& first, const Tamrin::QvMolBase& next) const override {
    return std::string(first.GetTitle()) == next.GetTitle();
  }
};

std::vector<Read> ReadAllConformers(qvmolistream& in) {
  std::vector<Read> reads;
  Tamrin::QvMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) {
    reads.push_back({mol.GetTitle(), mol.NumConfs()});
    mol.Clear();
  }
  return reads;
}

TEST(ReadConformers, DefaultTestCombinesNothing) {
  Registered format(QvFormat::SDF);
  qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::SDF));
  ASSERT_TRUE(in.openstring("a 2\na 2\nb 3\n"));
  EXPECT_FALSE(in.CombinesConformers());
  EXPECT_EQ(ReadAllConformers(in), (std::vector<Read>{{"a", 1}, {"a", 1}, {"b", 1}}));
}

TEST(ReadConformers, ConformerTestCombinesConsecutiveRecords) {
  Registered format(QvFormat::SDF);
  qvmolistream in;
  in.SetConfTest(std::make_unique<SameTitle>());
  ASSERT_TRUE(in.CombinesConformers());
  ASSERT_TRUE(in.SetFormat(QvFormat::SDF));
  ASSERT_TRUE(in.openstring("a 2\na 2\na 2\nb 3\nc 1\nc 1\n"));
  EXPECT_EQ(ReadAllConformers(in), (std::vector<Read>{{"a", 3}, {"b", 1}, {"c", 2}}));
  EXPECT_TRUE(in.at_end());
  in.SetConfTest(nullptr);
  EXPECT_FALSE(in.CombinesConformers());
}

// Accepted by the test but with other atoms: not a conformer, read on its own.
TEST(ReadConformers, ConformerWithOtherAtomsIsKeptForTheNextRead) {
  Registered format(QvFormat::SDF);
  qvmolistream in;
  in.SetConfTest(std::make_unique<SameTitle>());
  ASSERT_TRUE(in.SetFormat(QvFormat::SDF));
  ASSERT_TRUE(in.openstring("a 2\na 5\n"));
  CapturedMessages messages;
  EXPECT_EQ(ReadAllConformers(in), (std::vector<Read>{{"a", 1}, {"a", 1}}));
  EXPECT_EQ(messages.text(), "Warning: Unequal number of atoms when copying conformer coordinates: 5 != 2\n");
}

TEST(ReadConformers, LineFormatsNeverCombine) {
  Registered format(QvFormat::SMI);
  qvmolistream in;
  in.SetConfTest(std::make_unique<SameTitle>());
  ASSERT_TRUE(in.openstring("a 2\na 2\n"));
  EXPECT_EQ(ReadAllConformers(in), (std::vector<Read>{{"a", 1}, {"a", 1}}));
}

TEST(ReadConformers, MoleculeWithAConformerAlreadyDrawsAWarning) {
  Registered format(QvFormat::SMI);
  qvmolistream in;
  ASSERT_TRUE(in.openstring("a 2\n"));
  Tamrin::QvMol mol;
  mol.NewAtom(8);
  ASSERT_NE(mol.NewConf(), nullptr);
  CapturedMessages messages;
  ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(mol.NumConfs(), 1u);
  EXPECT_EQ(mol.NumAtoms(), 2u);
  EXPECT_EQ(messages.text(), "Warning: Unexpected conformer already in molecule at check cache\n");
}

unsigned mc_options = 0;

bool ReadTwoConformers(qvmolistream& in, Tamrin::QvMCMolBase& mol, unsigned options) {
  mc_options = options;
  std::string line;
  if (!in.GetLine(line)) return false;
  mol.SetTitle(line);
  mol.NewAtom(6);
  mol.NewConf();
  mol.NewConf();
  return true;
}

TEST(ReadConformers, ConformerRecordFormatsUseTheirOwnReader) {
  qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::QVB));
  ASSERT_TRUE(in.openstring("record\n"));
  Tamrin::QvMol mol;
  {
    CapturedMessages messages;
    EXPECT_FALSE(Tamrin::QvReadMolecule(in, mol));
    EXPECT_EQ(messages.text(), "Warning: File format not supported for reading.\n");
  }
  Tamrin::QvFormatInfo record = Tamrin::QvGetFormatInfo(QvFormat::QVB);
  record.read_conformers = ReadTwoConformers;
  Replaced qvb(record);
  ASSERT_TRUE(in.SetFlavor(QvFormat::QVB, 0x8000));
  ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(mol.NumConfs(), 2u);
  EXPECT_EQ(std::string(mol.GetTitle()), "record");
  EXPECT_EQ(mc_options, 0x8000u);
}

void TwoConformers(Tamrin::QvMol& mol, const char* title) {
  mol.SetTitle(title);
  mol.NewAtom(6);
  mol.NewAtom(7);
  mol.NewConf();
  mol.NewConf();
}

TEST(WriteConformers, OneRecordPerConformer) {
  Registered format(QvFormat::SDF);
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(QvFormat::SDF));
  ASSERT_TRUE(out.openstring());
  Tamrin::QvMol mol;
  TwoConformers(mol, "pair");
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol), 0);
  EXPECT_EQ(Tamrin::QvWriteConstMolecule(out, std::as_const(mol)), 0);
  EXPECT_EQ(out.GetString(), "pair 2\npair 2\npair 2\npair 2\n");
}

TEST(WriteConformers, FirstFailureStops) {
  Registered format(QvFormat::SDF, ReadLine, WriteStatus16);
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(QvFormat::SDF));
  ASSERT_TRUE(out.openstring());
  Tamrin::QvMol mol;
  TwoConformers(mol, "pair");
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol), Tamrin::QvWriteDataChanged);
  EXPECT_EQ(out.GetString(), "pair 2\n");
}

TEST(WriteConformers, NoConformersIsRefused) {
  Registered format(QvFormat::SDF);
  qvmolostream out;
  ASSERT_TRUE(out.openstring());
  Tamrin::QvMol mol;
  CapturedMessages messages;
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol), Tamrin::QvWriteNoConformers);
  EXPECT_EQ(Tamrin::QvWriteConstMolecule(out, std::as_const(mol)), Tamrin::QvWriteNoConformers);
  EXPECT_EQ(messages.text(),
            "Warning: QvWriteMolecule() : unable to write QvMCMolBase without any conformers!\n"
            "Warning: QvWriteConstMolecule() : unable to write QvMCMolBase without any conformers!\n");
  EXPECT_EQ(out.GetString(), "");
}

int WriteConformerCount(qvmolostream& out, const Tamrin::QvMCMolBase& mol, unsigned options) {
  mc_options = options;
  out.GetStream() << "confs " << mol.NumConfs() << '\n';
  return 0;
}

TEST(WriteConformers, ConformerRecordFormatsUseTheirOwnWriter) {
  Tamrin::QvFormatInfo record = Tamrin::QvGetFormatInfo(QvFormat::JSON);
  record.write_conformers = WriteConformerCount;
  Replaced json(record);
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(QvFormat::JSON));
  ASSERT_TRUE(out.openstring());
  Tamrin::QvMol mol;
  TwoConformers(mol, "pair");
  EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol), 0);
  EXPECT_EQ(out.GetString(), "confs 2\n");
  EXPECT_EQ(mc_options, 0x4397u);
}

// ---- the binary formats' per-stream state ----

int made = 0;
bool made_compressed = false;

template <bool compressed>
std::unique_ptr<Tamrin::QvMolStreamBinaryState> MakeBinaryState() {
  ++made;
  made_compressed = compressed;
  return std::make_unique<Tamrin::QvMolStreamBinaryState>();
}

Tamrin::QvFormatInfo WithBinaryState(QvFormat format, Tamrin::QvBinaryStateFactory make) {
  Tamrin::QvFormatInfo record = Tamrin::QvGetFormatInfo(format);
  record.binary_state = make;
  return record;
}

TEST(BinaryState, MadeOncePerThreadAndFormatChange) {
  {
    qvmolostream out;
    ASSERT_TRUE(out.SetFormat(QvFormat::QVZ));
    EXPECT_EQ(out.BinaryState(), nullptr);
  }
  Replaced qvb(WithBinaryState(QvFormat::QVB, MakeBinaryState<false>));
  Replaced qvz(WithBinaryState(QvFormat::QVZ, MakeBinaryState<true>));
  made = 0;
  qvmolostream out;
  ASSERT_TRUE(out.SetFormat(QvFormat::QVZ));
  Tamrin::QvMolStreamBinaryState* const state = out.BinaryState();
  EXPECT_NE(state, nullptr);
  EXPECT_EQ(out.BinaryState(), state);
  EXPECT_EQ(made, 1);
  EXPECT_TRUE(made_compressed);
  // Another thread gets its own.
  std::thread([&] { EXPECT_NE(out.BinaryState(), nullptr); }).join();
  EXPECT_EQ(made, 2);
  out.BinaryState();
  EXPECT_EQ(made, 3);
  // Switching to the other binary format starts over, uncompressed.
  ASSERT_TRUE(out.SetFormat(QvFormat::QVB));
  out.BinaryState();
  EXPECT_EQ(made, 4);
  EXPECT_FALSE(made_compressed);
  ASSERT_TRUE(out.SetFormat(QvFormat::QVB));
  out.BinaryState();
  EXPECT_EQ(made, 4);
}

}  // namespace
