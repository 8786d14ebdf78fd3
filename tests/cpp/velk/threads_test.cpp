// Load: eight threads at once through everything the process shares. Each
// converts molecules to and from text and bytes (its own per-thread streams),
// writes and reads files by name, looks up and registers format handlers, and
// registers and looks up tag names, while bad input keeps the error handler
// busy. Every result must equal what one thread alone produced beforehand.
//
// The run lasts about a second; NIMBREL_STRESS_SECONDS stretches it (make
// stress runs it for a minute under ThreadSanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "pellar/qvgzstream.h"
#include "pellar/qvsstream.h"
#include "sorvil/base/tagdata.h"
#include "sorvil/base/tagregistry.h"
#include "sorvil/error/errorhandler.h"
#include "support/scratch_dir.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/mcmol.h"
#include "velk/conversions.h"
#include "velk/formatregistry.h"
#include "velk/handles.h"

namespace {

using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;

constexpr int kThreads = 8;

double RunSeconds() {
  const char* text = std::getenv("NIMBREL_STRESS_SECONDS");
  const double seconds = text ? std::atof(text) : 0.0;
  return seconds > 0 ? seconds : 1.0;
}

// Small molecules that exercise aromaticity, charges, stereo, isotopes and
// several components; the last ones get no coordinates, so the SD writer lays
// them out in 2D on the way.
const char* const kSmiles[] = {
    "c1ccccc1O phenol",
    "C[C@H](N)C(=O)[O-] alanine",
    "F/C=C/Cl difluoro",
    "[NH4+].[Cl-] salt",
    "Cn1cnc2c1c(=O)n(C)c(=O)n2C caffeine",
    "[13CH3]C#N acetonitrile",
    "C1CC2CCC1CC2 bicyclooctane",
    "O=S(=O)(O)c1ccc(cc1)N sulfanilic",
};
constexpr std::size_t kWithCoords = 6;

// Format name as the string conversions take it, whether it is binary, and
// whether the registry knows its file suffix with ".gz".
struct Format {
  const char* name;
  bool binary;
  bool gz_suffix;
};
const Format kFormats[] = {{"smi", false, true},  {"ism", false, false}, {"sdf", false, true},
                           {"mol2", false, true}, {"pdb", false, true},  {"xyz", false, true},
                           {"csv", false, true},  {"qvb", true, true},   {"qvz", true, false}};

// The header line of a molfile carries the minute of writing; nothing else
// in any output depends on the clock.
std::string WithoutDates(std::string text) {
  static const std::string mark = "\n  -Tamrin-";
  for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1))
    text.replace(at + mark.size(), std::min<std::size_t>(10, text.size() - at - mark.size()), "MMDDYYHHmm");
  return text;
}

std::string Gunzip(const std::string& bytes) {
  Pellar::qvisstream in(bytes.data(), bytes.size());
  Pellar::qvigzstream gz(in);
  std::string text;
  gz.readall(text);
  return text;
}

void Decorate(QvMolBase& mol, std::size_t i) {
  if (i < kWithCoords) {
    unsigned k = 0;
    for (Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
      const double xyz[3] = {1.4 * k, 0.9 * (k % 3), 0.5 * (k % 2) + 0.1 * i};
      mol.SetCoords(&atom, xyz);
      ++k;
    }
    mol.SetDimension(3);
  }
  Sorvil::QvAddSDData(mol, "index", std::to_string(i));
  Sorvil::QvAddSDData(mol, "name with spaces", mol.GetTitle());
}

// Every molecule as a single-conformer molecule and, where it has
// coordinates, as a multi-conformer one with a second, shifted conformer.
struct Corpus {
  Corpus() {
    const unsigned smi = velk::resolve_format("smi");
    for (std::size_t i = 0; i < std::size(kSmiles); ++i) {
      EXPECT_TRUE(velk::mol_from_string(single.emplace_back().GetMol(), kSmiles[i], smi, 0)) << kSmiles[i];
      Decorate(single.back().GetMol(), i);
      if (i >= kWithCoords) continue;
      auto& mol = *multi.emplace_back(std::make_unique<Tamrin::QvMol>());
      EXPECT_TRUE(velk::mol_from_string(mol, kSmiles[i], smi, 0)) << kSmiles[i];
      if (mol.NumConfs() == 0) mol.NewConf();
      Decorate(mol, i);
      std::vector<double> xyz(3 * mol.GetMaxAtomIdx());
      mol.GetCoords(xyz.data());
      for (std::size_t c = 0; c < xyz.size(); c += 3) xyz[c] += 2.5;
      mol.NewConf(xyz.data());
      EXPECT_EQ(mol.NumConfs(), 2u);
    }
  }
  std::vector<QvGraphMol> single;
  std::vector<std::unique_ptr<Tamrin::QvMol>> multi;
};

// One conversion: a molecule of the corpus written in a format (gzipped or
// not), read back into a molecule of its kind, and written again as SD; and
// the same through a file by name.
struct Job {
  std::size_t mol;
  bool multi;
  Format format;
  bool gzip;
  std::string name() const {
    return std::string(kSmiles[mol]) + (multi ? " (conformers)" : "") + " as " + format.name + (gzip ? ".gz" : "");
  }
};

struct Outcome {
  std::string written;  // dates masked; gzip undone, so the comparison sees text
  bool read = false;
  std::string rewritten;
  std::string from_file;
  bool operator==(const Outcome&) const = default;
};

Outcome Convert(const Corpus& corpus, const Job& job, const std::string& file) {
  const unsigned code = velk::resolve_format(job.format.name);
  const QvMolBase& mol = job.multi ? *corpus.multi[job.mol] : corpus.single[job.mol].GetMol();
  Outcome out;
  QvGraphMol single;
  Tamrin::QvMol multi;
  QvMolBase& back = job.multi ? static_cast<QvMolBase&>(multi) : single.GetMol();
  if (job.gzip) {
    const std::string bytes = velk::mol_to_bytes(mol, code, 0, true);
    out.written = Gunzip(bytes);
    out.read = velk::mol_from_bytes(back, bytes, code, 0, true);
  } else if (job.format.binary) {
    out.written = velk::mol_to_bytes(mol, code, 0, false);
    out.read = velk::mol_from_bytes(back, out.written, code, 0, false);
  } else {
    out.written = velk::mol_to_string(mol, code, 0);
    out.read = velk::mol_from_string(back, out.written, code, 0);
  }
  out.written = WithoutDates(out.written);
  out.rewritten = WithoutDates(velk::mol_to_string(back, velk::resolve_format("sdf"), 0));

  const std::string path = file + "." + job.format.name + (job.gzip && job.format.gz_suffix ? ".gz" : "");
  {
    auto writer = velk::open_writer(path);
    writer->append_mol(mol);
    writer->close();
  }
  QvGraphMol from_file;
  if (velk::open_reader(path)->next(from_file))
    out.from_file = velk::mol_to_string(from_file.GetMol(), velk::resolve_format("ism"), 0);
  return out;
}

// A handler known only by its suffixes; nothing is ever opened through it.
class SuffixOnlyHandler : public velk::FormatHandler {
 public:
  SuffixOnlyHandler(std::string name, std::string suffix) : name_(std::move(name)), suffix_(std::move(suffix)) {}
  velk::FormatInfo info() const override {
    velk::FormatInfo info;
    info.name = name_;
    info.extensions = {suffix_, suffix_ + ".gz"};
    return info;
  }
  using FormatHandler::open_reader;
  std::unique_ptr<velk::MolSource> open_reader(const std::string&, const std::any&) override { return nullptr; }
  std::unique_ptr<velk::MolSink> open_writer(const std::string&, const std::any&) override { return nullptr; }

 private:
  std::string name_, suffix_;
};

std::string HandlerName(const std::string& path) {
  velk::FormatHandler* handler = velk::FormatRegistry::instance().handler_for_path(path);
  return handler ? handler->info().name : "<none>";
}

// Counts warnings from every thread; the stream handler would print them all.
class CountingHandler : public Sorvil::QvErrorHandlerImplBase {
 public:
  CountingHandler() : previous_(Sorvil::QvErrorHandler::SetImpl(this)) { SetLevel(Sorvil::QvWarning); }
  ~CountingHandler() override { Sorvil::QvErrorHandler::SetImpl(previous_); }
  void Msg(unsigned, const char* text) override {
    std::lock_guard lock(mutex_);
    ++counts_[text];
  }
  std::map<std::string, int> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(counts_, {});
  }

 private:
  Sorvil::QvErrorHandlerImplBase* previous_;
  std::mutex mutex_;
  std::map<std::string, int> counts_;
};

// Input each reader refuses with a warning: a ring left open, a molfile atom
// line cut short.
const std::pair<const char*, const char*> kBadInput[] = {
    {"smi", "C1CC(C open ring\n"},
    {"sdf", "t\n\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n    0.0\nM  END\n$$$$\n"},
};

using Warnings = std::map<std::string, int>;

TEST(Threads, EveryThreadGetsTheSingleThreadedResults) {
  ScratchDir dir;
  CountingHandler messages;
  const Corpus corpus;
  std::vector<Job> jobs;
  for (std::size_t m = 0; m < std::size(kSmiles); ++m)
    for (const Format& format : kFormats)
      for (bool gzip : {false, true}) {
        jobs.push_back({m, false, format, gzip});
        // Conformers where the formats keep them; the QVB records are compressed.
        if (m < kWithCoords && (format.binary || format.name == std::string("sdf")))
          jobs.push_back({m, true, format, gzip});
      }

  // The oracle: every job once on this thread alone, with the warnings it gave.
  std::vector<Outcome> expected;
  std::vector<Warnings> job_warnings;
  for (const Job& job : jobs) {
    expected.push_back(Convert(corpus, job, dir / "main"));
    job_warnings.push_back(messages.take());
    const Outcome& e = expected.back();
    EXPECT_TRUE(e.read && !e.written.empty() && !e.rewritten.empty() && !e.from_file.empty()) << job.name();
  }
  std::vector<Warnings> bad_warnings;
  for (const auto& [format, text] : kBadInput) {
    QvGraphMol mol;
    EXPECT_FALSE(velk::mol_from_string(mol, text, velk::resolve_format(format), 0)) << format;
    bad_warnings.push_back(messages.take());
    EXPECT_FALSE(bad_warnings.back().empty()) << format;
  }

  const std::vector<std::pair<std::string, std::string>> paths = {
      {"a.sdf.gz", "Tamrin"}, {"a.cube", "CUBE"}, {"b/c.fch", "FCHK"}, {"x.mol2", "Tamrin"},
      {"x.SDF", "<none>"},    {"x.gz", "<none>"}, {"x.qvb", "Tamrin"}, {"d.d/file", "<none>"}};
  constexpr int kSharedTags = 64;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(RunSeconds());
  std::vector<std::vector<std::string>> failures(kThreads);
  std::vector<std::vector<Sorvil::QvTag>> shared_tags(kThreads, std::vector<Sorvil::QvTag>(kSharedTags));
  std::vector<Warnings> expected_warnings(kThreads);
  std::vector<std::size_t> rounds(kThreads, 0);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<std::string>& fail = failures[t];
      const auto expect_warnings = [&](const Warnings& w) {
        for (const auto& [text, count] : w) expected_warnings[t][text] += count;
      };
      ++ready;
      while (ready < kThreads) std::this_thread::yield();
      const std::string file = dir / ("t" + std::to_string(t));
      int registered = 0;
      // Each thread walks the jobs in an order of its own (a step coprime to
      // their number), so the streams meet the formats in many sequences.
      std::size_t step = 1;
      for (int skip = t; skip > 0 || std::gcd(step, jobs.size()) != 1; ++step)
        if (std::gcd(step, jobs.size()) == 1) --skip;
      for (std::size_t& n = rounds[t]; n == 0 || std::chrono::steady_clock::now() < deadline; ++n) {
        const std::size_t j = (n * step + static_cast<std::size_t>(t)) % jobs.size();
        if (!(Convert(corpus, jobs[j], file) == expected[j]))
          fail.push_back(jobs[j].name() + " differs from one thread's result");
        expect_warnings(job_warnings[j]);

        const auto& [path, name] = paths[n % paths.size()];
        if (HandlerName(path) != name) fail.push_back(path + " resolved to " + HandlerName(path));
        if (n % 8 == static_cast<std::size_t>(t) % 8 && registered < 16) {
          // A new handler with suffixes of its own takes them at once and
          // leaves the builtins where they were.
          const std::string suffix = ".load" + std::to_string(t) + "x" + std::to_string(registered++);
          const std::string handler = "Load " + suffix;
          velk::FormatRegistry::instance().register_handler(std::make_unique<SuffixOnlyHandler>(handler, suffix));
          if (HandlerName("f" + suffix + ".gz") != handler) fail.push_back(suffix + ".gz not registered");
          const auto formats = velk::FormatRegistry::instance().formats();
          if (formats.size() < 4 || formats[0].name != "Tamrin" || formats[2].name != "FCHK")
            fail.push_back("builtin formats moved");
        }

        const std::size_t k = (n * 7 + static_cast<std::size_t>(t)) % kSharedTags;
        const std::string shared = "load shared " + std::to_string(k);
        const Sorvil::QvTag tag = Sorvil::QvGetTag(shared);
        if (shared_tags[t][k] != 0 && shared_tags[t][k] != tag) fail.push_back(shared + " changed its tag");
        shared_tags[t][k] = tag;
        const std::string own = "load own " + std::to_string(t) + " " + std::to_string(n % 97);
        if (Sorvil::QvGetTagName(Sorvil::QvGetTag(own)) != own) fail.push_back(own + " lost its name");

        // Threads may set the level while others report; the level is the
        // one it was, so the counts below stay exact.
        if (n % 4 == 0) Sorvil::QvErrorHandler::SetLevel(Sorvil::QvErrorHandler::GetLevel());
        const std::size_t b = n % std::size(kBadInput);
        QvGraphMol bad;
        if (velk::mol_from_string(bad, kBadInput[b].second, velk::resolve_format(kBadInput[b].first), 0))
          fail.push_back(std::string("bad ") + kBadInput[b].first + " was read");
        expect_warnings(bad_warnings[b]);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  std::size_t total_rounds = 0;
  Warnings all_expected;
  for (int t = 0; t < kThreads; ++t) {
    total_rounds += rounds[t];
    for (const std::string& failure : failures[t]) ADD_FAILURE() << "thread " << t << ": " << failure;
    for (const auto& [text, count] : expected_warnings[t]) all_expected[text] += count;
  }
  for (int k = 0; k < kSharedTags; ++k) {
    std::vector<Sorvil::QvTag> seen;
    for (int t = 0; t < kThreads; ++t)
      if (shared_tags[t][k]) seen.push_back(shared_tags[t][k]);
    if (seen.empty()) continue;  // a short run need not reach every name
    EXPECT_EQ(std::count(seen.begin(), seen.end(), seen[0]), std::ssize(seen)) << k;
    EXPECT_STREQ(Sorvil::QvGetTagName(seen[0]), ("load shared " + std::to_string(k)).c_str());
  }
  // Every warning arrived whole, as often as one thread alone would have
  // given it for the same work.
  EXPECT_EQ(messages.take(), all_expected);
  std::printf("%d threads, %zu rounds in all\n", kThreads, total_rounds);
}

}  // namespace
