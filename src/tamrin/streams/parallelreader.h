// Reading one molecule stream on several threads.
//
// The calling thread keeps the input and hands it out in batches, a bounded
// number ahead of what it has passed on. Where a record's end can be told
// from a few bytes (a line end; an SD file's "$$$$" line) a batch is one
// stretch of the input cut at such an end by a fast scan, and its records
// are read from it as a reader of the whole input would read them;
// otherwise the calling thread cuts whole records with the format's
// tokenizer. A batch is parsed, with the flavor's perception steps, on a
// stream of its own (same format and input flavor) by a worker thread, or
// by the calling thread itself: it takes the first batch no worker has taken
// yet whenever the molecule due next is not ready, rather than wait, so that
// reading on n threads starts n - 1 workers. Molecules come back in file
// order, and what the toolkit reported while a record was read is said
// again on the calling thread when that record's turn comes, so that the
// messages and the count of failed records are those of reading on one
// thread.
//
// Only formats whose records read alone exactly as they read in sequence
// take part (Supports); the others are read on the calling thread as before.
// A CSV input's first read, which learns its header, is done on the calling
// thread before any batch goes out, and every lane is given its columns.
// Where the tokenizer cannot cut the next record before the end of the data,
// the rest of the input is read on the calling thread from that record on,
// as one-thread reading would read it.
//
// Destroying the reader stops the workers: each finishes at most the record
// it is parsing, and all have ended when the destructor returns.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tamrin/model/molimpl.h"
#include "tamrin/streams/format.h"

namespace Pellar {
class qvisstream;
}  // namespace Pellar

namespace Tamrin {

class QvMolTokenizer;
class qvmolistream;

class QvParallelReader {
 public:
  // More threads than this only wait for the calling thread to cut records.
  static constexpr unsigned kMaxThreads = 64;

  // Whether `in` can be read in parallel: a format whose records stand
  // alone and have a tokenizer, read molecule by molecule (no conformer test).
  static bool Supports(const qvmolistream& in);

  // Reads `in` on min(threads, kMaxThreads) threads: the calling thread and
  // one worker fewer. `in` must outlive the reader and must not be read by
  // anyone else meanwhile.
  QvParallelReader(qvmolistream& in, unsigned threads);
  ~QvParallelReader();
  QvParallelReader(const QvParallelReader&) = delete;
  QvParallelReader& operator=(const QvParallelReader&) = delete;

  // The next molecule in file order, with the perception it was read with;
  // false at the end. Rethrows what a worker met while parsing (no memory).
  bool Next(QvMolBase& mol);
  // The same, handing over the molecule the worker made instead of copying
  // it (a molecule passed in is filled or goes back to the bin; on false
  // `mol` holds nothing of use).
  bool Next(std::unique_ptr<QvGraphMolImpl>& mol);
  // Records that failed to read among those passed so far.
  unsigned GetFailedCount() const;
  // Why the data stopped before their end, once the record during whose
  // reading one thread would have met it has been passed; null otherwise.
  const char* Damage() const;
  // The threads that parse, the calling thread among them.
  unsigned NumThreads() const { return static_cast<unsigned>(workers_.size()) + 1; }

 private:
  struct Said {
    unsigned level;
    std::string text;
  };
  struct Record {
    std::string bytes;
    bool last = false;  // nothing follows in the input
    std::size_t first_mol = 0;  // its molecules in the batch's
    std::size_t mol_count = 0;
    std::vector<Said> said;
    unsigned failed = 0;
    bool damaged = false;  // cutting it met damage in the input
    std::size_t reports = 0;  // the first of `said`, from the byte stream
    bool took_next = false;  // its read took the next record's row too (CSV)
  };
  // What the byte stream said at a position of the input (a gzip member cut
  // short, met while fetching the block that starts there).
  struct Note {
    std::uint64_t at;
    Said said;
  };
  struct Batch {
    // Records cut by the tokenizer, or, for a stretch, one per molecule
    // read from it (with what was said and skipped on the way).
    std::vector<Record> records;
    std::vector<std::unique_ptr<QvGraphMolImpl>> mols;
    std::string stretch;
    bool is_stretch = false;
    bool last = false;  // the stretch runs to the end of the input
    // Relative to the stretch; at or after its end only in the last one.
    std::vector<Note> notes;
    std::uint64_t damage_at = kNowhere;
    // The record after the last, for a read that takes its row too.
    Record next;
    bool has_next = false;
    bool done = false;
    std::exception_ptr error;
  };
  static constexpr std::uint64_t kNowhere = ~std::uint64_t{0};
  class Journal;
  // What a thread parses with.
  struct Lane {
    std::unique_ptr<qvmolistream> stream;
    std::unique_ptr<Pellar::qvisstream> view;  // over a stretch, read where it lies
    std::unique_ptr<QvGraphMolImpl> spare;  // a molecule to read into next
    Lane(QvFormat format, unsigned flavor);
    ~Lane();
  };

  void Stop();
  void Work();
  // Parses the batch's records on this thread, whose error handler collects
  // into `said`.
  void Run(Lane& lane, Batch& batch, std::vector<Said>& said) const;
  // Parses a batch on the calling thread.
  void RunHere(Batch& batch);
  // Parses `record`, and with it the row of `next` where one thread would
  // read that too.
  void Parse(qvmolistream& stream, Batch& batch, Record& record, const Record* next, std::vector<Said>& said,
             std::unique_ptr<QvGraphMolImpl>& spare) const;
  // Reads the molecules of `bytes` into the batch as `record`'s.
  void ReadBytes(qvmolistream& stream, Batch& batch, Record& record, const std::string& bytes, bool last,
                 std::vector<Said>& said, std::unique_ptr<QvGraphMolImpl>& spare) const;
  // Reads the records of a stretch batch.
  void ParseStretch(Lane& lane, Batch& batch, std::vector<Said>& said) const;
  // Cuts records or stretches until the window is full or the input ends.
  void Fill();
  void FillRecords(std::vector<std::string>& reports, std::vector<Said>& unheard);
  void ReadHead(std::vector<std::string>& reports);
  void FillStretches(std::vector<std::string>& reports);
  // Reads one block of the input into data_; false at its end.
  bool Fetch(std::vector<std::string>& reports);
  // The end of the record that starts at `from` in data_, if the bytes
  // fetched show it (before their end, unless the input has ended); npos
  // otherwise.
  std::size_t RecordEnd(std::size_t from) const;
  void Dispatch();
  // Moves the pending record into `record`.
  void Pass(Record& record, bool last, bool damaged);
  // `take` receives each molecule in turn; `rest` reads what the tokenizer
  // could not cut.
  template <class Take, class Rest>
  bool Advance(Take take, Rest rest);
  template <class Take>
  bool Serve(Take& take);
  bool ReadRest(QvMolBase& mol);

  qvmolistream& in_;
  QvFormat format_;
  unsigned flavor_;
  std::unique_ptr<QvMolTokenizer> tokenizer_;
  std::unique_ptr<Journal> journal_;

  // Calling thread only.
  enum class Ends { Lines, SdfRecords };
  bool stretches_ = false;  // batches are stretches, whose records end as ends_ says
  Ends ends_ = Ends::Lines;
  std::string data_;  // fetched and not yet handed out from head_ on
  std::size_t head_ = 0;
  std::uint64_t data_pos_ = 0;  // the input position of data_[0]
  bool source_done_ = false;
  std::vector<Note> notes_;  // positions in the input
  std::uint64_t damage_at_ = kNowhere;
  std::unique_ptr<Batch> filling_;
  std::size_t filling_bytes_ = 0;
  std::string pending_;
  bool has_pending_ = false;
  bool pending_damaged_ = false;
  std::vector<Said> pending_said_;
  bool damage_met_ = false;
  bool damage_due_ = false;
  bool input_done_ = false;
  bool cut_failed_ = false;
  std::unique_ptr<Batch> current_;
  std::size_t record_ = 0;
  std::size_t mol_ = 0;
  unsigned failed_ = 0;
  std::unique_ptr<qvmolistream> rest_;
  std::unique_ptr<Lane> own_;  // parses batches taken from the workers
  bool head_read_ = false;
  bool skip_next_ = false;  // the record due was taken by the read before
  // The CSV header, learned before any batch is handed out.
  std::vector<std::string> columns_;
  bool ended_ = false;

  // Shared with the workers, under mutex_.
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable batch_done_;
  std::deque<std::unique_ptr<Batch>> window_;  // file order
  std::deque<Batch*> todo_;
  std::atomic<bool> stop_ = false;

  std::size_t window_limit_;
  std::vector<std::thread> workers_;
};

}  // namespace Tamrin
