// QVB and QVZ molecule records through the molecule streams: every field
// round trips, unknown records come back byte for byte, damaged input gives
// the container's messages without losing the records before it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "pellar/qvgzstream.h"
#include "pellar/qvstream.h"
#include "pellar/qvsstream.h"
#include "sorvil/base/tagdata.h"
#include "support/captured_messages.h"
#include "tamrin/formats/qvb/qvb.h"
#include "tamrin/formats/qvb/qvbtokenizer.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/model.h"
#include "tamrin/model/residue.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/smiles_test_support.h"

using namespace Tamrin;

namespace {

constexpr unsigned kIsomericCanonical = QvSmiDefault | QvSmiFlag::Canonical;

std::string Write(const std::vector<const QvMolBase*>& mols, QvFormat format) {
  qvmolostream out;
  EXPECT_TRUE(out.SetFormat(format));
  EXPECT_TRUE(out.openstring(false));
  for (const QvMolBase* mol : mols) EXPECT_EQ(QvWriteMolecule(out, *mol), QvWriteOk);
  return out.GetString();
}

struct Read {
  std::vector<QvGraphMol> mols;
  std::vector<std::string> messages;
};

Read ReadAll(const std::string& bytes, QvFormat format) {
  CapturedMessages captured(Sorvil::QvWarning);
  Read r;
  qvmolistream in;
  EXPECT_TRUE(in.SetFormat(format));
  in.openstring(bytes);
  QvGraphMol mol;
  while (QvReadMolecule(in, mol.GetMol())) r.mols.push_back(mol);
  r.messages = captured.lines();
  return r;
}

// The payload of a record with a dictionary tag.
std::string PayloadOf(const std::string& record) {
  Sorvil::QVBCursor cursor(record.data() + 1, record.size() - 1);
  const std::uint64_t length = Sorvil::QVBReadDataLength(cursor, UINT32_MAX);
  std::string_view payload;
  EXPECT_TRUE(cursor.take(length, payload));
  return std::string(payload);
}

// A molecule with every kind of field the model holds.
QvGraphMol RichMolecule() {
  QvGraphMol mol = smiles_test::FromSmiles("[13CH3][C@@H](N)/C=C/C(=O)[O-].c1ccccc1.[SeH2] |&1:1|");
  mol.SetTitle("rich \xC3\xA9 title");
  mol.SetEnergy(-12.5f);
  std::vector<float> xyz;
  for (unsigned i = 0; i < 3 * mol.GetMaxAtomIdx(); ++i) xyz.push_back(0.1f * static_cast<float>(i) - 1.0f / 3.0f);
  mol.SetCoords(xyz.data());
  Sorvil::QvAddSDData(mol.GetMol(), "PUBCHEM_ID", "42");
  Sorvil::QvAddSDData(mol.GetMol(), "PUBCHEM_ID", "second\nline");
  // Values stored as numbers only when they print back as the same text.
  for (const char* value : {"0", "-12", "007", "-0", "+5", "1e3", "9223372036854775807", "-9223372036854775808",
                            "9223372036854775808", " 5", ""})
    Sorvil::QvAddSDData(mol.GetMol(), "COUNT", value);
  mol.SetData(Sorvil::QvGetTag("qvb.bool"), true);
  mol.SetData(Sorvil::QvGetTag("qvb.int"), std::int32_t{-7});
  mol.SetData(Sorvil::QvGetTag("qvb.u64"), std::int64_t{1} << 40);
  mol.SetData(Sorvil::QvGetTag("qvb.double"), 1.0 / 3.0);
  mol.SetData(Sorvil::QvGetTag("qvb.vector"), std::vector<double>{1.5, -2.5});
  mol.SetData(Sorvil::QvGetTag("qvb.ints"), std::vector<std::int32_t>{3, -4});
  QvAtomBase& first = *mol.GetMol().AtomList()[0];
  first.SetPartialCharge(-0.25f);
  first.SetName("C1'");
  first.SetType("C.3");
  QvSetResidue(first, {.name = "LIG", .chain = "B", .number = 7, .hetero = true, .b_factor = 12.5f});
  mol.GetMol().AtomList()[2]->SetData(Sorvil::QvAnisoTag, Sorvil::QvAnisoValues{1, 2, 3, 4, 5, -6});
  mol.GetMol().AtomList()[2]->SetData(Sorvil::QvGetTag("qvb.bool"), false);
  mol.GetMol().AtomList()[5]->SetData(Sorvil::QvGetTag("qvb.bool"), true);
  // The same two items as on the first atom, the other way round.
  mol.GetMol().AtomList()[3]->SetType("N.3");
  mol.GetMol().AtomList()[3]->SetName("N1");
  // Fields the compact atom and bond forms leave out in the common case.
  first.SetFlag(3);
  first.SetAux(9);
  mol.GetMol().AtomList()[1]->SetMapIdx(5);
  mol.GetMol().AtomList()[4]->SetImplicitHCount(9);
  mol.GetMol().BondList()[0]->SetType("am");
  mol.GetMol().BondList()[1]->SetIntType(7);
  return mol;
}

template <class T>
void SameValue(const Sorvil::QvBaseData& x, const Sorvil::QvBaseData& y) {
  const T* v = Sorvil::QvDataValue<T>(x);
  const T* w = Sorvil::QvDataValue<T>(y);
  if (v && w) {
    EXPECT_EQ(*v, *w);
  }
}

// Fields compared one by one, coordinates bit for bit; data through its
// encoding would be circular, so items are compared by tag, type and a
// value check per type below.
void ExpectSameMolecule(const QvMolBase& a, const QvMolBase& b) {
  EXPECT_STREQ(a.GetTitle(), b.GetTitle());
  EXPECT_EQ(a.NumAtoms(), b.NumAtoms());
  EXPECT_EQ(a.NumBonds(), b.NumBonds());
  EXPECT_EQ(a.GetDimension(), b.GetDimension());
  EXPECT_EQ(std::bit_cast<std::uint32_t>(a.GetEnergy()), std::bit_cast<std::uint32_t>(b.GetEnergy()));
  std::string sa, sb;
  QvCreateSmiString(sa, a, kIsomericCanonical);
  QvCreateSmiString(sb, b, kIsomericCanonical);
  EXPECT_EQ(sa, sb);
  std::vector<float> ca(3 * a.GetMaxAtomIdx()), cb(3 * b.GetMaxAtomIdx());
  a.GetCoords(ca.data());
  b.GetCoords(cb.data());
  ASSERT_EQ(ca.size(), cb.size());
  EXPECT_EQ(std::memcmp(ca.data(), cb.data(), ca.size() * sizeof(float)), 0);
  EXPECT_EQ(Sorvil::QvGetSDDataPairs(a), Sorvil::QvGetSDDataPairs(b));
  auto same_items = [](const Sorvil::QvBase& x, const Sorvil::QvBase& y) {
    ASSERT_EQ(x.NumData(), y.NumData());
    auto iy = y.GetDataItems().begin();
    for (const Sorvil::QvBaseData& item : x.GetDataItems()) {
      EXPECT_EQ(item.GetTag(), iy->GetTag());
      EXPECT_EQ(item.GetType(), iy->GetType());
      SameValue<std::string>(item, *iy);
      SameValue<float>(item, *iy);
      SameValue<bool>(item, *iy);
      SameValue<unsigned>(item, *iy);
      SameValue<QvResidue>(item, *iy);
      SameValue<std::vector<double>>(item, *iy);
      SameValue<Sorvil::QvAnisoValues>(item, *iy);
      ++iy;
    }
  };
  same_items(a, b);
  for (unsigned i = 0; i < a.NumAtoms(); ++i) {
    const QvAtomBase& x = *a.AtomList()[i];
    const QvAtomBase& y = *b.AtomList()[i];
    EXPECT_EQ(x.GetAtomicNum(), y.GetAtomicNum());
    EXPECT_EQ(x.GetIsotope(), y.GetIsotope());
    EXPECT_EQ(x.GetFormalCharge(), y.GetFormalCharge());
    EXPECT_EQ(x.GetImplicitHCount(), y.GetImplicitHCount());
    EXPECT_EQ(x.IsAromatic(), y.IsAromatic());
    EXPECT_EQ(x.GetMapIdx(), y.GetMapIdx());
    EXPECT_EQ(x.GetFlag(), y.GetFlag());
    EXPECT_EQ(x.GetAux(), y.GetAux());
    EXPECT_EQ(x.IsInRing(), y.IsInRing());
    same_items(x, y);
  }
  for (unsigned i = 0; i < a.NumBonds(); ++i) {
    const QvBondBase& x = *a.BondList()[i];
    const QvBondBase& y = *b.BondList()[i];
    EXPECT_EQ(x.GetBgn()->GetIdx(), y.GetBgn()->GetIdx());
    EXPECT_EQ(x.GetEnd()->GetIdx(), y.GetEnd()->GetIdx());
    EXPECT_EQ(x.GetOrder(), y.GetOrder());
    EXPECT_EQ(x.GetIntType(), y.GetIntType());
    EXPECT_EQ(x.IsAromatic(), y.IsAromatic());
    EXPECT_EQ(x.IsInRing(), y.IsInRing());
    same_items(x, y);
  }
}

TEST(Qvb, EveryFieldRoundTripsThroughBothFormats) {
  const QvGraphMol rich = RichMolecule();
  QvGraphMol empty;
  empty.SetTitle("no atoms");
  QvGraphMol flat = smiles_test::FromSmiles("CCO");
  flat.SetDimension(2);
  for (const QvFormat format : {QvFormat::QVB, QvFormat::QVZ}) {
    SCOPED_TRACE(QvFormatDescription(format));
    const Read r = ReadAll(Write({&rich.GetMol(), &flat.GetMol()}, format), format);
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.messages);
    ASSERT_EQ(r.mols.size(), 2u);
    ExpectSameMolecule(rich, r.mols[0]);
    ExpectSameMolecule(flat, r.mols[1]);
    EXPECT_EQ(r.mols[0].GetMol().HasPerceived(QvPerceivedAtomStereo), rich.HasPerceived(QvPerceivedAtomStereo));
  }
  // A molecule without atoms is a record too, read back when asked for.
  qvmolistream in;
  in.SetFormat(QvFormat::QVB);
  in.openstring(Write({&empty.GetMol()}, QvFormat::QVB));
  QvMol mc;
  ASSERT_TRUE(QvReadMolecule(in, mc));
  EXPECT_STREQ(mc.GetTitle(), "no atoms");
}

TEST(Qvb, ConformersComeBackAsOneMoleculeOrAsQueuedMolecules) {
  QvGraphMol base = smiles_test::FromSmiles("OCCN");
  QvMol mc;
  ASSERT_TRUE(mc.Copy(base.GetMol()));
  mc.DeleteConfs();
  for (int k = 0; k < 3; ++k) {
    std::vector<float> xyz(3 * mc.GetMaxAtomIdx());
    for (std::size_t i = 0; i < xyz.size(); ++i) xyz[i] = static_cast<float>(k) + 0.001f * static_cast<float>(i);
    QvConfBase* conf = mc.NewConf(xyz.data());
    conf->SetTitle("conf " + std::to_string(k));
    conf->SetEnergy(static_cast<float>(k) - 1.0f);
    Sorvil::QvAddSDData(*conf, "RMSD", std::to_string(k));
  }
  for (const bool half : {false, true}) {
    mc.SetData(Sorvil::QvGetTag(kQvHalfFloatConfsTag), half);
    for (const QvFormat format : {QvFormat::QVB, QvFormat::QVZ}) {
      const std::string bytes = [&] {
        qvmolostream out;
        out.SetFormat(format);
        out.openstring(false);
        EXPECT_EQ(QvWriteMolecule(out, mc), QvWriteOk);
        return out.GetString();
      }();
      qvmolistream in;
      in.SetFormat(format);
      in.openstring(bytes);
      QvMol back;
      ASSERT_TRUE(QvReadMolecule(in, back));
      ASSERT_EQ(back.NumConfs(), 3u);
      for (unsigned k = 0; k < 3; ++k) {
        const QvConfBase& a = *mc.ConfList()[k];
        const QvConfBase& b = *back.ConfList()[k];
        EXPECT_STREQ(a.GetTitle(), b.GetTitle());
        EXPECT_EQ(a.GetEnergy(), b.GetEnergy());
        EXPECT_EQ(Sorvil::QvGetSDDataPairs(a), Sorvil::QvGetSDDataPairs(b));
        std::vector<float> ca(3 * mc.GetMaxAtomIdx()), cb(ca.size());
        a.GetCoords(ca.data());
        b.GetCoords(cb.data());
        for (std::size_t i = 0; i < ca.size(); ++i) {
          if (half) {
            EXPECT_NEAR(ca[i], cb[i], 2e-3f);
          } else {
            EXPECT_EQ(ca[i], cb[i]);
          }
        }
      }
      // Into single molecules: the first now, the others queued.
      const Read r = ReadAll(bytes, format);
      ASSERT_EQ(r.mols.size(), 3u);
      EXPECT_STREQ(r.mols[2].GetTitle(), "conf 2");
      EXPECT_EQ(r.mols[2].GetEnergy(), 1.0f);
      EXPECT_EQ(Sorvil::QvGetSDData(r.mols[2].GetMol(), "RMSD"), "2");
    }
  }
}

TEST(Qvb, CompressedAndPlainMultiConformerRecordsReadAlike) {
  const QvGraphMol rich = RichMolecule();
  std::string plain;
  ASSERT_TRUE(QvAppendQVBRecord(plain, rich.GetMol(), QvQVBForm::MultiConformer));
  std::string zstd;
  ASSERT_TRUE(QvAppendQVBRecord(zstd, rich.GetMol(), QvQVBForm::Zstd));
  // The gzip form: the same children, gzip-compressed, under zQvMCMolBase.
  ASSERT_EQ(plain[0], Sorvil::QVBTagCode("QvMCMolBase"));
  const std::string children = PayloadOf(plain);
  Pellar::qvosstream packed;
  {
    Pellar::qvogzstream gz(packed);
    gz.write(children.data(), children.size());
    gz.close();
  }
  std::string gzip;
  ASSERT_TRUE(Sorvil::QVBAppendRecord(gzip, "zQvMCMolBase", packed.str()));
  EXPECT_LT(zstd.size(), plain.size());
  for (const std::string& bytes : {plain, zstd, gzip}) {
    const Read r = ReadAll(bytes, QvFormat::QVB);
    ASSERT_EQ(r.mols.size(), 1u);
    ExpectSameMolecule(rich, r.mols[0]);
  }
  std::string out;
  EXPECT_FALSE(QvDecompress("bz2", zstd, out));
  EXPECT_TRUE(out.empty());
}

// The first byte of the conformer record in a plain multi-conformer record:
// 0x01 for scaled integer coordinates, 0x3F for floats.
int ConformerForm(const std::string& record) {
  const std::string payload = PayloadOf(record);
  Sorvil::QVBCursor in(payload);
  while (!in.at_end()) {
    const int code = in.get();
    std::string_view child;
    if (!in.take(Sorvil::QVBReadDataLength(in, UINT32_MAX), child)) return -1;
    if (code == Sorvil::QVBTagCode("QvMCMolCartConf")) return static_cast<unsigned char>(child[0]);
  }
  return -1;
}

// The float a text reader makes of `v` written with `decimals` decimals.
float Dec(double v, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return std::strtof(text, nullptr);
}

// Coordinates come back bit for bit whichever form the writer picks; the
// integer form is picked exactly when every value is a short decimal.
TEST(Qvb, CoordinatesKeepEveryBitInEitherForm) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // Atom i of a drawn ring gets row(i) as x, y, z.
  const struct {
    const char* what;
    std::function<std::array<float, 3>(int)> row;
    int form;
  } cases[] = {
      {"drawn, 4 decimals", [](int i) { return std::array{Dec(1.299 * (i % 3), 4), Dec(0.75 - 1.5 * (i / 3), 4), 0.0f}; }, 0x01},
      {"3D, mixed decimals", [](int i) { return std::array{Dec(12.345 + i, 3), -0.5f, Dec(100.25 * i, 2)}; }, 0x01},
      {"negative zeros", [](int i) { return std::array{i % 2 ? -0.0f : 1.5f, -0.0f, 0.0f}; }, 0x01},
      {"all zero", [](int) { return std::array{0.0f, 0.0f, 0.0f}; }, 0x01},
      {"integers beyond 2^40", [](int i) { return std::array{3e12f * static_cast<float>(i), -4e12f, 1.0f}; }, 0x01},
      {"thirds", [](int i) { return std::array{static_cast<float>(i) / 3.0f, 1.0f, 2.0f}; }, 0x3F},
      {"NaN", [nan](int i) { return std::array{i == 2 ? nan : 1.0f, 1.0f, 2.0f}; }, 0x3F},
      {"1e20", [](int) { return std::array{1e20f, 0.0f, 0.0f}; }, 0x3F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QvGraphMol mol = smiles_test::FromSmiles("c1ccccc1C(=O)NC");
    std::vector<float> xyz;
    for (unsigned i = 0; i < mol.GetMaxAtomIdx(); ++i)
      for (const float v : c.row(static_cast<int>(i))) xyz.push_back(v);
    mol.SetCoords(xyz.data());
    std::string record;
    ASSERT_TRUE(QvAppendQVBRecord(record, mol.GetMol(), QvQVBForm::MultiConformer));
    EXPECT_EQ(ConformerForm(record), c.form);
    for (const QvFormat format : {QvFormat::QVB, QvFormat::QVZ}) {
      const Read r = ReadAll(Write({&mol.GetMol()}, format), format);
      ASSERT_EQ(r.mols.size(), 1u);
      ExpectSameMolecule(mol, r.mols[0]);
    }
  }
}

TEST(Qvb, UnknownRecordsAreWrittenBackByteForByte) {
  const QvGraphMol mol = smiles_test::FromSmiles("CC");
  std::string record;
  ASSERT_TRUE(QvAppendQVBRecord(record, mol.GetMol(), QvQVBForm::Plain));
  // The same record with two children this system has no reader for, one
  // named explicitly, one a dictionary tag; the writer puts kept records last.
  std::string payload = PayloadOf(record);
  Sorvil::QVBAppendRecord(payload, "QvMolRadii", std::string("\x3F\0\0\x80\x3F", 5));
  Sorvil::QVBAppendRecord(payload, "vendorExtension", "opaque bytes");
  std::string original;
  Sorvil::QVBAppendRecord(original, "QvMolBase", payload);
  const Read r = ReadAll(original, QvFormat::QVB);
  ASSERT_EQ(r.mols.size(), 1u);
  EXPECT_EQ(Write({&r.mols[0].GetMol()}, QvFormat::QVB), original);
}

// Three good records, then damage: the good ones are read, the damage gives
// the container's message, nothing crashes or hangs.
TEST(Qvb, DamagedInputKeepsTheRecordsBeforeIt) {
  const QvGraphMol mol = RichMolecule();
  std::string good = Write({&mol.GetMol(), &mol.GetMol(), &mol.GetMol()}, QvFormat::QVB);
  std::string one;
  ASSERT_TRUE(QvAppendQVBRecord(one, mol.GetMol(), QvQVBForm::Plain));
  std::string huge_ct;  // a connection table claiming 2^40 atoms
  {
    std::string ct("\x01", 1);
    Sorvil::QVBAppendVarint(ct, std::uint64_t{1} << 40);
    ct += "\x80\x80";
    std::string payload;
    Sorvil::QVBAppendRecord(payload, "QvMolCT", ct);
    Sorvil::QVBAppendRecord(huge_ct, "QvMolBase", payload);
  }
  std::string long_child;  // a child record longer than its parent's payload
  {
    std::string payload = "\x13\x8F" + std::string("\x01\x80\x80\x80", 4);
    Sorvil::QVBAppendRecord(long_child, "QvMolBase", payload);
  }
  const std::string err = "Error reading from QvBinary v2, return value was ";
  const std::string cut = "The data end inside a record in QvBinary v2 format.";
  // Damage inside a well-framed record costs that record only: a good one
  // after it is read. Damaged framing loses the rest of the input.
  const struct {
    const char* what;
    std::string damage;
    bool framed;
    std::vector<std::string> messages;
  } cases[] = {
      {"cut at the end", one.substr(0, one.size() / 2), false, {err + "\"Incorrect Size\"", cut}},
      {"cut after the tag", "\x0A", false, {err + "\"End of File\"", cut}},
      {"11-byte varint", "\x0A" + std::string(11, '\x01'), false,
       {"data size corrupt in QvBinary file", err + "\"Read Length Failed\"", cut}},
      {"1024-byte name", std::string("\x00\x00\x88", 3) + std::string(1024, 'n') + "\x81x", false,
       {"error occurred while reading tag in QvBinary file (len = 1024)", err + "\"Read Tag Failed\"", cut}},
      {"2^40 atoms", huge_ct, true, {err + "\"Incorrect Size\""}},
      {"child longer than parent", long_child, true, {err + "\"Incorrect Size\""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = ReadAll(good + c.damage + (c.framed ? one : ""), QvFormat::QVB);
    ASSERT_EQ(r.mols.size(), c.framed ? 4u : 3u);
    ExpectSameMolecule(mol, r.mols.back());
    std::vector<std::string> messages;
    for (const std::string& m : r.messages)
      if (m.rfind("Error reading molecule", 0) != 0) messages.push_back(m);
    EXPECT_EQ(messages, c.messages);
  }
}

// A molecule whose atoms and bonds were all deleted but not swept holds no
// atoms, so a record may be read into it: the new atoms and bonds follow the
// deleted ones in its lists, and the per-atom and per-bond data must go to
// them, never to a deleted record. (Coordinates need atoms numbered by place,
// so the record has none.)
TEST(Qvb, DataOfARecordReadAfterDeletedAtomsReachesTheNewAtoms) {
  QvGraphMol rich = RichMolecule();
  rich.GetMol().ClearCoords();
  std::string record;
  ASSERT_TRUE(QvAppendQVBRecord(record, rich.GetMol(), QvQVBForm::Plain));
  for (const unsigned deleted : {1u, 3u}) {
    SCOPED_TRACE(deleted);
    QvGraphMol target;
    std::vector<QvAtomBase*> old;
    for (unsigned i = 0; i < deleted; ++i) old.push_back(target.GetMol().NewAtom(6));
    if (deleted > 1) target.GetMol().NewBond(old[0], old[1], 1);
    for (QvAtomBase* atom : old) ASSERT_TRUE(target.GetMol().DeleteAtom(atom));
    ASSERT_FALSE(target.GetMol().HasAtoms());
    Pellar::qvisstream in(record.data(), record.size());
    std::string buffer;
    ASSERT_EQ(QvReadQVBRecord(in, target.GetMol(), buffer, nullptr), Sorvil::QVBSuccess);
    target.GetMol().Sweep();
    ExpectSameMolecule(rich, target);
  }
}

TEST(Qvb, TokenizerCutsWholeRecords) {
  const QvGraphMol a = RichMolecule();
  const QvGraphMol b = smiles_test::FromSmiles("N#N");
  const std::string bytes = Write({&a.GetMol(), &b.GetMol()}, QvFormat::QVZ);
  Pellar::qvisstream in(bytes.data(), bytes.size());
  QvQVBTokenizer tokenizer;
  std::string record;
  std::string joined;
  unsigned count = 0;
  while (tokenizer.Next(in, record)) {
    ++count;
    joined += record;
    ASSERT_EQ(ReadAll(record, QvFormat::QVZ).mols.size(), 1u);
  }
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(joined, bytes);
  CapturedMessages captured;
  const std::string cut = bytes.substr(0, bytes.size() - 1);
  Pellar::qvisstream short_in(cut.data(), cut.size());
  EXPECT_TRUE(tokenizer.Next(short_in, record));
  EXPECT_FALSE(tokenizer.Next(short_in, record));
  EXPECT_EQ(captured.lines(), std::vector<std::string>{"Failed to read the required number of bytes"});
}

}  // namespace

// Records are read where they lie in the stream's buffer when they fit, and
// through a copy when the buffer's end cuts them (in the tag, the length or
// the payload) or they are larger than the buffer: all read alike.
TEST(Qvb, RecordsCutByTheStreamBufferReadAlike) {
  const QvGraphMol rich = RichMolecule();
  const QvGraphMol small = smiles_test::FromSmiles("CC");
  // A record of more than one buffer: coordinates alone take 12 bytes an atom.
  QvGraphMol chain = smiles_test::FromSmiles(std::string(Pellar::qvstream::BufferSize / 10, 'C'));
  std::vector<float> xyz(3 * chain.GetMaxAtomIdx(), 1.5f);
  chain.SetCoords(xyz.data());
  ASSERT_GT(Write({&chain.GetMol()}, QvFormat::QVB).size(), Pellar::qvstream::BufferSize);
  const struct {
    const char* what;
    std::vector<const QvMolBase*> pattern;
  } cases[] = {
      {"small records", {&small.GetMol()}},
      {"mixed sizes", {&rich.GetMol(), &small.GetMol(), &small.GetMol()}},
      {"records larger than the buffer", {&chain.GetMol(), &small.GetMol()}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t repeats = 3 * Pellar::qvstream::BufferSize / Write(c.pattern, QvFormat::QVB).size() + 2;
    std::vector<const QvMolBase*> mols;
    for (std::size_t k = 0; k < repeats; ++k) mols.insert(mols.end(), c.pattern.begin(), c.pattern.end());
    const std::string bytes = Write(mols, QvFormat::QVB);
    ASSERT_GT(bytes.size(), 3 * Pellar::qvstream::BufferSize);
    const Read r = ReadAll(bytes, QvFormat::QVB);
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.messages);
    ASSERT_EQ(r.mols.size(), mols.size());
    // The pattern's molecules read as they do alone (every field, above),
    // and every copy writes back to the bytes it was read from.
    std::vector<const QvMolBase*> back;
    for (const QvGraphMol& mol : r.mols) back.push_back(&mol.GetMol());
    EXPECT_TRUE(Write(back, QvFormat::QVB) == bytes);
    for (std::size_t i = 0; i < c.pattern.size(); ++i) ExpectSameMolecule(*c.pattern[i], r.mols[i]);
  }
}
