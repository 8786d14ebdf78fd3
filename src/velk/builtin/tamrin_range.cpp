#include "velk/builtin/tamrin_range.h"

#include <algorithm>
#include <string_view>

#include "pellar/qvsstream.h"
#include "pellar/qvstream.h"
#include "tamrin/formats/mdl/sdftokenizer.h"
#include "tamrin/formats/mol2/mol2tokenizer.h"
#include "tamrin/formats/pdb/pdbtokenizer.h"
#include "tamrin/formats/xyz/xyztokenizer.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/tokenizer.h"
#include "velk/builtin/tamrin_handler.h"
#include "velk/errors.h"

namespace velk::builtin {

namespace {

// How far before an offset the search for a provable boundary begins. A
// look-back wider than most records keeps the boundary the first one at or
// after the offset; a wider one only costs reading it.
constexpr std::uint64_t kLookBack = std::uint64_t{1} << 16;

constexpr std::string_view kMol2Start = "@<TRIPOS>MOLECULE";

// How a format's records can be found from the middle of its data.
enum class Marks {
  None,
  Lines,    // every line is a record
  Starts,   // a record starts at a line of its own (MOL2)
  SdfEnds,  // every "$$$$" line ends a record
  PdbEnds,  // the ending line after an atom line ends a record
  Counted,  // only counting from the start finds records (XYZ)
};

Marks MarksOf(Tamrin::QvFormat format, unsigned flavor) {
  const auto tokenizer = Tamrin::QvCreateTokenizer(format, flavor);
  const Tamrin::QvMolTokenizer* t = tokenizer.get();
  if (dynamic_cast<const Tamrin::QvLineTokenizer*>(t)) return Marks::Lines;
  if (dynamic_cast<const Tamrin::QvMOL2Tokenizer*>(t)) return Marks::Starts;
  if (dynamic_cast<const Tamrin::QvSDFTokenizer*>(t)) return Marks::SdfEnds;
  if (dynamic_cast<const Tamrin::QvPDBTokenizer*>(t)) return Marks::PdbEnds;
  if (dynamic_cast<const Tamrin::QvXYZTokenizer*>(t)) return Marks::Counted;
  return Marks::None;
}

std::uint64_t Tell(const Pellar::qvistream& in) { return static_cast<std::uint64_t>(in.tell()); }

// Seeks to `from` and on to the first line start after it, unless `from`
// is the start of the data. A line end cut in two (CR|LF) ends where a
// reader from the start would end it.
bool SeekLines(Pellar::qvistream& in, std::uint64_t from) {
  if (!in.seek(static_cast<std::int64_t>(from))) return false;
  std::string_view line;
  return from == 0 || in.getline(line);
}

// The first line start at or after `offset` whose line `is_mark` accepts
// (the line start itself when `at_end` is false, the start of the line
// after it when true), searching from the stream's position; `size` when
// there is none.
template <class IsMark>
std::uint64_t FindMark(Pellar::qvistream& in, std::uint64_t offset, std::uint64_t size, bool at_end, IsMark is_mark) {
  std::string_view line;
  for (;;) {
    const std::uint64_t start = Tell(in);
    if (!in.getline(line)) return size;
    const std::uint64_t mark = at_end ? Tell(in) : start;
    if (mark >= offset && is_mark(line)) return mark;
  }
}

// The first record start at or after `offset`, cutting records with the
// format's own tokenizer from `sync`, a known record start.
std::uint64_t Tokenize(Pellar::qvistream& in, Tamrin::QvFormat format, unsigned flavor, std::uint64_t sync,
                       std::uint64_t offset, std::uint64_t size) {
  if (!in.seek(static_cast<std::int64_t>(sync))) return size;
  const auto tokenizer = Tamrin::QvCreateTokenizer(format, flavor);
  std::string record;
  std::uint64_t pos = sync;
  while (pos < offset) {
    if (!tokenizer->Next(in, record)) return size;
    pos = Tell(in);
  }
  return pos;
}

bool IsAtom(std::string_view line) { return line.starts_with("ATOM") || line.starts_with("HETA"); }

class NoRecords final : public MolSource {
 public:
  using MolSource::next;
  bool next(QvMolBase&) override { return false; }
  bool next(QvGraphMol&) override { return false; }
};

}  // namespace

bool RangeReadable(Tamrin::QvFormat format) {
  return format != Tamrin::QvFormat::UNDEFINED && Tamrin::QvFormatInRange(format) &&
         MarksOf(format, 0) != Marks::None;
}

std::uint64_t RecordBoundary(Pellar::qvistream& in, Tamrin::QvFormat format, unsigned flavor, std::uint64_t offset) {
  const std::int64_t known = in.size();
  const std::uint64_t size = known < 0 ? 0 : static_cast<std::uint64_t>(known);
  if (offset == 0 || offset >= size) return std::min(offset, size);
  const std::uint64_t from = offset - std::min(offset, kLookBack);
  const Marks marks = MarksOf(format, flavor);
  if (marks == Marks::Counted) return Tokenize(in, format, flavor, 0, offset, size);
  if (!SeekLines(in, from)) return size;
  switch (marks) {
    case Marks::Lines:
      return FindMark(in, offset, size, false, [](std::string_view) { return true; });
    case Marks::Starts:
      return FindMark(in, offset, size, false, [](std::string_view line) { return line.starts_with(kMol2Start); });
    case Marks::SdfEnds: {
      const std::uint64_t sync =
          from == 0 ? 0 : FindMark(in, 0, size, true, [](std::string_view line) { return line.starts_with("$$$$"); });
      return Tokenize(in, format, flavor, sync, offset, size);
    }
    case Marks::PdbEnds: {
      // The record holding an atom line ends at the first ending line after
      // it, whatever came before: its end is a boundary.
      std::uint64_t sync = 0;
      if (from != 0) {
        const std::uint64_t atom = FindMark(in, 0, size, false, IsAtom);
        sync = atom == size ? size : Tokenize(in, format, flavor, atom, atom + 1, size);
      }
      return Tokenize(in, format, flavor, sync, offset, size);
    }
    default:
      return size;
  }
}

namespace {

// Bytes [first, last) of the plain file at `path`: the records a stretch owns.
std::string StretchBytes(const std::string& path, Tamrin::QvFormat format, unsigned flavor, std::uint64_t begin,
                         std::uint64_t end) {
  if (path.ends_with(".gz"))
    throw FormatError("velk: '" + path + "' is gzip-compressed: its records cannot be read by byte range");
  Pellar::qvifstream in;
  if (!in.open(path.c_str())) throw FileError("velk: unable to open '" + path + "' for reading");
  const std::uint64_t first = RecordBoundary(in, format, flavor, begin);
  const std::uint64_t last = RecordBoundary(in, format, flavor, std::max(begin, end));
  std::string data;
  if (first >= last) return data;
  if (!in.seek(static_cast<std::int64_t>(first)) || in.read(data, last - first) != last - first)
    throw FileError("velk: unable to read bytes " + std::to_string(first) + " to " + std::to_string(last) + " of '" +
                    path + "'");
  return data;
}

bool Blank(std::string_view bytes) {
  return bytes.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace

std::vector<std::string> RangeRecords(const std::string& path, Tamrin::QvFormat format, std::uint64_t begin,
                                      std::uint64_t end, bool whole) {
  Tamrin::qvmolistream stream;
  stream.SetFormat(format);
  const unsigned flavor = stream.GetFlavor(format);
  const auto tokenizer = Tamrin::QvCreateTokenizer(format, flavor);
  if (!tokenizer)
    throw FormatError(std::string("velk: ") + Tamrin::QvFormatDescription(format) + " cannot be cut into records");
  std::string data;
  if (whole) {
    if (!stream.open(path)) throw FileError("velk: unable to open '" + path + "' for reading");
    stream.GetStream().readall(data);
    if (const char* damage = stream.GetStream().damage())
      throw FormatError("velk: '" + path + "': input damaged: " + damage);
  } else {
    data = StretchBytes(path, format, flavor, begin, end);
  }
  std::vector<std::string> records;
  Pellar::qvisstream in(data.data(), data.size());
  std::string record;
  for (std::uint64_t from = 0;;) {
    const bool cut = tokenizer->Next(in, record);
    const auto to = static_cast<std::uint64_t>(in.tell());
    const std::string_view bytes = std::string_view(data).substr(from, to - from);
    if (!cut) {
      if (!Blank(std::string_view(data).substr(from)))
        throw FormatError("velk: '" + path + "': the " + Tamrin::QvFormatDescription(format) + " data after record " +
                          std::to_string(records.size()) + " cannot be cut into records");
      break;
    }
    if (!Blank(bytes)) records.emplace_back(bytes);
    from = to;
  }
  return records;
}

std::unique_ptr<MolSource> OpenRangeSource(const std::string& path, Tamrin::QvFormat format, std::uint64_t begin,
                                           std::uint64_t end) {
  auto source = std::make_unique<TamrinMolSource>();
  Tamrin::qvmolistream& stream = source->stream();
  stream.SetFormat(format);
  const std::string data = StretchBytes(path, format, stream.GetFlavor(format), begin, end);
  if (data.empty()) return std::make_unique<NoRecords>();
  stream.openstring(data);
  stream.SetName(path);
  return source;
}

}  // namespace velk::builtin
