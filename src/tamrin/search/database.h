// The indexed molecule database: one file holding molecules as QVB records
// together with their screens and similarity fingerprints (fingerprint.h),
// read straight from a read-only memory map. Similarity fingerprints are one
// contiguous array per block; screens are stored by bit (one column of
// records per screen bit), so a substructure query reads only the columns of
// the bits its own screen sets. The byte layout is described in
// docs/molecule-database.md.
//
// Records are numbered 0, 1, 2, ... in the order they were added. Each is
// stored with rings and aromaticity (the default model) perceived, the form
// its fingerprints were made from, so that a matcher looking at a fetched
// record sees the same atoms and bonds the screen saw.
//
// Opening checks every count, length and offset against the file before
// anything is used; a damaged or foreign file gives an error message, never
// a read outside the map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tamrin/search/fingerprint.h"
#include "tamrin/search/substructure.h"

namespace Tamrin {

class QvMoleculeDB {
 public:
  QvMoleculeDB() = default;
  ~QvMoleculeDB();
  QvMoleculeDB(const QvMoleculeDB&) = delete;
  QvMoleculeDB& operator=(const QvMoleculeDB&) = delete;

  // Maps the file and checks it. False, with `error` set and nothing open,
  // for a missing, damaged or foreign file.
  bool Open(const std::string& path, std::string& error);
  // Checks bytes the caller keeps alive for as long as this stays open.
  bool OpenBytes(const void* data, std::size_t size, std::string& error);
  void Close();

  std::size_t Size() const { return count_; }
  // The QVB record of a record number; empty out of range.
  std::string_view Record(std::size_t record) const;
  // Reads a record into `mol` (cleared first); false out of range or when
  // the stored record does not read.
  bool Get(std::size_t record, QvMolBase& mol) const;
  // A record's stored screen, gathered from the screen columns; false (and
  // an empty screen) out of range.
  bool Screen(std::size_t record, QvFingerprint& fp) const;
  // The stored similarity fingerprint (kQvFingerprintWords words); null out
  // of range.
  const std::uint64_t* Similarity(std::size_t record) const;

  // Appends to `out`, in order, the records of [begin, end) whose screen
  // holds every bit of `query`: the candidates a substructure matcher must
  // still confirm.
  void Candidates(const QvFingerprint& query, std::size_t begin, std::size_t end,
                  std::vector<std::size_t>& out) const;
  // Appends to `out`, in order, the records of [begin, end) that `query`
  // matches: the candidates of its screen, each confirmed by the matcher.
  void Search(const QvQuery& query, std::size_t begin, std::size_t end, std::vector<std::size_t>& out,
              QvMatchOptions options = {}) const;
  // Appends the records of [begin, end) whose Tanimoto similarity to `query`
  // is at least `threshold`, in order, with their scores.
  void Similar(const QvFingerprint& query, double threshold, std::size_t begin, std::size_t end,
               std::vector<std::pair<std::size_t, double>>& out) const;
  // The similarity of every record to `query`: scores[i] for record i.
  void Scores(const QvFingerprint& query, double* scores) const;
  // The k most similar records, best first; ties by record number.
  std::vector<std::pair<std::size_t, double>> TopK(const QvFingerprint& query, std::size_t k) const;

 private:
  friend class QvMoleculeDBWriter;
  struct Block {
    std::size_t first, count;
    std::size_t words;  // of each screen column
    const std::uint64_t* offsets;
    const std::uint64_t* screens;  // kQvFingerprintBits columns of `words` words
    const std::uint64_t* similarity;
    const char* payloads;
  };
  const Block* Find(std::size_t record) const;
  template <class F>
  void ForEachBlock(std::size_t begin, std::size_t end, F f) const;

  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  bool mapped_ = false;
  std::size_t count_ = 0;
  std::uint64_t committed_ = 0;
  std::vector<Block> blocks_;
};

// Writes a new database, or adds records to an existing one. A new database
// is written to a temporary file beside `path` and takes its name at Close,
// so open readers of an older file are unaffected. Records are written in
// blocks; the header, which says how many blocks and bytes are committed, is
// rewritten after each block, so an append that stops part way leaves the
// database as of its last block (bytes after the committed length are
// ignored, and dropped by the next append).
class QvMoleculeDBWriter {
 public:
  explicit QvMoleculeDBWriter(std::size_t records_per_block = 16384);
  ~QvMoleculeDBWriter();
  QvMoleculeDBWriter(const QvMoleculeDBWriter&) = delete;
  QvMoleculeDBWriter& operator=(const QvMoleculeDBWriter&) = delete;

  // Creates (replacing) the file, or with `append` opens an existing
  // database, which must check as Open does, to add to it.
  bool Open(const std::string& path, bool append, std::string& error);
  // Adds a molecule as the next record. False when it cannot be stored
  // (nothing is added), or when it completed a block that could not be
  // written (see Error(); the block stays buffered for the next try).
  bool Add(const QvMolBase& mol);
  // Writes what is buffered and the header. False with `error` set when
  // something could not be written.
  bool Close(std::string& error);
  // Records in the database, written or buffered.
  std::size_t Count() const { return count_ + pending_; }
  const std::string& Error() const { return error_; }

 private:
  bool Flush();
  bool WriteHeader();
  void Discard();

  std::size_t per_block_;
  std::FILE* file_ = nullptr;
  std::string path_, temporary_, error_;
  std::size_t count_ = 0, pending_ = 0;
  std::uint64_t committed_ = 0, blocks_ = 0;
  std::vector<std::uint64_t> offsets_, screens_, similarity_;
  std::string payloads_;
};

}  // namespace Tamrin
