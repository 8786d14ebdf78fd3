// A parsed CIF data block as views into the text it was parsed from: no
// value is copied, so the text must outlive the block. Values keep their
// quotes and text-field markers; Text() takes them off.
//
// The parser (cifparse.cpp) runs gemmi's CIF grammar, whose document header
// clang cannot compile as C++20 with the GNU C++ library of our systems: that
// one file is built as C++17, and this header, its only interface, is plain
// C++17 without gemmi.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Tamrin::cifdoc {

struct Loop {
  std::vector<std::string_view> tags;
  std::vector<std::string_view> values;  // row after row
};

struct Pair {
  std::string_view tag, value;
};

// Items inside save frames (dictionaries) are not kept.
struct Block {
  std::string_view name;
  std::vector<Pair> pairs;
  std::vector<Loop> loops;
};

// Parses `text` (one or more data blocks) into `blocks`; false with the
// reason in `error` when it is not CIF: bad syntax, a loop whose values do
// not fill its rows, or a tag without a value.
bool Parse(std::string_view text, std::vector<Block>& blocks, std::string& error);

// A value's text without its quotes or text-field markers; empty for the
// null values '?' and '.'.
std::string_view Text(std::string_view value);
bool IsNull(std::string_view value);

// The value of `tag` (case-insensitive) as a pair, or the first row of a
// loop; null when the block has none.
const std::string_view* FindValue(const Block& block, std::string_view tag);

// Columns of one category, read by index: the rows of the loop that holds
// the first tag, or the one row its pairs make. A tag written "?name" is
// optional (an empty cell when absent); without a required tag the table
// has no rows.
class Table {
 public:
  Table() = default;
  Table(const Block& block, std::string_view prefix, const std::vector<std::string_view>& tags);

  bool ok() const { return ok_; }
  std::size_t size() const { return rows_; }
  bool Has(std::size_t column) const { return columns_[column] != nullptr; }
  // The raw value, quotes and all; empty for an absent column.
  std::string_view Raw(std::size_t row, std::size_t column) const {
    const std::string_view* c = columns_[column];
    return c ? c[row * stride_] : std::string_view();
  }
  std::string_view operator()(std::size_t row, std::size_t column) const { return Text(Raw(row, column)); }

 private:
  std::vector<const std::string_view*> columns_;
  std::size_t rows_ = 0, stride_ = 0;
  bool ok_ = false;
};

}  // namespace Tamrin::cifdoc
