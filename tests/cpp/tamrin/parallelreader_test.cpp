// Reading with worker threads against reading on one thread: for inputs of
// every format taken, with bad records, records cut short, blank lines the
// tokenizer cannot cut and gzip, the molecules (as written back), the
// messages in order and the count of failed records must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "support/captured_messages.h"
#include "support/deflate.h"
#include "pellar/qvstream.h"
#include "sorvil/base/tagdata.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/parallelreader.h"

namespace {

using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;
using Tamrin::qvmolistream;
using Tamrin::QvParallelReader;

struct Outcome {
  std::vector<std::string> mols;
  std::vector<std::string> messages;
  unsigned failed = 0;
};

// The text without the minute of writing in SD header lines
// ("-Tamrin-MMDDYYHHmm2D"), which two reads of one input need not share.
std::string WithoutWriteTimes(std::string_view text) {
  constexpr std::string_view kProgram = "-Tamrin-";
  std::string kept;
  for (std::size_t at = text.find(kProgram); at != std::string_view::npos; at = text.find(kProgram)) {
    kept += text.substr(0, at + kProgram.size());
    text.remove_prefix(std::min(text.size(), at + kProgram.size() + 10));
  }
  return kept += text;
}

// What a molecule writes as, in the format it was read from and as
// canonical SMILES, with what perception established.
std::string Described(const QvMolBase& mol, QvFormat format) {
  std::string text = std::to_string(mol.NumAtoms()) + " " + mol.GetTitle() + "\n";
  for (const QvFormat as : {format, QvFormat::CAN}) {
    Tamrin::qvmolostream out;
    out.SetFormat(as);
    out.openstring(false);
    Tamrin::QvWriteMolecule(out, mol);
    text += out.GetString();
  }
  text = WithoutWriteTimes(text);
  for (unsigned bit = 1; bit != 0; bit <<= 1) text += mol.HasPerceived(bit) ? '1' : '0';
  return text;
}

// Every molecule through `next`, with the messages said while reading.
Outcome ReadEvery(QvFormat format, const std::function<bool(QvMolBase&)>& next) {
  Outcome outcome;
  CapturedMessages captured;
  const auto heard = [&] {
    outcome.messages.insert(outcome.messages.end(), captured.lines().begin(), captured.lines().end());
    captured.clear();
  };
  QvGraphMol mol;
  while (next(mol.GetMol())) {
    heard();
    outcome.mols.push_back(Described(mol.GetMol(), format));
    captured.clear();  // what writing says is no part of reading
  }
  heard();
  return outcome;
}

void Open(qvmolistream& in, const std::string& data, QvFormat format, bool gzip) {
  in.SetGzip(gzip);
  ASSERT_TRUE(in.openstring(gzip ? Deflate(data, 31) : data));
  ASSERT_TRUE(in.SetFormat(format));
}

Outcome OneThread(const std::string& data, QvFormat format, bool gzip) {
  qvmolistream in;
  Open(in, data, format, gzip);
  Outcome outcome = ReadEvery(format, [&](QvMolBase& mol) { return Tamrin::QvReadMolecule(in, mol); });
  outcome.failed = in.GetFailedCount();
  return outcome;
}

Outcome Threads(const std::string& data, QvFormat format, bool gzip, unsigned threads) {
  qvmolistream in;
  Open(in, data, format, gzip);
  EXPECT_TRUE(QvParallelReader::Supports(in));
  QvParallelReader reader(in, threads);
  Outcome outcome = ReadEvery(format, [&](QvMolBase& mol) { return reader.Next(mol); });
  outcome.failed = reader.GetFailedCount();
  return outcome;
}

const char* const kSmiles[] = {
    "c1ccccc1O", "C[C@H](N)C(=O)[O-]", "F/C=C/Cl", "[NH4+].[Cl-]", "Cn1cnc2c1c(=O)n(C)c(=O)n2C",
    "[13CH3]C#N", "C1CC2CCC1CC2", "O=S(=O)(O)c1ccc(cc1)N", "c1ccc2[nH]ccc2c1", "OC[C@@H]1OC(O)[C@H](O)[C@@H]1O",
};

// Many records of `format` written from the SMILES above, each with SD data.
std::string Written(QvFormat format, unsigned copies) {
  Tamrin::qvmolostream out;
  out.SetFormat(format);
  out.openstring(false);
  for (unsigned i = 0; i < copies; ++i) {
    for (const char* smiles : kSmiles) {
      QvGraphMol mol;
      Tamrin::QvParseSmiles(mol.GetMol(), smiles, false, false);
      std::string title = "m";
      (title += std::to_string(i)) += '_';
      mol->SetTitle(title += smiles);
      Sorvil::QvAddSDData(mol.GetMol(), "index", std::to_string(i));
      Tamrin::QvWriteMolecule(out, mol.GetMol());
    }
  }
  return out.GetString();
}

std::string Smiles(unsigned copies) {
  std::string text;
  for (unsigned i = 0; i < copies; ++i)
    for (const char* smiles : kSmiles) text += std::string(smiles) + " t" + std::to_string(i) + "\n";
  return text;
}

// A table with a header, values of two lines and rows no reader can take:
// one alone, two running (the first read takes both), the last.
std::string Table(unsigned copies) {
  std::string text = "SMILES,Name,index,note\n";
  for (unsigned i = 0; i < copies; ++i) {
    for (const char* smiles : kSmiles) {
      const std::string n = std::to_string(i);
      text += std::string(smiles) + ",t" + n + "," + n + (i % 3 ? ",x\n" : ",\"two\nlines\"\n");
    }
    if (i % 9 == 4) text += "C1CC,bad,0,y\n";
    if (i % 11 == 6) text += "C(C,bad,0,y\nC1CC,bad,1,y\n";
  }
  return text + "C1CC,bad,0,y\n";
}

std::string Replaced(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// `text` with `line` put before each of the lines numbered in `at` (from 0, descending).
std::string Inserted(std::string text, std::initializer_list<std::size_t> at, const std::string& line) {
  for (const std::size_t n : at) {
    std::size_t pos = 0;
    for (std::size_t k = 0; k < n; ++k) pos = text.find('\n', pos) + 1;
    text.insert(pos, line + "\n");
  }
  return text;
}

// Each line "a b" as "b a".
std::string Swapped(const std::string& lines) {
  std::string out;
  for (std::size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = lines.substr(at, end - at);
    const std::size_t blank = line.find(' ');
    out += line.substr(blank + 1) + ' ' + line.substr(0, blank) + '\n';
  }
  return out;
}

struct Case {
  const char* name;
  QvFormat format;
  std::string data;
  unsigned min_mols;  // the one-thread reading, so that a case cannot pass empty
  unsigned min_failed;
};

std::vector<Case> Cases() {
  const std::string sdf = Written(QvFormat::SDF, 30);
  const std::string mol2 = Written(QvFormat::MOL2, 20);
  const std::string xyz = Written(QvFormat::XYZ, 20);
  const std::string smi = Smiles(40);
  const std::string qvb = Written(QvFormat::QVB, 20);
  const std::string bad_sdf = "bad\n  x\n\n  3  2  0  0  0  0  0  0  0  0999 V2000\nnonsense\n$$$$\n";
  return {
      {"sdf", QvFormat::SDF, sdf, 300, 0},
      {"sdf_bad_records", QvFormat::SDF, sdf.substr(0, sdf.size() / 2) + bad_sdf + sdf + bad_sdf + sdf, 700, 2},
      {"sdf_cut_short", QvFormat::SDF, sdf.substr(0, sdf.size() - 200), 290, 1},
      {"smiles_bad_lines", QvFormat::SMI, smi + "C1CC bad\n\nC(C open\n" + smi + "\n\n" + "c1cccc1 last", 800, 3},
      {"smiles_blank_tail", QvFormat::ISM, smi + "\n\n", 400, 0},
      // Line ends that are no plain LF, which the batches must end at as a
      // reader would.
      {"smiles_cr", QvFormat::SMI, Replaced(smi + "C1CC bad\n\r\n" + smi, "\n", "\r"), 800, 1},
      {"sdf_crlf", QvFormat::SDF, Replaced(sdf, "\n", "\r\n"), 300, 0},
      {"sdf_cr", QvFormat::SDF, Replaced(sdf, "\n", "\r"), 300, 0},
      {"mol2", QvFormat::MOL2, mol2 + "@<TRIPOS>MOLECULE\nbroken\n2 1\n" + mol2, 400, 1},
      // The blank lines are no record to the tokenizer: the rest is read
      // on the calling thread, which reads on past them.
      {"xyz_blank_between", QvFormat::XYZ, xyz + "\n\n" + xyz + "3\ncut\nC 0 0 0\n", 400, 3},
      // The last record cut short: the tokenizer cannot frame it, and the
      // calling thread reads it.
      {"qvb_cut_short", QvFormat::QVB, qvb + qvb.substr(0, qvb.size() - 30), 390, 1},
      {"csv", QvFormat::CSV, Table(40), 390, 4},
      {"csv_no_header", QvFormat::CSV, Replaced(Smiles(40) + "C1CC bad\nC(C open\n" + Smiles(40), " ", ","), 800, 1},
      // The header names the SMILES column, which is not the first.
      {"csv_smiles_named", QvFormat::CSV, "title,SMILES\n" + Replaced(Swapped(Smiles(40)), " ", ","), 400, 0},
      {"csv_header_only", QvFormat::CSV, "SMILES,Name\n", 0, 0},
      // Bad rows alone and running where batches of 64 records begin, and a
      // quote that never closes.
      {"csv_batch_edges", QvFormat::CSV,
       "SMILES,Name\n" + Inserted(Inserted(Replaced(Smiles(40), " ", ","), {300}, "CCO,\"open quote"),
                                  {129, 129, 64, 10, 10}, "C1CC,bad"),
       390, 2},
      {"qvz", QvFormat::QVZ, Written(QvFormat::QVZ, 20), 200, 0},
  };
}

class ParallelReader : public testing::TestWithParam<std::tuple<Case, unsigned, bool>> {};

TEST_P(ParallelReader, ReadsAsOneThreadDoes) {
  const auto& [c, threads, gzip] = GetParam();
  const Outcome one = OneThread(c.data, c.format, gzip);
  ASSERT_GE(one.mols.size(), c.min_mols);
  ASSERT_GE(one.failed, c.min_failed);
  ASSERT_EQ(one.messages.empty(), c.min_failed == 0);
  const Outcome many = Threads(c.data, c.format, gzip, threads);
  ASSERT_EQ(many.mols.size(), one.mols.size());
  for (std::size_t i = 0; i < one.mols.size(); ++i) ASSERT_EQ(many.mols[i], one.mols[i]) << "molecule " << i;
  EXPECT_EQ(many.messages, one.messages);
  EXPECT_EQ(many.failed, one.failed);
}

INSTANTIATE_TEST_SUITE_P(Inputs, ParallelReader,
                         testing::Combine(testing::ValuesIn(Cases()), testing::Values(1u, 2u, 8u), testing::Bool()),
                         [](const testing::TestParamInfo<ParallelReader::ParamType>& p) {
                           return std::string(std::get<0>(p.param).name) + "_" +
                                  std::to_string(std::get<1>(p.param)) + (std::get<2>(p.param) ? "_gz" : "");
                         });

// A gzip input cut short: the damage shows once the molecules before the
// record during which one thread meets it have been read, not before or after.
TEST(ParallelReaderDamage, ShowsWhereOneThreadMeetsIt) {
  struct Input {
    QvFormat format;
    std::string gz;
  };
  const Input inputs[] = {{QvFormat::SDF, Deflate(Written(QvFormat::SDF, 60), 31)},
                          {QvFormat::SMI, Deflate(Smiles(3000), 31)}};
  // The molecules read before the damage showed, and all of them.
  const auto read = [](std::string_view gz, QvFormat format, unsigned threads) {
    qvmolistream in;
    in.SetGzip(true);
    EXPECT_TRUE(in.openstring(gz));
    EXPECT_TRUE(in.SetFormat(format));
    CapturedMessages quiet;
    std::optional<QvParallelReader> reader;
    if (threads > 1) reader.emplace(in, threads);
    std::size_t count = 0, before_damage = 0;
    bool damaged = false;
    QvGraphMol mol;
    for (;;) {
      const bool got = reader ? reader->Next(mol.GetMol()) : Tamrin::QvReadMolecule(in, mol.GetMol());
      damaged = (reader ? reader->Damage() : in.GetStream().damage()) != nullptr;
      if (!damaged) before_damage = count + got;
      if (!got) break;
      ++count;
    }
    return std::tuple(before_damage, count, damaged);
  };
  for (const Input& input : inputs) {
    for (const double kept : {0.2, 0.45, 0.7, 0.93}) {
      const std::string_view cut = std::string_view(input.gz).substr(0, static_cast<std::size_t>(input.gz.size() * kept));
      const auto one = read(cut, input.format, 1);
      ASSERT_TRUE(std::get<2>(one)) << "the damage must show";
      ASSERT_GT(std::get<1>(one), 10u);
      EXPECT_EQ(read(cut, input.format, 2), one) << Tamrin::QvFormatDescription(input.format) << " kept " << kept;
    }
  }
}

std::size_t ThreadsOfProcess() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

// The count once it holds still: a thread that was just joined can stay
// listed for a moment after its join returned.
std::size_t SteadyThreadCount() {
  std::size_t last = ThreadsOfProcess();
  for (int i = 0; i < 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::size_t now = ThreadsOfProcess();
    if (now == last) return now;
    last = now;
  }
  return last;
}

// Dropping a reader in the middle of its input ends every worker, and an
// input read to its end leaves none waiting either.
TEST(ParallelReaderThreads, EndWithTheReader) {
  const std::string smi = Smiles(200);
  // A sanitizer runtime starts a helper thread of its own with the first
  // thread a process makes: let that happen before counting.
  std::thread([] {}).join();
  const std::size_t before = SteadyThreadCount();
  for (const bool to_end : {false, true}) {
    qvmolistream in;
    Open(in, smi, QvFormat::SMI, false);
    {
      QvParallelReader reader(in, 8);
      EXPECT_EQ(reader.NumThreads(), 8u);
      EXPECT_EQ(ThreadsOfProcess(), before + 7) << "the calling thread is one of the eight";
      QvGraphMol mol;
      ASSERT_TRUE(reader.Next(mol.GetMol()));
      if (to_end)
        while (reader.Next(mol.GetMol())) {
        }
    }
    EXPECT_EQ(SteadyThreadCount(), before) << (to_end ? "after the end" : "dropped early");
  }
}

TEST(ParallelReaderThreads, CountIsCappedAndFormatsWithStateAreLeftOut) {
  qvmolistream in;
  Open(in, Smiles(1), QvFormat::SMI, false);
  EXPECT_EQ(QvParallelReader(in, 1000).NumThreads(), QvParallelReader::kMaxThreads);
  EXPECT_EQ(QvParallelReader(in, 0).NumThreads(), 1u);
  for (const QvFormat format : {QvFormat::JSON, QvFormat::INCHI}) {
    ASSERT_TRUE(in.SetFormat(format));
    EXPECT_FALSE(QvParallelReader::Supports(in)) << Tamrin::QvFormatDescription(format);
  }
}

}  // namespace
