// CSV through the molecule streams: header detection, quoting, values of
// several lines, the rows that are skipped and what they draw, the writer's
// columns, and the tokenizer. What the reader makes of real files is checked
// against Python's csv module and RDKit in tests/python/test_csv.py.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_test_support.h"
#include "streams_test_support.h"
#include "sorvil/base/tagdata.h"
#include "tamrin/formats/csv/csv.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/streams/tokenizer.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using formattest::ReadAll;
using formattest::ReadResult;
using Strings = std::vector<std::string>;

// A molecule as the tables write it: "atoms:title{tag=value;...}".
std::string Describe(const Tamrin::QvMolBase& mol) {
  std::string out = std::to_string(mol.NumAtoms()) + ":" + mol.GetTitle() + "{";
  for (const auto& [tag, value] : Sorvil::QvGetSDDataPairs(mol)) out += tag + "=" + value + ";";
  return out + "}";
}

Strings Described(const ReadResult& r) {
  Strings out;
  for (const QvGraphMol& mol : r.mols) out.push_back(Describe(mol.GetMol()));
  return out;
}

std::string Failure(const std::string& title) {
  return "Error reading molecule \"" + title + "\" in Comma Separated Values format.";
}

// What the SMILES parser reports for "C1CC" (the caret line under the end).
const Strings kUnclosedRing = {"Problem parsing SMILES:", "Unclosed ring.", "C1CC", "    ^\n"};

struct ReadCase {
  const char* name;
  std::string text;
  Strings mols;
  Strings messages;
  unsigned flavor = 0;
  unsigned failed = 0;
};

TEST(CSVRead, RowsColumnsAndMessages) {
  auto concat = [](std::initializer_list<Strings> parts) {
    Strings all;
    for (const Strings& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const ReadCase cases[] = {
      {"header", "SMILES,Name,logP\nCCO,ethanol,-0.3\nc1ccccc1,benzene,2.1\n",
       {"3:ethanol{logP=-0.3;}", "6:benzene{logP=2.1;}"}, {}},
      {"no header", "CCO,ethanol,1,2\nCC,ethane,3\n",
       {"3:ethanol{QV_CSV_COLUMN_1=1;QV_CSV_COLUMN_2=2;}", "2:ethane{QV_CSV_COLUMN_1=3;}"}, {}},
      {"smiles only", "CCO\nCC\n", {"3:{}", "2:{}"}, {}},
      {"quoted comma and doubled quotes", "SMILES,Name,x\nCCO,\"eth,anol\",\"say \"\"hi\"\"\"\n",
       {"3:eth,anol{x=say \"hi\";}"}, {}},
      {"every field quoted", "\"smiles\",\"y\"\n\"CCO\",\"<-0.77\"\n", {"3:<-0.77{}"}, {}},
      {"quotes inside a field are text", "SMILES,Name,x\nCCO,5\"ft,a\"b\"c\n", {"3:5\"ft{x=a\"b\"c;}"}, {}},
      {"quoted value over two lines", "SMILES,Name,note\nCCO,ethanol,\"two\nlines, \"\"quoted\"\"\"\nCC,ethane,x\n",
       {"3:ethanol{note=two\nlines, \"quoted\";}", "2:ethane{note=x;}"}, {}},
      {"bars are line ends", "SMILES,Name,note\nCCO,a|b,x||y\nCC,e,'p|q'|'it''s'\n",
       {"3:a\nb{note=x\n\ny;}", "2:e{note=p|q\nit's;}"}, {}},
      {"apostrophe inside a line is text", "SMILES,Name\nCCO,5'-AMP\n", {"3:5'-AMP{}"}, {}},
      {"apostrophe not closed", "SMILES,Name\nCCO,'t Hooft|x\n", {"3:'t Hooft|x{}"},
       {"Unable to tokenize pipe separated field: 't Hooft|x"}},
      {"cxsmiles row keeps its bars", "SMILES,Name\nCCO,|a|b| c\n", {"3:|a|b| c{}"}, {}},
      {"smiles column named in the header", "id,name,Canonical_SMILES,x\n7,ethanol,CCO,1\n8,ethane,CC\n",
       {"3:7{name=ethanol;x=1;}", "2:8{name=ethane;}"}, {}},
      {"empty fields add empty items", "SMILES,Name,a,b\nCCO,,,\n", {"3:{a=;b=;}"}, {}},
      {"fields past the header are dropped", "SMILES,Name,a\nCCO,e\nCC,f,1,2\n", {"3:e{}", "2:f{a=1;}"}, {}},
      {"crlf", "SMILES,Name\r\nCCO,a\r\nCC,b\r\n", {"3:a{}", "2:b{}"}, {}},
      {"empty lines pass", "SMILES,Name\nCCO,a\n\n,\nCC,b\n", {"3:a{}", "2:b{}"}, {}},
      {"blank lines before the header", "\n  \nSMILES,Name,x\nCCO,a,1\n", {"3:a{x=1;}"}, {}},
      {"blank lines before the first row", "\nCCO,a,1\n", {"3:a{QV_CSV_COLUMN_1=1;}"}, {}, 0x4000},
      {"header alone", "SMILES,Name\n", {}, {}},
      {"repeated header skipped", "SMILES,Name\nCCO,a\nSMILES,Name\nCC,b\n", {"3:a{}", "2:b{}"},
       {"Problem parsing SMILES:", "SMILES", " ^\n"}},
      {"bad smiles costs its row", "SMILES,Name\nCCO,a\nC1CC,bad\nCC,b\n", {"3:a{}", "2:b{}"}, kUnclosedRing},
      {"two bad rows cost a record", "SMILES,Name\nC1CC,x\nC1CC,y\nCC,b\n", {"2:b{}"},
       concat({kUnclosedRing, kUnclosedRing, {Failure("")}}), 0, 1},
      {"text after the smiles", "SMILES,Name\nCCO ethanol,a\nCC,b\n", {"2:b{}"},
       {"SMILES field in CSV file format contains a title that will be lost:", "'CCO ethanol'", Failure("a")}, 0,
       1},
      {"no header detection", "SMILES,Name\nCCO,a\n", {"3:a{}"},
       {"Problem parsing SMILES:", "SMILES", " ^\n", Failure("")}, 0x4000, 1},
      {"bad rows after a stray quote", "SMILES,Name\nCCO,\"a\nC1CC,x\nC1CC,y\nCC,b\n", {"3:\"a{}", "2:b{}"},
       concat({{"Quoted field in CSV file not closed, its quote taken as text: CCO,\"a"}, kUnclosedRing,
               kUnclosedRing, {Failure("")}}),
       0, 1},
      // A bad row of any kind after a stray quote costs that row alone.
      {"text after the smiles after a stray quote", "SMILES,Name\nCCO,\"a\nCCO ethanol,x\nCC,b\n",
       {"3:\"a{}", "2:b{}"},
       {"Quoted field in CSV file not closed, its quote taken as text: CCO,\"a",
        "SMILES field in CSV file format contains a title that will be lost:", "'CCO ethanol'", Failure("x")},
       0, 1},
      {"bad row after a stray quote without header detection", "CCO,\"a\nC1CC,x\nCC,b\n", {"3:\"a{}", "2:b{}"},
       concat({{"Quoted field in CSV file not closed, its quote taken as text: CCO,\"a"}, kUnclosedRing,
               {Failure("")}}),
       0x4000, 1},
      {"empty lines after a stray quote", "SMILES,Name\nCCO,\"a\n\n,\nCC,b\n", {"3:\"a{}", "2:b{}"},
       {"Quoted field in CSV file not closed, its quote taken as text: CCO,\"a"}},
      {"stray quote read as text", "SMILES,Name\nCCO,\"a\nCC,b\nCCC,c\n", {"3:\"a{}", "2:b{}", "3:c{}"},
       {"Quoted field in CSV file not closed, its quote taken as text: CCO,\"a"}},
  };
  for (const ReadCase& c : cases) {
    for (const bool gzip : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (gzip ? " (gzip)" : ""));
      Tamrin::qvmolistream in;
      ASSERT_TRUE(in.SetFormat(QvFormat::CSV));
      if (c.flavor) {
        ASSERT_TRUE(in.SetFlavor(QvFormat::CSV, c.flavor));
      }
      ASSERT_TRUE(in.SetGzip(gzip));
      ASSERT_TRUE(in.openstring(gzip ? streamtest::Gzip(c.text) : c.text));
      const ReadResult r = ReadAll(in);
      EXPECT_EQ(Described(r), c.mols);
      EXPECT_EQ(r.messages, c.messages);
      EXPECT_EQ(r.failed, c.failed);
    }
  }
}

// A stream that found no row at all keeps the one placeholder column.
TEST(CSVRead, EmptyInputLeavesThePlaceholderHeader) {
  // An empty gzip member: no bytes at all, where an empty string would not
  // open.
  const unsigned char empty_gzip[] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Tamrin::qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::CSV));
  ASSERT_TRUE(in.SetGzip(true));
  ASSERT_TRUE(in.openstring(empty_gzip, sizeof empty_gzip));
  QvGraphMol mol;
  EXPECT_FALSE(Tamrin::QvCSVReadFxn(in, mol.GetMol(), 0x1));
  EXPECT_EQ(in.Cache().columns, Strings{"INVALID_FIELD_NAME"});
  // Later reads take every line as data; there is none.
  EXPECT_FALSE(Tamrin::QvCSVReadFxn(in, mol.GetMol(), 0x1));
}

QvGraphMol Molecule(const std::string& smiles, const std::string& title, const Strings& items) {
  QvGraphMol mol;
  EXPECT_TRUE(Tamrin::QvParseSmiles(mol.GetMol(), smiles, false, false));
  mol.SetTitle(title);
  for (std::size_t i = 0; i + 1 < items.size(); i += 2) Sorvil::QvAddSDData(mol.GetMol(), items[i], items[i + 1]);
  return mol;
}

std::string WriteAll(const std::vector<QvGraphMol>& mols) {
  Tamrin::qvmolostream out;
  EXPECT_TRUE(out.SetFormat(QvFormat::CSV));
  EXPECT_TRUE(out.openstring(false));
  for (const QvGraphMol& mol : mols) EXPECT_EQ(Tamrin::QvWriteMolecule(out, mol), 0);
  return out.GetString();
}

TEST(CSVWrite, FieldsReadBackAsWritten) {
  const Strings values = {"plain", "with,comma", "\"starts with a quote\"", "in\"side", "two\nlines",
                          "bar|inside",  "'apostrophe", "it's", "''", "", "a\n\nb|c\n'd'"};
  // The first molecule names a column after each value, so the header line
  // goes through the same rules.
  Strings items;
  for (const std::string& v : values) items.insert(items.end(), {v.empty() ? "empty" : v, v});
  items.insert(items.end(), {"v", "first"});
  std::vector<QvGraphMol> mols = {Molecule("CO", "first", items)};
  for (const std::string& v : values) mols.push_back(Molecule("CO", v, {"v", v}));
  const std::string text = WriteAll(mols);
  EXPECT_NE(text.find(",\"with,comma\","), std::string::npos) << text;
  EXPECT_NE(text.find(",two|lines,"), std::string::npos) << text;
  EXPECT_NE(text.find(",\"\"\"starts with a quote\"\"\","), std::string::npos) << text;

  const ReadResult r = ReadAll(text, QvFormat::CSV);
  ASSERT_EQ(r.mols.size(), mols.size()) << text;
  EXPECT_EQ(Describe(r.mols[0].GetMol()), Describe(mols[0].GetMol()));
  for (std::size_t i = 1; i < mols.size(); ++i) {
    const Tamrin::QvMolBase& mol = r.mols[i].GetMol();
    EXPECT_EQ(mol.GetTitle(), values[i - 1]) << text;
    EXPECT_EQ(Sorvil::QvGetSDData(mol, "v"), values[i - 1]) << text;
    EXPECT_EQ(mol.NumAtoms(), 2u);
  }
  EXPECT_TRUE(r.messages.empty());
}

TEST(CSVTokenizer, RowsWithTheirQuotedLineEnds) {
  const std::pair<std::string, Strings> cases[] = {
      {"a,b\n\"x\ny\",z\nlast", {"a,b\n", "\"x\ny\",z\n", "last\n"}},
      {"a,\"b\"\"\nc\"\"\",d\r\ne\n", {"a,\"b\"\"\nc\"\"\",d\n", "e\n"}},
      // A quote that never closes is text; the lines after it are rows.
      {"h\n\"a\nb\nc,d\n", {"h\n", "\"a\n", "b\n", "c,d\n"}},
      {"h\n\"a\nC x,y\n\nb\n", {"h\n", "\"a\n", "C x,y\n", "\n", "b\n"}},
      {"", {}},
  };
  for (const auto& [text, records] : cases) EXPECT_EQ(formattest::Records(QvFormat::CSV, 0x4001, text), records) << text;
}

}  // namespace
