// Generic data payloads of QVB records: every value type read back as
// written, payloads of the older version with lengths on every value, and
// the error each kind of damage gets.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "sorvil/base/tagdata.h"
#include "tamrin/formats/qvb/qvbdata.h"
#include "tamrin/model/model.h"
#include "model_test_support.h"

namespace {

using Sorvil::QVBCursor;
using Sorvil::QVBReturn;
using Sorvil::QvBase;

// Value type codes and well-known name positions of the payload layout.
constexpr unsigned char kBool = 1;
constexpr unsigned char kSDInteger = 16;
constexpr unsigned char kZigInt = 14;
constexpr unsigned char kVarUInt = 15;
constexpr std::uint64_t kSDTagDataName = 0;

std::string Varint(std::uint64_t v) {
  std::string out;
  Sorvil::QVBAppendVarint(out, v);
  return out;
}

std::string Zigzag(std::int64_t v) {
  return Varint((static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
}

// A payload naming only "SDTagData" (well-known position 0), then `items`.
std::string OneNamePayload(unsigned version, std::size_t count, const std::string& items) {
  return std::string(1, static_cast<char>(version)) + Varint(1) + Varint(kSDTagDataName) + Varint(count) + items;
}

// A reference to a built-in tag, and to the first name of the table.
std::string BuiltinRef(Sorvil::QvTag tag) { return Varint(2 * std::uint64_t{tag}); }
const std::string kFirstName = Varint(1);

std::string Payload(const QvBase& object) {
  Tamrin::qvb::DataWriter writer;
  writer.Items(object);
  return writer.Finish(false);
}

QVBReturn Read(const std::string& payload, QvBase& object) {
  QVBCursor in(payload);
  return Tamrin::qvb::ReadData(in, object);
}

// Every value type the payload has a code for, with edge values; SD pairs
// whose value prints as an integer travel as a number, the others as text.
QvBase EveryKindOfItem() {
  QvBase object;
  object.AddData(Sorvil::QvGetTag("flag on"), true);
  object.AddData(Sorvil::QvGetTag("flag off"), false);
  object.AddData(Sorvil::QvBondStereoTag, std::numeric_limits<std::int32_t>::min());
  object.AddData(Sorvil::QvIntTypeTag, std::numeric_limits<std::int32_t>::max());
  object.AddData(Sorvil::QvGetTag("unsigned"), std::numeric_limits<std::uint32_t>::max());
  object.AddData(Sorvil::QvGetTag("wide"), std::numeric_limits<std::int64_t>::min());
  object.AddData(Sorvil::QvPartialChargeTag, -0.25f);
  object.AddData(Sorvil::QvGetTag("double"), 1e300);
  object.AddData(Sorvil::QvNameTag, std::string("a name"));
  object.AddData(Sorvil::QvGetTag("ints"), std::vector<std::int32_t>{-1, 0, 7});
  object.AddData(Sorvil::QvAnisoTag, Sorvil::QvAnisoValues{1, -2, 3, -4, 5, -6});
  object.AddData(Sorvil::QvGetTag("floats"), std::vector<float>{});
  object.AddData(Sorvil::QvGetTag("doubles"), std::vector<double>{0.5, -2.0});
  for (const char* value : {"0", "-42", "007", "+1", "-0", "9223372036854775807", "-9223372036854775808",
                            "99999999999999999999", "", "a longer value than fits in a short string"})
    Sorvil::QvAddSDData(object, std::string("name of ") + value, value);
  return object;
}

TEST(QvbData, EveryKindOfItemReadsBackAsWritten) {
  const QvBase written = EveryKindOfItem();
  const std::string payload = Payload(written);
  QvBase read;
  ASSERT_EQ(Read(payload, read), Sorvil::QVBSuccess);
  ASSERT_EQ(read.NumData(), written.NumData());
  auto back = read.GetDataItems().begin();
  for (const Sorvil::QvBaseData& item : written.GetDataItems()) {
    EXPECT_EQ(back->GetTag(), item.GetTag());
    EXPECT_EQ(back->GetType(), item.GetType());
    ++back;
  }
  EXPECT_EQ(Sorvil::QvGetSDDataPairs(read), Sorvil::QvGetSDDataPairs(written));
  // The encoding tells every value of a type apart: equal bytes, equal values.
  EXPECT_EQ(Payload(read), payload);
  // Cleared and read again, as a reader does with one molecule per record.
  read.ClearData();
  ASSERT_EQ(Read(payload, read), Sorvil::QVBSuccess);
  EXPECT_EQ(Payload(read), payload);
}

TEST(QvbData, EveryCutOfAPayloadIsReportedAsShort) {
  const std::string payload = Payload(EveryKindOfItem());
  for (std::size_t cut = 1; cut < payload.size(); ++cut) {
    QvBase read;
    EXPECT_EQ(Read(payload.substr(0, cut), read), Sorvil::QVBIncorrectSize) << "cut at " << cut;
  }
}

struct Damage {
  const char* what;
  std::string payload;
  QVBReturn expected;
};

TEST(QvbData, DamagedValuesGetTheirOwnError) {
  const std::string int_ref = BuiltinRef(Sorvil::QvBondStereoTag);
  const std::string unknown_name = Varint(3);  // the second name, of a table of one
  const std::vector<Damage> cases = {
      {"bool of 2", OneNamePayload(3, 1, kFirstName + char(kBool) + char(2)), Sorvil::QVBCheckFailed},
      {"bool cut", OneNamePayload(3, 1, kFirstName + char(kBool)), Sorvil::QVBIncorrectSize},
      {"int above 32 bits", OneNamePayload(3, 1, int_ref + char(kZigInt) + Zigzag(std::int64_t{1} << 31)),
       Sorvil::QVBCheckFailed},
      {"int below 32 bits", OneNamePayload(3, 1, int_ref + char(kZigInt) + Zigzag(-(std::int64_t{1} << 31) - 1)),
       Sorvil::QVBCheckFailed},
      {"unsigned above 32 bits", OneNamePayload(3, 1, int_ref + char(kVarUInt) + Varint(std::uint64_t{1} << 32)),
       Sorvil::QVBCheckFailed},
      {"unsigned cut", OneNamePayload(3, 1, int_ref + char(kVarUInt) + Varint(300).substr(0, 1)),
       Sorvil::QVBIncorrectSize},
      {"SD name cut", OneNamePayload(3, 1, kFirstName + char(kSDInteger) + Varint(5) + "abc"),
       Sorvil::QVBIncorrectSize},
      {"SD number missing", OneNamePayload(3, 1, kFirstName + char(kSDInteger) + Varint(3) + "abc"),
       Sorvil::QVBIncorrectSize},
      {"name not in the table", OneNamePayload(3, 1, unknown_name + char(kBool) + char(1)), Sorvil::QVBCheckFailed},
      {"name not in the table, value cut", OneNamePayload(3, 1, unknown_name + char(kSDInteger) + Varint(3) + "ab"),
       Sorvil::QVBIncorrectSize},
      // Version 2 put a length before bools and SD integers; the value must fill it.
      {"v2 bool with a byte over", OneNamePayload(2, 1, kFirstName + char(kBool) + Varint(2) + char(1) + char(0)),
       Sorvil::QVBCheckFailed},
      {"v2 SD integer with a byte over",
       OneNamePayload(2, 1, kFirstName + char(kSDInteger) + Varint(6) + Varint(3) + "abc" + Zigzag(5) + char(0)),
       Sorvil::QVBCheckFailed},
      {"v2 bool cut", OneNamePayload(2, 1, kFirstName + char(kBool) + Varint(1)), Sorvil::QVBIncorrectSize},
  };
  for (const Damage& c : cases) {
    QvBase read;
    EXPECT_EQ(Read(c.payload, read), c.expected) << c.what;
  }
}

TEST(QvbData, VersionTwoValuesWithLengthsReadAsTheCurrentOnes) {
  const std::string sd_value = Varint(6) + "record" + Zigzag(-1234);
  const std::string v2 = OneNamePayload(2, 3,
                                        BuiltinRef(Sorvil::QvChiralTag) + char(kBool) + Varint(1) + char(1) +  //
                                            kFirstName + char(kSDInteger) + Varint(sd_value.size()) + sd_value +  //
                                            BuiltinRef(Sorvil::QvBondStereoTag) + char(kZigInt) + Zigzag(-3));
  const std::string v3 = OneNamePayload(3, 3,
                                        BuiltinRef(Sorvil::QvChiralTag) + char(kBool) + char(1) +  //
                                            kFirstName + char(kSDInteger) + sd_value +  //
                                            BuiltinRef(Sorvil::QvBondStereoTag) + char(kZigInt) + Zigzag(-3));
  QvBase old_layout;
  QvBase new_layout;
  ASSERT_EQ(Read(v2, old_layout), Sorvil::QVBSuccess);
  ASSERT_EQ(Read(v3, new_layout), Sorvil::QVBSuccess);
  EXPECT_EQ(Payload(old_layout), Payload(new_layout));
  EXPECT_EQ(Sorvil::QvGetSDData(new_layout, "record"), "-1234");
  EXPECT_EQ(new_layout.GetData<bool>(Sorvil::QvChiralTag), true);
  EXPECT_EQ(new_layout.GetData<std::int32_t>(Sorvil::QvBondStereoTag), -3);
}

// Per-atom data goes in columns when every atom's items follow the column
// order, in rows otherwise; both read back onto the same atoms.
TEST(QvbData, PerAtomItemsReachTheirAtomsInEitherLayout) {
  for (const bool rows : {false, true}) {
    Tamrin::QvGraphMol written;
    model_test::MakeChain(written.GetMol(), 5);
    const auto& atoms = written.GetMol().AtomList();
    atoms[1]->AddData(Sorvil::QvGetTag("QvAtomStereo"), 2u);
    atoms[3]->AddData(Sorvil::QvGetTag("QvAtomStereo"), 1u);
    atoms[3]->AddData(Sorvil::QvBondStereoTag, -7);
    atoms[4]->AddData(Sorvil::QvBondStereoTag, 6);
    // A later atom with the two kinds the other way round forces rows.
    if (rows) atoms[4]->AddData(Sorvil::QvGetTag("QvAtomStereo"), 9u);
    Tamrin::qvb::DataWriter writer;
    for (std::size_t i = 0; i < atoms.size(); ++i) writer.Items(*atoms[i], static_cast<long>(i));
    const std::string payload = writer.Finish(true);

    Tamrin::QvGraphMol read;
    model_test::MakeChain(read.GetMol(), 5);
    QVBCursor in(payload);
    const auto& targets = read.GetMol().AtomList();
    ASSERT_EQ(Tamrin::qvb::ReadOwnersData(in, std::span<Tamrin::QvAtomBase* const>(targets)), Sorvil::QVBSuccess);
    for (std::size_t i = 0; i < atoms.size(); ++i) EXPECT_EQ(Payload(*targets[i]), Payload(*atoms[i])) << i;
  }
}

TEST(QvbData, AColumnEntryPastTheLastOwnerIsRefused) {
  // Version 3, no names, columns, one column of ints for a position past the end.
  const std::string head = std::string(1, 3) + Varint(0) + char(1) + Varint(1) +
                           BuiltinRef(Sorvil::QvBondStereoTag) + char(kZigInt) + Varint(1) + Varint(5);
  Tamrin::QvGraphMol mol;
  model_test::MakeChain(mol.GetMol(), 3);
  const std::span<Tamrin::QvAtomBase* const> owners(mol.GetMol().AtomList());
  const std::string whole = head + Zigzag(4);
  QVBCursor in(whole);
  EXPECT_EQ(Tamrin::qvb::ReadOwnersData(in, owners), Sorvil::QVBCheckFailed);
  QVBCursor cut(head);
  EXPECT_EQ(Tamrin::qvb::ReadOwnersData(cut, owners), Sorvil::QVBIncorrectSize);
}

}  // namespace
