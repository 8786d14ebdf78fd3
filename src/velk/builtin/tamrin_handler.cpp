#include "velk/builtin/tamrin_handler.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "pellar/qvioerror.h"
#include "pellar/qvstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbin.h"
#include "tamrin/model/mcmol.h"
#include "tamrin/streams/molio.h"
#include "velk/errors.h"

namespace velk::builtin {

namespace {

// The three settings a configuration record forces on a stream.
struct StreamSettings {
  unsigned format = 0;
  unsigned flavor_format = 0;
  unsigned flavor = 0;
  unsigned threads = 0;
};

template <class Config>
StreamSettings settings_from(const std::any& config, const char* warning) {
  if (!config.has_value()) return {};
  if (const auto* c = std::any_cast<Config>(&config)) {
    if constexpr (std::is_same_v<Config, tamrin::ReaderConfig>)
      return {c->format, c->iflavor_format, c->iflavor, c->num_threads};
    else
      return {c->format, c->oflavor_format, c->oflavor, c->num_threads};
  }
  Sorvil::QvErrorHandler::Warning("%s", warning);
  return {};
}

template <class Stream>
void apply(Stream& stream, const StreamSettings& settings) {
  if (settings.format != 0) stream.SetFormat(static_cast<Tamrin::QvFormat>(settings.format));
  if (settings.flavor != 0) {
    const auto flavor_format = settings.flavor_format != 0
                                   ? static_cast<Tamrin::QvFormat>(settings.flavor_format)
                                   : stream.GetFormat();
    stream.SetFlavor(flavor_format, settings.flavor);
  }
}

}  // namespace

Tamrin::QvParallelReader* TamrinMolSource::parallel() {
  if (!threads_decided_) {
    threads_decided_ = true;
    if (threads_ > 1 && Tamrin::QvParallelReader::Supports(stream_))
      parallel_ = std::make_unique<Tamrin::QvParallelReader>(stream_, threads_);
  }
  return parallel_.get();
}

// A multi-conformer molecule read in parallel takes the record's molecule
// as its one conformer: the formats read in parallel combine none. The
// reads clear the molecule they fill; a multi-conformer one is cleared
// before, as its read warns of conformers left in it.
bool TamrinMolSource::next(QvMolBase& mol) {
  if (auto* reader = parallel()) return noted(reader->Next(mol));
  if (auto* multi = Sorvil::QvCast<Tamrin::QvMCMolBase>(&mol)) {
    multi->Clear();
    return noted(Tamrin::QvReadMolecule(stream_, *multi));
  }
  return noted(Tamrin::QvReadMolecule(stream_, mol));
}

bool TamrinMolSource::next(QvGraphMol& mol) {
  if (auto* reader = parallel()) return noted(reader->Next(mol.GetMol()));
  return noted(Tamrin::QvReadMolecule(stream_, mol.GetMol()));
}

// The stream's reader clears the molecule before it reads: a recycled one
// is not cleared twice.
bool TamrinMolSource::next_owned(std::unique_ptr<Tamrin::QvGraphMolImpl>& mol) {
  if (auto* reader = parallel()) return noted(reader->Next(mol));
  if (!mol) mol = Tamrin::QvMolBin::Shared().TakeForReading();
  return next(*mol);
}

// The stream skips a bad record and goes on, and a gzip member cut short
// simply ends the data: without this a caller would see fewer molecules and
// nothing else. Records are numbered by their place in the file, so a
// skipped record counts too.
bool TamrinMolSource::noted(bool got) {
  const unsigned skipped = parallel_ ? parallel_->GetFailedCount() : stream_.GetFailedCount();
  // The workers' input is cut ahead of the reads; its damage counts once
  // the records before it are all passed.
  const char* damage = parallel_ ? parallel_->Damage() : stream_.GetStream().damage();
  if (skipped != skipped_ || (damage && !damage_seen_)) {
    const std::string where = "velk: '" + stream_.GetName() + "': ";
    const std::uint64_t first = delivered_ + skipped_ + 1;
    const std::uint64_t last = delivered_ + skipped;
    const std::string format = Tamrin::QvFormatDescription(stream_.GetFormat());
    if (last == first)
      faults_.push_back(where + "record " + std::to_string(first) + " could not be read as " + format +
                        " and was skipped");
    else if (last > first)
      faults_.push_back(where + "records " + std::to_string(first) + " to " + std::to_string(last) +
                        " could not be read as " + format + " and were skipped");
    if (damage && !damage_seen_) {
      damage_seen_ = true;
      faults_.push_back(where + "input damaged at record " + std::to_string(last + 1) + ": " + damage);
    }
    skipped_ = skipped;
  }
  delivered_ += got;
  return got;
}

std::vector<std::string> TamrinMolSource::take_faults() { return std::exchange(faults_, {}); }

ReadResult TamrinMolSource::next_record(QvMolBase& mol) {
  ReadResult result;
  if (failed_) {
    mol.Clear();
    return result;  // End
  }
  if (next(mol)) {
    ++record_count_;
    result.status = ReadStatus::Ok;
    return result;
  }
  mol.Clear();
  // A parallel read ends only at the end of the input.
  if (parallel_ || stream_.at_end()) return result;
  failed_ = true;
  result.status = ReadStatus::ParseError;
  result.message = "record " + std::to_string(record_count_ + 1) + " of this " +
                   Tamrin::QvFormatDescription(stream_.GetFormat()) + " stream could not be parsed";
  return result;
}

bool TamrinMolSink::append(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) {
  return grids.empty() && append(mol);
}

bool TamrinMolSink::append(const QvMolBase& mol) {
  const auto* multi = Sorvil::QvCast<const Tamrin::QvMCMolBase>(&mol);
  const int status = multi && multi->NumConfs() > 1 ? Tamrin::QvWriteConstMolecule(stream_, *multi)
                                                    : Tamrin::QvWriteMolecule(stream_, mol);
  if (status == Tamrin::QvWriteStreamFailed && stream_.GetFileError() != 0 && !reported_) {
    reported_ = true;
    fail(std::strerror(stream_.GetFileError()));
  }
  return status == 0;
}

void TamrinMolSink::close() {
  std::string why;
  try {
    stream_.close();
  } catch (const Pellar::QvIOError& e) {
    why = e.what();
    // The gzip layer is gone; the file under it still has to be closed.
    stream_.close();
  }
  if (const int error = stream_.GetFileError())
    why = error == ENOENT ? "it was removed while being written" : std::strerror(error);
  if (why.empty()) return;
  discard();
  if (reported_) return;
  reported_ = true;
  fail(why);
}

void TamrinMolSink::opened(const std::string& path) {
  path_ = path;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    device_ = static_cast<std::uint64_t>(st.st_dev);
    inode_ = static_cast<std::uint64_t>(st.st_ino);
  }
}

void TamrinMolSink::fail(const std::string& why) {
  throw FileError("velk: writing '" + path_ + "' failed: " + why);
}

// Only the regular file this sink created: never a device or a link to one,
// nor a file that replaced it.
void TamrinMolSink::discard() {
  struct stat st;
  if (inode_ != 0 && ::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<std::uint64_t>(st.st_dev) == device_ && static_cast<std::uint64_t>(st.st_ino) == inode_)
    ::unlink(path_.c_str());
}

FormatInfo TamrinHandler::info() const {
  FormatInfo info;
  info.name = "Tamrin";
  info.extensions = {".qvb.gz", ".sdf.gz", ".mol2.gz", ".pdb.gz", ".smi.gz", ".csv.gz", ".xyz.gz",
                     ".ent.gz", ".sdf",    ".mol",     ".mol2",   ".pdb",   ".ent",   ".qvb",
                     ".qvz",    ".smi",    ".ism",     ".can",    ".csv",   ".xyz",   ".fasta",
                     ".cif",    ".mmcif",  ".mopac",   ".cdx",    ".skc"};
  info.description = "Nimbrel Tamrin native formats";
  return info;
}

std::unique_ptr<MolSource> TamrinHandler::open_reader(const std::string& path, const std::any& config) {
  const StreamSettings settings = settings_from<tamrin::ReaderConfig>(
      config, "velk: Tamrin reader received unexpected config type; using defaults");
  auto source = std::make_unique<TamrinMolSource>();
  if (!source->stream().open(path)) throw FileError("velk: unable to open '" + path + "' for reading");
  source->stream().SetName(path);
  apply(source->stream(), settings);
  source->set_threads(settings.threads);
  return source;
}

std::unique_ptr<MolSink> TamrinHandler::open_writer(const std::string& path, const std::any& config) {
  const StreamSettings settings = settings_from<tamrin::WriterConfig>(
      config, "velk: Tamrin writer received unexpected config type; using defaults");
  auto sink = std::make_unique<TamrinMolSink>();
  if (!sink->stream().open(path)) throw FileError("velk: unable to open '" + path + "' for writing");
  sink->opened(path);
  apply(sink->stream(), settings);
  return sink;
}

}  // namespace velk::builtin
