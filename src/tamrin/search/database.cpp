#include "tamrin/search/database.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pellar/qvsstream.h"
#include "tamrin/formats/qvb/qvb.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/rings.h"
#include "tamrin/search/substructure.h"

namespace Tamrin {

namespace {

constexpr char kMagic[8] = {'N', 'M', 'B', 'R', 'L', 'M', 'D', 'B'};
constexpr char kBlockMagic[8] = {'N', 'M', 'B', 'R', 'L', 'B', 'L', 'K'};
constexpr std::uint32_t kVersion = 2;
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kBlockHeaderSize = 32;
constexpr std::size_t kFpBytes = kQvFingerprintWords * 8;

struct Header {
  char magic[8];
  std::uint32_t version, header_size, words, path_bonds;
  std::uint64_t records, committed, blocks;
  std::uint32_t screen_features, reserved32;
  std::uint64_t reserved;
};
static_assert(sizeof(Header) == kHeaderSize);

struct BlockHeader {
  char magic[8];
  std::uint64_t records, length, payload_bytes;
};
static_assert(sizeof(BlockHeader) == kBlockHeaderSize);

constexpr std::uint64_t Pad8(std::uint64_t n) { return (n + 7) & ~std::uint64_t{7}; }

// Words of one screen column of a block of n records: bit i of the column is
// record i's.
constexpr std::uint64_t ColumnWords(std::uint64_t n) { return (n + 63) / 64; }

// The length of a block of n records and p payload bytes. n and p are
// bounded by the file size by the caller, so this cannot overflow.
std::uint64_t BlockLength(std::uint64_t n, std::uint64_t p) {
  return kBlockHeaderSize + 8 * (n + 1) + 8 * kQvFingerprintBits * ColumnWords(n) + kFpBytes * n + Pad8(p);
}

}  // namespace

QvMoleculeDB::~QvMoleculeDB() { Close(); }

void QvMoleculeDB::Close() {
  if (mapped_ && data_) munmap(const_cast<unsigned char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
  count_ = 0;
  committed_ = 0;
  blocks_.clear();
}

bool QvMoleculeDB::Open(const std::string& path, std::string& error) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open molecule database " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = "not a regular file: " + path;
    return false;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  void* map = size ? mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0) : nullptr;
  ::close(fd);
  if (size && map == MAP_FAILED) {
    error = "cannot map molecule database " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!OpenBytes(map, size, error)) {
    if (size) munmap(map, size);
    error += " (" + path + ")";
    return false;
  }
  mapped_ = size != 0;
  return true;
}

bool QvMoleculeDB::OpenBytes(const void* data, std::size_t size, std::string& error) {
  Close();
  const auto* bytes = static_cast<const unsigned char*>(data);
  Header h;
  if (reinterpret_cast<std::uintptr_t>(data) % 8 != 0) {
    error = "molecule database bytes must be 8-byte aligned";
    return false;
  }
  if (size < kHeaderSize || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
    error = "not a molecule database";
    return false;
  }
  std::memcpy(&h, bytes, sizeof h);
  if (h.version != kVersion || h.header_size != kHeaderSize) {
    error = "molecule database of an unknown version";
    return false;
  }
  if (h.words != kQvFingerprintWords || h.path_bonds != kQvScreenMaxPathBonds ||
      h.screen_features != kQvScreenFeatureVersion) {
    error = "molecule database with other fingerprint settings";
    return false;
  }
  if (h.committed < kHeaderSize || h.committed > size || h.committed % 8 != 0) {
    error = "molecule database truncated or damaged: committed length " + std::to_string(h.committed) +
            " of a file of " + std::to_string(size) + " bytes";
    return false;
  }
  std::vector<Block> blocks;
  std::uint64_t at = kHeaderSize, records = 0;
  const auto damaged = [&](const char* what) {
    error = "molecule database damaged: " + std::string(what) + " in block " + std::to_string(blocks.size()) +
            " at byte " + std::to_string(at);
    return false;
  };
  while (at < h.committed) {
    if (h.committed - at < kBlockHeaderSize) return damaged("short block header");
    BlockHeader b;
    std::memcpy(&b, bytes + at, sizeof b);
    const std::uint64_t room = h.committed - at;
    if (std::memcmp(b.magic, kBlockMagic, sizeof kBlockMagic) != 0) return damaged("bad block marker");
    // Each record takes at least its offset, its similarity fingerprint and
    // its share of the screen columns (as many bits), so a count that passes
    // this cannot overflow BlockLength.
    if (b.records == 0 || b.records > room / (8 + 2 * kFpBytes) || b.payload_bytes > room ||
        b.length != BlockLength(b.records, b.payload_bytes) || b.length > room)
      return damaged("block lengths do not agree");
    Block block;
    block.first = static_cast<std::size_t>(records);
    block.count = static_cast<std::size_t>(b.records);
    const unsigned char* base = bytes + at + kBlockHeaderSize;
    block.offsets = reinterpret_cast<const std::uint64_t*>(base);
    block.words = static_cast<std::size_t>(ColumnWords(b.records));
    block.screens = block.offsets + (b.records + 1);
    block.similarity = block.screens + kQvFingerprintBits * block.words;
    block.payloads = reinterpret_cast<const char*>(block.similarity + b.records * kQvFingerprintWords);
    if (block.offsets[0] != 0 || block.offsets[b.records] != b.payload_bytes) return damaged("bad record offsets");
    for (std::size_t i = 0; i < block.count; ++i)
      if (block.offsets[i + 1] <= block.offsets[i]) return damaged("bad record offsets");
    blocks.push_back(block);
    records += b.records;
    at += b.length;
  }
  if (blocks.size() != h.blocks || records != h.records) {
    error = "molecule database damaged: the header counts " + std::to_string(h.records) + " records in " +
            std::to_string(h.blocks) + " blocks, the file holds " + std::to_string(records) + " in " +
            std::to_string(blocks.size());
    return false;
  }
  data_ = bytes;
  size_ = size;
  count_ = static_cast<std::size_t>(records);
  committed_ = h.committed;
  blocks_ = std::move(blocks);
  return true;
}

const QvMoleculeDB::Block* QvMoleculeDB::Find(std::size_t record) const {
  if (record >= count_) return nullptr;
  auto it = std::upper_bound(blocks_.begin(), blocks_.end(), record,
                             [](std::size_t r, const Block& b) { return r < b.first; });
  return &*(it - 1);
}

std::string_view QvMoleculeDB::Record(std::size_t record) const {
  const Block* b = Find(record);
  if (!b) return {};
  const std::size_t i = record - b->first;
  return {b->payloads + b->offsets[i], static_cast<std::size_t>(b->offsets[i + 1] - b->offsets[i])};
}

bool QvMoleculeDB::Get(std::size_t record, QvMolBase& mol) const {
  mol.Clear();
  const std::string_view bytes = Record(record);
  if (bytes.empty()) return false;
  Pellar::qvisstream in(bytes.data(), bytes.size());
  std::string buffer;
  return QvReadQVBRecord(in, mol, buffer, nullptr) == Sorvil::QVBSuccess;
}

bool QvMoleculeDB::Screen(std::size_t record, QvFingerprint& fp) const {
  fp.fill(0);
  const Block* b = Find(record);
  if (!b) return false;
  const std::size_t i = record - b->first, word = i / 64, shift = i % 64;
  for (unsigned bit = 0; bit < kQvFingerprintBits; ++bit)
    fp[bit / 64] |= (b->screens[bit * b->words + word] >> shift & 1) << (bit % 64);
  return true;
}

const std::uint64_t* QvMoleculeDB::Similarity(std::size_t record) const {
  const Block* b = Find(record);
  return b ? b->similarity + (record - b->first) * kQvFingerprintWords : nullptr;
}

// Calls f(block, from, to) for the part [from, to) of each block that lies in
// [begin, end), as positions within the block.
template <class F>
void QvMoleculeDB::ForEachBlock(std::size_t begin, std::size_t end, F f) const {
  end = std::min(end, count_);
  for (const Block& b : blocks_) {
    if (b.first + b.count <= begin) continue;
    if (b.first >= end) break;
    f(b, std::max(begin, b.first) - b.first, std::min(end, b.first + b.count) - b.first);
  }
}

void QvMoleculeDB::Candidates(const QvFingerprint& query, std::size_t begin, std::size_t end,
                              std::vector<std::size_t>& out) const {
  // The columns of the query's bits, ANDed: a query reads one bit per record
  // for each bit of its own screen, not whole screens, and reads each column
  // front to back.
  std::vector<unsigned> bits;
  for (unsigned bit = 0; bit < kQvFingerprintBits; ++bit)
    if (query[bit / 64] >> (bit % 64) & 1) bits.push_back(bit);
  std::vector<std::uint64_t> all;
  ForEachBlock(begin, end, [&](const Block& b, std::size_t from, std::size_t to) {
    const std::size_t first = from / 64, last = (to + 63) / 64;
    all.assign(last - first, ~std::uint64_t{0});
    for (const unsigned bit : bits) {
      const std::uint64_t* column = b.screens + bit * b.words;
      std::uint64_t any = 0;
      for (std::size_t w = first; w < last; ++w) any |= all[w - first] &= column[w];
      if (!any) return;
    }
    // Only the records of [from, to).
    all.front() &= ~std::uint64_t{0} << (from % 64);
    if (to % 64) all.back() &= ~std::uint64_t{0} >> (64 - to % 64);
    for (std::size_t w = first; w < last; ++w)
      for (std::uint64_t hits = all[w - first]; hits; hits &= hits - 1)
        out.push_back(b.first + w * 64 + static_cast<unsigned>(std::countr_zero(hits)));
  });
}

void QvMoleculeDB::Search(const QvQuery& query, std::size_t begin, std::size_t end,
                          std::vector<std::size_t>& out, QvMatchOptions options) const {
  std::vector<std::size_t> candidates;
  Candidates(QvScreenFingerprint(query.Mol()), begin, end, candidates);
  QvGraphMol mol;
  for (const std::size_t record : candidates)
    if (Get(record, mol) && QvMatches(query, mol, options)) out.push_back(record);
}

void QvMoleculeDB::Similar(const QvFingerprint& query, double threshold, std::size_t begin, std::size_t end,
                           std::vector<std::pair<std::size_t, double>>& out) const {
  std::vector<double> scores;
  ForEachBlock(begin, end, [&](const Block& b, std::size_t from, std::size_t to) {
    scores.resize(to - from);
    QvBulkTanimoto(query, b.similarity + from * kQvFingerprintWords, to - from, scores.data());
    for (std::size_t i = 0; i < scores.size(); ++i)
      if (scores[i] >= threshold) out.emplace_back(b.first + from + i, scores[i]);
  });
}

void QvMoleculeDB::Scores(const QvFingerprint& query, double* scores) const {
  for (const Block& b : blocks_) QvBulkTanimoto(query, b.similarity, b.count, scores + b.first);
}

std::vector<std::pair<std::size_t, double>> QvMoleculeDB::TopK(const QvFingerprint& query, std::size_t k) const {
  std::vector<std::pair<std::size_t, double>> best;
  if (k == 0) return best;
  const auto better = [](const std::pair<std::size_t, double>& a, const std::pair<std::size_t, double>& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  };
  // A heap of the k best so far, the worst of them on top.
  std::vector<double> scores;
  ForEachBlock(0, count_, [&](const Block& b, std::size_t from, std::size_t to) {
    scores.resize(to - from);
    QvBulkTanimoto(query, b.similarity + from * kQvFingerprintWords, to - from, scores.data());
    for (std::size_t i = 0; i < scores.size(); ++i) {
      const std::pair<std::size_t, double> hit(b.first + from + i, scores[i]);
      if (best.size() < k) {
        best.push_back(hit);
        std::push_heap(best.begin(), best.end(), better);
      } else if (better(hit, best.front())) {
        std::pop_heap(best.begin(), best.end(), better);
        best.back() = hit;
        std::push_heap(best.begin(), best.end(), better);
      }
    }
  });
  std::sort(best.begin(), best.end(), better);
  return best;
}

QvMoleculeDBWriter::QvMoleculeDBWriter(std::size_t records_per_block) : per_block_(std::max<std::size_t>(1, records_per_block)) {}

QvMoleculeDBWriter::~QvMoleculeDBWriter() {
  std::string ignored;
  Close(ignored);
}

bool QvMoleculeDBWriter::Open(const std::string& path, bool append, std::string& error) {
  Close(error);
  error.clear();
  error_.clear();
  count_ = pending_ = 0;
  committed_ = kHeaderSize;
  blocks_ = 0;
  if (append) {
    QvMoleculeDB db;
    if (!db.Open(path, error)) return false;
    count_ = db.Size();
    committed_ = db.committed_;
    blocks_ = db.blocks_.size();
  }
  // A new database is written beside the old file and renamed over it at the
  // end: readers that have the old file mapped keep reading it, where
  // truncating it in place would pull the pages from under them.
  path_ = path;
  temporary_.clear();
  if (append) {
    file_ = std::fopen(path.c_str(), "r+b");
  } else {
    std::string name = path + ".XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd >= 0) {
      // The permissions of the file it replaces, else what the umask allows,
      // not mkstemp's owner-only ones.
      struct stat old {};
      mode_t mode = 0;
      if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
      } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
      }
      fchmod(fd, mode);
      temporary_ = name;
      file_ = fdopen(fd, "wb");
      if (!file_) ::close(fd);
    }
  }
  if (!file_) {
    error = "cannot write molecule database " + path + ": " + std::strerror(errno);
    Discard();
    return false;
  }
  // Bytes after the committed length are what an interrupted append left.
  if (append && ftruncate(fileno(file_), static_cast<off_t>(committed_)) != 0) {
    error = "cannot write molecule database " + path + ": " + std::strerror(errno);
    std::fclose(file_);
    file_ = nullptr;
    Discard();
    return false;
  }
  if (!WriteHeader()) {
    error = error_ + " (" + path + ")";
    std::fclose(file_);
    file_ = nullptr;
    Discard();
    return false;
  }
  offsets_.assign(1, 0);
  return true;
}

bool QvMoleculeDBWriter::Add(const QvMolBase& source) {
  if (!file_) return false;
  QvGraphMol mol(source);
  QvPerceiveRings(mol.GetMol());
  QvPerceiveAromaticity(mol.GetMol(), 2);
  const std::size_t before = payloads_.size();
  if (!QvAppendQVBRecord(payloads_, mol.GetMol(), QvQVBForm::Plain) || payloads_.size() == before) {
    payloads_.resize(before);
    return false;
  }
  offsets_.push_back(payloads_.size());
  const QvFingerprint screen = QvScreenFingerprint(mol.GetMol());
  const QvFingerprint similarity = QvCircularFingerprint(mol.GetMol());
  screens_.insert(screens_.end(), screen.begin(), screen.end());
  similarity_.insert(similarity_.end(), similarity.begin(), similarity.end());
  ++pending_;
  return pending_ < per_block_ || Flush();
}

bool QvMoleculeDBWriter::WriteHeader() {
  Header h{};
  std::memcpy(h.magic, kMagic, sizeof kMagic);
  h.version = kVersion;
  h.header_size = kHeaderSize;
  h.words = kQvFingerprintWords;
  h.path_bonds = kQvScreenMaxPathBonds;
  h.screen_features = kQvScreenFeatureVersion;
  h.records = count_;
  h.committed = committed_;
  h.blocks = blocks_;
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(&h, sizeof h, 1, file_) != 1 || std::fflush(file_) != 0) {
    error_ = std::string("cannot write molecule database header: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool QvMoleculeDBWriter::Flush() {
  if (!file_ || pending_ == 0) return file_ != nullptr;
  BlockHeader b{};
  std::memcpy(b.magic, kBlockMagic, sizeof kBlockMagic);
  b.records = pending_;
  b.payload_bytes = payloads_.size();
  b.length = BlockLength(pending_, payloads_.size());
  payloads_.resize(Pad8(payloads_.size()), '\0');
  // Screens are buffered a record at a time and written a bit at a time: one
  // column per screen bit over the block's records.
  const std::size_t words = static_cast<std::size_t>(ColumnWords(pending_));
  std::vector<std::uint64_t> columns(kQvFingerprintBits * words, 0);
  for (std::size_t i = 0; i < pending_; ++i) {
    const std::uint64_t* fp = screens_.data() + i * kQvFingerprintWords;
    for (unsigned w = 0; w < kQvFingerprintWords; ++w)
      for (std::uint64_t bits = fp[w]; bits; bits &= bits - 1) {
        const unsigned bit = w * 64 + static_cast<unsigned>(std::countr_zero(bits));
        columns[bit * words + i / 64] |= std::uint64_t{1} << (i % 64);
      }
  }
  const auto write = [this](const void* p, std::size_t n) { return n == 0 || std::fwrite(p, n, 1, file_) == 1; };
  const bool ok = std::fseek(file_, static_cast<long>(committed_), SEEK_SET) == 0 && write(&b, sizeof b) &&
                  write(offsets_.data(), offsets_.size() * 8) && write(columns.data(), columns.size() * 8) &&
                  write(similarity_.data(), similarity_.size() * 8) && write(payloads_.data(), payloads_.size()) &&
                  std::fflush(file_) == 0;
  if (!ok) {
    error_ = std::string("cannot write molecule database block: ") + std::strerror(errno);
    return false;
  }
  // The block is in the file before the header counts it.
  committed_ += b.length;
  count_ += pending_;
  ++blocks_;
  pending_ = 0;
  offsets_.assign(1, 0);
  screens_.clear();
  similarity_.clear();
  payloads_.clear();
  return WriteHeader();
}

bool QvMoleculeDBWriter::Close(std::string& error) {
  if (!file_) return true;
  const bool ok = Flush();
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (ok && closed && !temporary_.empty()) {
    closed = std::rename(temporary_.c_str(), path_.c_str()) == 0;
    if (closed) temporary_.clear();
  }
  if (ok && closed) return true;
  error = ok ? "cannot close molecule database " + path_ + ": " + std::strerror(errno) : error_;
  Discard();
  return false;
}

void QvMoleculeDBWriter::Discard() {
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}

}  // namespace Tamrin
