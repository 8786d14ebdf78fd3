#include "tamrin/streams/parallelreader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "pellar/qvreport.h"
#include "pellar/qvsstream.h"
#include "pellar/qvstream.h"
#include "sorvil/error/errorcapture.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/csv/csv.h"
#include "tamrin/formats/mdl/sdftokenizer.h"
#include "tamrin/model/molbin.h"
#include "tamrin/model/molimpl.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/tokenizer.h"

namespace Tamrin {

namespace {

// A batch is handed to a worker when it holds this many records or bytes:
// one hand-over per record would cost more than parsing a SMILES line.
constexpr std::size_t kBatchRecords = 64;
constexpr std::size_t kBatchBytes = 256 * 1024;
// A stretch costs the calling thread next to nothing to cut, so it can be
// smaller: the fewer molecules wait in the batches between the threads, the
// more of their memory is still in a cache when they are used and freed
// (16 or 32 records take about a twentieth less CPU time in all than 64),
// while a batch still takes far longer to parse than a thread to wake.
constexpr std::size_t kStretchRecords = 32;
// Batches cut ahead of the consumer, per worker: enough to keep every
// worker busy while the consumer takes one batch, few enough that memory
// stays flat however long the input.
constexpr std::size_t kBatchesPerWorker = 3;

// Formats whose records read alone as they read in sequence: no header,
// column names or document state carried from one record to the next. A
// QVB record carries its tag dictionary built in; the conformers of a
// multi-conformer record after the first come out of the same record's
// parse. A CSV file's first read, which learns the header, is done before
// any other and its columns given to every lane; a row whose SMILES does
// not parse hands its read on to the next row, which its lane then reads
// too. JSON and the grid formats keep document state, and InChI parses
// through a library that is not known to be safe on several threads at
// once: they are read on one thread.
bool RecordsStandAlone(QvFormat format) {
  switch (format) {
    case QvFormat::SMI:
    case QvFormat::USM:
    case QvFormat::ISM:
    case QvFormat::CAN:
    case QvFormat::CXSMILES:
    case QvFormat::MDL:
    case QvFormat::SDF:
    case QvFormat::MOL2:
    case QvFormat::MOL2H:
    case QvFormat::XYZ:
    case QvFormat::PDB:
    case QvFormat::QVB:
    case QvFormat::QVZ:
    case QvFormat::CSV:
      return true;
    default:
      return false;
  }
}

// Collects what the error handler says on one thread, in order.
template <class Said>
class Collector final : public Sorvil::QvErrorHandlerImplBase {
 public:
  explicit Collector(std::vector<Said>* to) : to_(to) {}
  void Msg(unsigned level, const char* text) override {
    if (to_) to_->push_back({level, text});
  }
  void Redirect(std::vector<Said>* to) { to_ = to; }

 private:
  std::vector<Said>* to_;
};

// What the byte streams report while the calling thread cuts records (a
// gzip member cut short): said again when the record they came with is.
thread_local std::vector<std::string>* stream_reports = nullptr;

bool KeepStreamReport(const char* text) {
  if (!stream_reports) return false;
  stream_reports->emplace_back(text);
  return true;
}

// A copy keeps what perception established, as the reader left it.
void CopyRecord(const QvMolBase& from, QvMolBase& to) {
  to.Clear();
  to.Copy(from);
  for (unsigned bit = 1; bit != 0; bit <<= 1) to.SetPerceived(bit, from.HasPerceived(bit));
}

}  // namespace

// The input as the tokenizer reads it, keeping the bytes since the start
// of the record being cut, so that a record the tokenizer cannot cut can be
// read again from its first byte by the molecule reader.
class QvParallelReader::Journal final : public Pellar::qvistream {
 public:
  explicit Journal(Pellar::qvistream& source) : source_(source) { eof_ = false; }

  bool refill() override {
    // The position of the block about to be loaded.
    const auto offset = static_cast<std::size_t>(bufpos_ + (end_ - begin_) - base_);
    // The source is read a block at a time and only when its bytes are
    // needed, as a reader reading it directly would: a gzip layer then meets
    // damage while the same record is read.
    if (data_.size() <= offset && !source_done_) {
      const std::size_t had = data_.size();
      data_.resize(had + BufferSize);
      const std::size_t got = source_.read(data_.data() + had, BufferSize);
      data_.resize(had + got);
      source_done_ = got == 0;
    }
    return refillfrom(data_, base_);
  }

  // Back to a position no earlier than the last Keep.
  bool seek(std::int64_t pos) override {
    if (pos < base_) return false;
    cur_ = end_ = begin_;
    bufpos_ = pos;
    eof_ = false;
    refill();
    return true;
  }

  // Bytes before the current position are no longer needed; they are
  // dropped once they are many, so that dropping costs little per record.
  void Keep() {
    constexpr std::size_t kDropAt = std::size_t{4} << 20;
    const std::int64_t here = tell();
    if (static_cast<std::size_t>(here - base_) < kDropAt) return;
    data_.erase(0, static_cast<std::size_t>(here - base_));
    base_ = here;
  }

 private:
  Pellar::qvistream& source_;
  std::string data_;
  std::int64_t base_ = 0;  // the position of data_[0]
  bool source_done_ = false;
};

QvParallelReader::Lane::Lane(QvFormat format, unsigned flavor)
    : stream(std::make_unique<qvmolistream>()), view(std::make_unique<Pellar::qvisstream>()) {
  stream->SetFormat(format);
  stream->SetFlavor(format, flavor);
}

QvParallelReader::Lane::~Lane() = default;

bool QvParallelReader::Supports(const qvmolistream& in) {
  return RecordsStandAlone(in.GetFormat()) && !in.CombinesConformers() && !in.HasQueued();
}

QvParallelReader::QvParallelReader(qvmolistream& in, unsigned threads)
    : in_(in),
      format_(in.GetFormat()),
      flavor_(in.GetFlavor()),
      journal_(std::make_unique<Journal>(in.GetStream())) {
  {
    // Making a tokenizer says nothing worth hearing for the formats taken.
    std::vector<Said> unheard;
    Collector<Said> quiet(&unheard);
    Sorvil::QvErrorCapture capture(quiet);
    tokenizer_ = QvCreateTokenizer(in);
  }
  if (dynamic_cast<const QvLineTokenizer*>(tokenizer_.get())) {
    stretches_ = true;
    ends_ = Ends::Lines;
  } else if (dynamic_cast<const QvSDFTokenizer*>(tokenizer_.get())) {
    stretches_ = true;
    ends_ = Ends::SdfRecords;
  }
  const unsigned count = std::clamp(threads, 1u, kMaxThreads);
  window_limit_ = kBatchesPerWorker * count;
  // The calling thread is one of them: it parses whenever the molecule due
  // next is not ready, and what it parses it also frees, where the memory
  // was allocated.
  workers_.reserve(count - 1);
  try {
    for (unsigned i = 1; i < count; ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    // No thread to be had: those started are stopped, and the caller hears.
    Stop();
    throw;
  }
}

QvParallelReader::~QvParallelReader() { Stop(); }

void QvParallelReader::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

void QvParallelReader::Work() {
  Lane lane(format_, flavor_);
  std::vector<Said> said;
  Collector<Said> collector(&said);
  Sorvil::QvErrorCapture capture(collector);
  for (;;) {
    Batch* batch = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_ready_.wait(lock, [this] { return stop_ || !todo_.empty(); });
      if (stop_) return;
      batch = todo_.front();
      todo_.pop_front();
    }
    Run(lane, *batch, said);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      batch->done = true;
    }
    batch_done_.notify_all();
  }
}

void QvParallelReader::Run(Lane& lane, Batch& batch, std::vector<Said>& said) const {
  try {
    if (batch.is_stretch) {
      ParseStretch(lane, batch, said);
      return;
    }
    for (std::size_t i = 0; i < batch.records.size(); ++i) {
      // Stopping waits for one record at most.
      if (stop_.load(std::memory_order_relaxed)) break;
      const Record* next = i + 1 < batch.records.size() ? &batch.records[i + 1] : batch.has_next ? &batch.next : nullptr;
      Parse(*lane.stream, batch, batch.records[i], next, said, lane.spare);
    }
  } catch (...) {
    batch.error = std::current_exception();
  }
}

void QvParallelReader::RunHere(Batch& batch) {
  if (!own_) own_ = std::make_unique<Lane>(format_, flavor_);
  std::vector<Said> said;
  Collector<Said> collector(&said);
  Sorvil::QvErrorCapture capture(collector);
  Run(*own_, batch, said);
}

void QvParallelReader::Parse(qvmolistream& stream, Batch& batch, Record& record, const Record* next,
                             std::vector<Said>& said, std::unique_ptr<QvGraphMolImpl>& spare) const {
  record.reports = record.said.size();
  ReadBytes(stream, batch, record, record.bytes, record.last, said, spare);
  if (next && format_ == QvFormat::CSV && QvCSVPassedOverRow(stream)) {
    // One thread reads the next row in this read: read again with it.
    batch.mols.resize(record.first_mol);
    record.said.resize(record.reports);
    ReadBytes(stream, batch, record, record.bytes + next->bytes, next->last, said, spare);
    record.took_next = true;
  }
  record.bytes = std::string();
}

void QvParallelReader::ReadBytes(qvmolistream& stream, Batch& batch, Record& record, const std::string& bytes,
                                 bool last, std::vector<Said>& said, std::unique_ptr<QvGraphMolImpl>& spare) const {
  said.clear();
  const unsigned failed_before = stream.GetFailedCount();
  stream.openstring(bytes);
  if (!columns_.empty()) stream.Cache().columns = columns_;
  stream.SetMoreFollows(!last);
  // The attempt that finds no further molecule leaves its molecule for the
  // next record: one allocation fewer per record.
  record.first_mol = batch.mols.size();
  for (;;) {
    if (!spare) spare = QvTakeMol();
    if (!QvReadMolecule(stream, *spare)) break;
    batch.mols.push_back(std::move(spare));
  }
  record.mol_count = batch.mols.size() - record.first_mol;
  record.failed = stream.GetFailedCount() - failed_before;
  record.said.insert(record.said.end(), std::make_move_iterator(said.begin()), std::make_move_iterator(said.end()));
  said.clear();
}

void QvParallelReader::ParseStretch(Lane& lane, Batch& batch, std::vector<Said>& said) const {
  qvmolistream& stream = *lane.stream;
  std::unique_ptr<QvGraphMolImpl>& spare = lane.spare;
  lane.view->view(batch.stretch);
  stream.openstream(*lane.view);
  stream.SetMoreFollows(!batch.last);
  // The bytes each read took, to place what the byte stream said.
  std::vector<std::pair<std::int64_t, std::int64_t>> spans;
  batch.records.reserve(kStretchRecords + 1);
  batch.mols.reserve(kStretchRecords);
  for (;;) {
    Record& record = batch.records.emplace_back();
    said.clear();
    const unsigned failed_before = stream.GetFailedCount();
    const std::int64_t before = stream.GetStream().tell();
    if (!spare) spare = QvTakeMol();
    const bool got = QvReadMolecule(stream, *spare);
    record.first_mol = batch.mols.size();
    record.mol_count = got;
    if (got) batch.mols.push_back(std::move(spare));
    record.failed = stream.GetFailedCount() - failed_before;
    record.said = std::move(said);
    spans.emplace_back(before, stream.GetStream().tell());
    // Stopping waits for one record at most.
    if (!got || stop_.load(std::memory_order_relaxed)) break;
  }
  said.clear();
  batch.stretch = std::string();
  if (batch.notes.empty() && batch.damage_at == kNowhere) return;
  // It belongs to the read during which one thread would have met it: the
  // one whose bytes hold its position; past them all (the end of the
  // input), the last read that took any bytes.
  const auto reader_of = [&](std::uint64_t at) {
    std::size_t last_taking = spans.size() - 1;
    for (std::size_t i = 0; i < spans.size(); ++i) {
      const auto [from, to] = spans[i];
      if (static_cast<std::int64_t>(at) >= from && static_cast<std::int64_t>(at) < to) return i;
      if (to > from) last_taking = i;
    }
    return last_taking;
  };
  if (batch.damage_at != kNowhere) batch.records[reader_of(batch.damage_at)].damaged = true;
  for (auto note = batch.notes.rbegin(); note != batch.notes.rend(); ++note) {
    std::vector<Said>& to = batch.records[reader_of(note->at)].said;
    to.insert(to.begin(), std::move(note->said));
  }
}

void QvParallelReader::Dispatch() {
  if (!filling_ || filling_->records.empty()) return;
  Batch* batch = filling_.get();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    window_.push_back(std::move(filling_));
    todo_.push_back(batch);
  }
  work_ready_.notify_one();
  filling_bytes_ = 0;
}

void QvParallelReader::Pass(Record& record, bool last, bool damaged) {
  has_pending_ = false;
  filling_bytes_ += pending_.size();
  record.bytes = std::move(pending_);
  record.last = last;
  record.damaged = pending_damaged_ || damaged;
  record.said = std::move(pending_said_);
  pending_said_.clear();
}

void QvParallelReader::Fill() {
  if (input_done_) return;
  std::vector<Said> unheard;
  Collector<Said> quiet(&unheard);
  // The tokenizer's own complaints are not heard: the reader reports every
  // record it meets, as it does when reading on one thread. What the byte
  // stream reports is kept.
  Sorvil::QvErrorCapture capture(quiet);
  std::vector<std::string> reports;
  stream_reports = &reports;
  Pellar::QvSetThreadReport(KeepStreamReport);
  struct Unset {
    ~Unset() {
      stream_reports = nullptr;
      Pellar::QvSetThreadReport(nullptr);
    }
  } unset;
  if (stretches_)
    FillStretches(reports);
  else
    FillRecords(reports, unheard);
}

// The first read of a CSV input learns its header (or, without one, how
// many columns there are), which decides how every later row reads: it is
// done here, before any batch is handed out, and every lane takes the
// columns it learned.
void QvParallelReader::ReadHead(std::vector<std::string>& reports) {
  head_read_ = true;
  auto head = std::make_unique<qvmolistream>();
  head->SetFormat(format_);
  head->SetFlavor(format_, flavor_);
  head->openstream(*journal_);
  auto batch = std::make_unique<Batch>();
  Record& record = batch->records.emplace_back();
  std::vector<Said> said;
  {
    Collector<Said> collector(&said);
    Sorvil::QvErrorCapture capture(collector);
    std::unique_ptr<QvGraphMolImpl> mol = QvTakeMol();
    if (QvReadMolecule(*head, *mol)) batch->mols.push_back(std::move(mol));
  }
  record.mol_count = batch->mols.size();
  record.failed = head->GetFailedCount();
  for (std::string& text : reports) record.said.push_back({Sorvil::QvWarning, std::move(text)});
  reports.clear();
  record.said.insert(record.said.end(), std::make_move_iterator(said.begin()), std::make_move_iterator(said.end()));
  record.damaged = damage_met_ = in_.GetStream().damage() != nullptr;
  columns_ = head->Cache().columns;
  // Lines that a stray quote gave back are the head stream's own: the rest
  // is read on from there.
  if (head->PushedBackSize() > 0) {
    rest_ = std::move(head);
    input_done_ = cut_failed_ = true;
  }
  batch->done = true;
  std::lock_guard<std::mutex> lock(mutex_);
  window_.push_back(std::move(batch));
}

void QvParallelReader::FillRecords(std::vector<std::string>& reports, std::vector<Said>& unheard) {
  if (!head_read_ && format_ == QvFormat::CSV) ReadHead(reports);
  for (;;) {
    if (input_done_) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (window_.size() >= window_limit_) return;
    }
    if (!filling_) filling_ = std::make_unique<Batch>();
    journal_->Keep();
    const std::int64_t start = journal_->tell();
    std::string record;
    const bool cut = tokenizer_->Next(*journal_, record);
    if (!cut) {
      input_done_ = true;
      // Something is left that the tokenizer cannot cut: read from it on.
      cut_failed_ = !journal_->at_end() || journal_->tell() > start;
      if (cut_failed_) journal_->seek(start);
    }
    // Damage is said once the record whose cutting met it is passed, where
    // one-thread reading would meet it; met after the last record, at the end.
    const bool damaged = !damage_met_ && in_.GetStream().damage();
    damage_met_ = damage_met_ || damaged;
    std::vector<Said> met;
    for (std::string& text : reports) met.push_back({Sorvil::QvWarning, std::move(text)});
    reports.clear();
    // A full batch goes once it is known whether the record after it is
    // the last: a CSV row passed over hands its read on to that one.
    if (has_pending_ && (filling_->records.size() >= kBatchRecords || filling_bytes_ >= kBatchBytes)) {
      if (format_ == QvFormat::CSV) {
        filling_->next.bytes = pending_;
        filling_->next.last = !cut && !cut_failed_;
        filling_->has_next = true;
      }
      Dispatch();
      filling_ = std::make_unique<Batch>();
    }
    if (!cut) {
      // Met while looking for a record after the last one: they belong to
      // the last one, or, with none, come before the rest.
      pending_said_.insert(pending_said_.end(), std::make_move_iterator(met.begin()),
                           std::make_move_iterator(met.end()));
      if (has_pending_) Pass(filling_->records.emplace_back(), !cut_failed_, damaged);
    } else {
      if (has_pending_) Pass(filling_->records.emplace_back(), false, false);
      pending_ = std::move(record);
      pending_damaged_ = damaged;
      pending_said_ = std::move(met);
      has_pending_ = true;
    }
    if (!cut) Dispatch();
    unheard.clear();
  }
}

bool QvParallelReader::Fetch(std::vector<std::string>& reports) {
  // One block at a time, as a reader reading the input directly would read
  // it, so that a gzip layer meets damage at the same position.
  constexpr std::size_t kBlock = Pellar::qvstream::BufferSize;
  if (head_ > 0 && head_ >= data_.size() / 2) {
    data_.erase(0, head_);
    data_pos_ += head_;
    head_ = 0;
  }
  const std::size_t had = data_.size();
  std::uint64_t at = data_pos_ + had;
  // A line end that is a lone CR has the reader look at the next byte
  // before it is done with the line.
  if (had > 0 && data_.back() == '\r') --at;
  data_.resize(had + kBlock);
  const std::size_t got = in_.GetStream().read(data_.data() + had, kBlock);
  data_.resize(had + got);
  source_done_ = got == 0;
  if (!damage_met_ && in_.GetStream().damage()) {
    damage_met_ = true;
    damage_at_ = at;
  }
  for (std::string& text : reports) notes_.push_back({at, {Sorvil::QvWarning, std::move(text)}});
  reports.clear();
  return got > 0;
}

namespace {

// The end of the line that starts at `from`, as getline ends it: after an
// LF, or after a run of CRs and at most one LF; npos when the data end
// before that is certain.
std::size_t LineEnd(std::string_view data, std::size_t from, bool complete) {
  const std::size_t stop = data.find_first_of("\r\n", from);
  if (stop == std::string_view::npos) return complete ? data.size() : std::string_view::npos;
  if (data[stop] == '\n') return stop + 1;
  std::size_t end = data.find_first_not_of('\r', stop);
  if (end == std::string_view::npos) return complete ? data.size() : std::string_view::npos;
  return data[end] == '\n' ? end + 1 : end;
}

}  // namespace

std::size_t QvParallelReader::RecordEnd(std::size_t from) const {
  constexpr std::size_t npos = std::string_view::npos;
  const std::string_view data(data_);
  if (from >= data.size()) return npos;
  // A record end at the end of the bytes fetched counts once the input has
  // ended: whether a line ends there depends on what comes next.
  const auto settled = [&](std::size_t end) { return end != npos && (end < data.size() || source_done_) ? end : npos; };
  if (ends_ == Ends::Lines) {
    // The common line end is a plain LF, found at memchr speed.
    const char* begin = data.data() + from;
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', data.size() - from));
    if (lf && !std::memchr(begin, '\r', static_cast<std::size_t>(lf - begin)))
      return settled(static_cast<std::size_t>(lf - data.data()) + 1);
    return settled(LineEnd(data, from, source_done_));
  }
  // Every line that starts "$$$$" ends an SD record; a line starts after an
  // LF or after a run of CRs not followed by one.
  for (std::size_t at = from;; ++at) {
    at = data.find("$$$$", at);
    if (at == npos) return npos;
    if (at == from || data[at - 1] == '\n' || data[at - 1] == '\r') return settled(LineEnd(data, at, source_done_));
  }
}

void QvParallelReader::FillStretches(std::vector<std::string>& reports) {
  for (;;) {
    if (input_done_) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (window_.size() >= window_limit_) return;
    }
    // Up to kStretchRecords records or kBatchBytes bytes, ending where a
    // record ends; the rest of the input once it has no more such ends.
    std::size_t end = head_;
    std::size_t records = 0;
    for (;;) {
      while (records < kStretchRecords && end - head_ < kBatchBytes) {
        const std::size_t next = RecordEnd(end);
        if (next == std::string::npos) break;
        end = next;
        ++records;
      }
      if (records == kStretchRecords || end - head_ >= kBatchBytes) break;
      if (source_done_) {
        end = data_.size();
        break;
      }
      const std::size_t moved = head_;
      Fetch(reports);
      end -= moved - head_;
    }
    auto batch = std::make_unique<Batch>();
    batch->is_stretch = true;
    batch->last = source_done_ && end == data_.size();
    const std::uint64_t begin_pos = data_pos_ + head_;
    const std::uint64_t end_pos = data_pos_ + end;
    batch->stretch.assign(data_, head_, end - head_);
    head_ = end;
    const auto here = [&](std::uint64_t at) { return at >= begin_pos && (at < end_pos || batch->last); };
    if (damage_at_ != kNowhere && here(damage_at_)) {
      batch->damage_at = damage_at_ - begin_pos;
      damage_at_ = kNowhere;
    }
    while (!notes_.empty() && here(notes_.front().at)) {
      batch->notes.push_back({notes_.front().at - begin_pos, std::move(notes_.front().said)});
      notes_.erase(notes_.begin());
    }
    input_done_ = batch->last;
    // An empty input still has its one read, which says what there is to say.
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Batch* taken = batch.get();
      window_.push_back(std::move(batch));
      todo_.push_back(taken);
    }
    work_ready_.notify_one();
  }
}

template <class Take>
bool QvParallelReader::Serve(Take& take) {
  while (current_ && record_ < current_->records.size()) {
    Record& record = current_->records[record_];
    if (mol_ == 0) {
      // The record's turn: what reading it said, then its molecules. Of one
      // whose row the read before took, only what the byte stream said.
      const bool taken = std::exchange(skip_next_, false);
      const std::size_t heard = taken ? record.reports : record.said.size();
      for (std::size_t i = 0; i < heard; ++i)
        Sorvil::QvErrorHandler::Msg(record.said[i].level, record.said[i].text.c_str());
      damage_due_ = damage_due_ || record.damaged;
      if (taken) {
        ++record_;
        continue;
      }
      failed_ += record.failed;
      skip_next_ = record.took_next;
    }
    if (mol_ < record.mol_count) {
      take(current_->mols[record.first_mol + mol_++]);
      return true;
    }
    ++record_;
    mol_ = 0;
  }
  return false;
}

bool QvParallelReader::ReadRest(QvMolBase& mol) {
  if (!rest_) {
    rest_ = std::make_unique<qvmolistream>();
    rest_->SetFormat(format_);
    rest_->SetFlavor(format_, flavor_);
    rest_->openstream(*journal_);
    rest_->Cache().columns = columns_;
  }
  const unsigned before = rest_->GetFailedCount();
  const bool got = QvReadMolecule(*rest_, mol);
  failed_ += rest_->GetFailedCount() - before;
  return got;
}

template <class Take, class Rest>
bool QvParallelReader::Advance(Take take, Rest rest) {
  if (ended_) return false;
  for (;;) {
    if (Serve(take)) return true;
    current_.reset();
    Fill();
    std::unique_lock<std::mutex> lock(mutex_);
    if (window_.empty()) break;
    Batch& front = *window_.front();
    // Rather than wait for the batch due next, this thread parses the first
    // batch no worker has taken yet: the one due next itself when it is
    // untaken (batches are taken in file order), else one it will need soon.
    // With as many workers as cores it would otherwise sit idle while they
    // catch up, and what it parses it also frees, on the thread that made it.
    while (!front.done && !todo_.empty()) {
      Batch* batch = todo_.front();
      todo_.pop_front();
      lock.unlock();
      RunHere(*batch);
      lock.lock();
      batch->done = true;
    }
    batch_done_.wait(lock, [&front] { return front.done; });
    current_ = std::move(window_.front());
    window_.pop_front();
    lock.unlock();
    record_ = mol_ = 0;
    if (current_->error) {
      const std::exception_ptr error = current_->error;
      current_.reset();
      std::rethrow_exception(error);
    }
  }
  // Reports met where no record was cut come before what follows.
  for (const Said& said : std::exchange(pending_said_, {})) Sorvil::QvErrorHandler::Msg(said.level, said.text.c_str());
  if (cut_failed_ && rest()) return true;
  ended_ = true;
  return false;
}

bool QvParallelReader::Next(QvMolBase& mol) {
  auto copy = [&mol](std::unique_ptr<QvGraphMolImpl>& from) {
    CopyRecord(*from, mol);
    QvRecycleMol(std::move(from));
  };
  if (Advance(copy, [&] { return ReadRest(mol); })) return true;
  mol.Clear();
  return false;
}

bool QvParallelReader::Next(std::unique_ptr<QvGraphMolImpl>& mol) {
  // A molecule the caller passes in to be filled again gives way to the
  // worker's and goes back to the bin.
  auto hand_over = [&mol](std::unique_ptr<QvGraphMolImpl>& from) { QvRecycleMol(std::exchange(mol, std::move(from))); };
  auto rest = [&] {
    if (!mol) mol = QvTakeMol();
    return ReadRest(*mol);
  };
  if (Advance(hand_over, rest)) return true;
  mol.reset();
  return false;
}

unsigned QvParallelReader::GetFailedCount() const { return failed_; }

const char* QvParallelReader::Damage() const { return ended_ || damage_due_ ? in_.GetStream().damage() : nullptr; }

}  // namespace Tamrin
