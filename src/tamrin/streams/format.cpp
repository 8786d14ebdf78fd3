#include "tamrin/streams/format.h"

#include <cstring>
#include <string>
#include <string_view>

#include "sorvil/error/errorhandler.h"
#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

namespace {

constexpr char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isdigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// `word` is one entry of an extension list; "pdb#" takes "pdb" followed by
// digits.
bool matches(std::string_view word, std::string_view key) {
  if (word.ends_with('#')) {
    word.remove_suffix(1);
    return key.starts_with(word) && isdigits(key.substr(word.size()));
  }
  return word == key;
}

bool listed(std::string_view list, std::string_view key) {
  while (!list.empty()) {
    const std::size_t blank = list.find(' ');
    if (matches(list.substr(0, blank), key)) return true;
    if (blank == std::string_view::npos) break;
    list.remove_prefix(blank + 1);
  }
  return false;
}

}  // namespace

const char* QvExtensionOf(const char* name) {
  if (!name) return nullptr;
  const char* ext = nullptr;
  for (const char* p = name; *p; ++p) {
    if (*p == '/' || *p == '\\') {
      ext = nullptr;
    } else if (*p == '.') {
      // A trailing ".gz" is the compression, not the format.
      const bool gz = std::strlen(p) == 3 && lower(p[1]) == 'g' && lower(p[2]) == 'z';
      if (!gz) ext = p + 1;
    }
  }
  return ext;
}

bool QvIsBareExtension(const char* name) {
  return name && name[0] == '.' && QvExtensionOf(name) == name + 1;
}

bool QvNameIsGzip(const char* name) {
  if (!name) return false;
  const std::size_t n = std::strlen(name);
  return n >= 3 && name[n - 3] == '.' && lower(name[n - 2]) == 'g' && lower(name[n - 1]) == 'z';
}

QvFormat QvFormatFromExtension(const char* ext) {
  if (!ext) return QvFormat::UNDEFINED;
  std::string key;
  for (const char* p = ext; *p && *p != '.'; ++p) key += lower(*p);
  if (key.empty()) return QvFormat::UNDEFINED;
  for (unsigned code = 1; code < kQvNumFormats; ++code) {
    const auto format = static_cast<QvFormat>(code);
    if (listed(QvGetFormatInfo(format).extensions, key)) return format;
  }
  return QvFormat::UNDEFINED;
}

bool QvFormatReadable(QvFormat format) { return QvGetFormatInfo(format).readable; }

bool QvFormatWritable(QvFormat format) { return QvGetFormatInfo(format).writable; }

const char* QvFormatDescription(QvFormat format) {
  if (QvFormatInRange(format)) return QvGetFormatInfo(format).description;
  Sorvil::QvErrorHandler::Warning("Stream format tag out of range %d", static_cast<int>(QvFormatCode(format)));
  return "";
}

}  // namespace Tamrin
