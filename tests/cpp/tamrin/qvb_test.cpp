// QVB and QVZ molecule records through the molecule streams: every field
// round trips, unknown records come back byte for byte, damaged input gives
// the container's messages without losing the records before it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pellar/qvgzstream.h"
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
  QvGraphMol mol = smiles_test::FromSmiles("[13CH3][C@@H](N)/C=C/C(=O)[O-].c1ccccc1 |&1:1|");
  mol.SetTitle("rich \xC3\xA9 title");
  mol.SetEnergy(-12.5f);
  std::vector<float> xyz;
  for (unsigned i = 0; i < 3 * mol.GetMaxAtomIdx(); ++i) xyz.push_back(0.1f * static_cast<float>(i) - 1.0f / 3.0f);
  mol.SetCoords(xyz.data());
  Sorvil::QvAddSDData(mol.GetMol(), "PUBCHEM_ID", "42");
  Sorvil::QvAddSDData(mol.GetMol(), "PUBCHEM_ID", "second\nline");
  mol.SetData(Sorvil::QvGetTag("qvb.int"), std::int32_t{-7});
  mol.SetData(Sorvil::QvGetTag("qvb.u64"), std::int64_t{1} << 40);
  mol.SetData(Sorvil::QvGetTag("qvb.double"), 1.0 / 3.0);
  mol.SetData(Sorvil::QvGetTag("qvb.vector"), std::vector<double>{1.5, -2.5});
  mol.SetData(Sorvil::QvGetTag("qvb.ints"), std::vector<std::int32_t>{3, -4});
  QvAtomBase& first = *mol.GetMol().AtomList()[0];
  first.SetPartialCharge(-0.25f);
  first.SetName("C1'");
  first.SetType("C.3");
  QvResidue residue;
  residue.name = "LIG";
  residue.chain = "B";
  residue.number = 7;
  residue.hetero = true;
  residue.b_factor = 12.5f;
  QvSetResidue(first, residue);
  mol.GetMol().AtomList()[2]->SetData(Sorvil::QvAnisoTag, Sorvil::QvAnisoValues{1, 2, 3, 4, 5, -6});
  mol.GetMol().BondList()[0]->SetType("am");
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
