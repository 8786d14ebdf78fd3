#include "tamrin/streams/format.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "sorvil/error/errorhandler.h"

namespace Tamrin {

namespace {

struct FormatRow {
  const char* description;
  bool readable;
  bool writable;
  // Blank-separated, lower case.
  std::string_view extensions;
};

constexpr std::array<FormatRow, kQvNumFormats> kFormats = {{
    {"UNDEFINED", false, false, ""},
    {"Canonical stereo SMILES", true, true, "smi"},
    {"MDL Mol", true, true, "mdl mol rxn"},
    {"PDB", true, true, "pdb ent"},
    {"Tripos MOL2", true, true, "mol2 syb"},
    {"Non-Canonical non-stereo SMILES", true, true, "usm"},
    {"Canonical stereo SMILES", true, true, "ism isosmi"},
    {"MOL2 with H", true, true, "mol2h"},
    {"MDL SDF", true, true, "sdf sd"},
    {"Canonical non-stereo SMILES", true, true, "can"},
    {"Molecular Formula", false, true, "mf"},
    {"XYZ", true, true, "xyz"},
    {"FASTA", true, true, "fasta seq"},
    {"MOPAC", false, true, "mopac pac"},
    {"QvBinary v2", true, true, "qvb"},
    {"Macromodel", true, true, "mmod mmd dat"},
    {"Tripos SLN", false, true, "sln"},
    {"MDL RDF", true, false, "rdf rd"},
    {"ChemDraw CDX", true, true, "cdx"},
    {"MDL ISIS Sketch File", true, false, "skc"},
    {"IUPAC InChI", true, true, "inchi"},
    {"IUPAC InChI Key", false, true, "inchikey"},
    {"Comma Separated Values", true, true, "csv"},
    {"JavaScript Object Notation", true, true, "json"},
    {"Crystallographic Information File (CIF)", true, true, "cif"},
    {"Zstd Compressed QvBinary", true, true, "qvz"},
    {"Macromolecular CIF", true, true, ""},
    {"Chemaxon Extended SMILES", true, true, "cxsmiles"},
}};

constexpr char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isdigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool listed(std::string_view list, std::string_view word) {
  while (!list.empty()) {
    const std::size_t blank = list.find(' ');
    if (list.substr(0, blank) == word) return true;
    if (blank == std::string_view::npos) break;
    list.remove_prefix(blank + 1);
  }
  return false;
}

const FormatRow* row(QvFormat format) {
  return QvFormatInRange(format) ? &kFormats[QvFormatCode(format)] : nullptr;
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
  for (unsigned code = 1; code < kQvNumFormats; ++code)
    if (listed(kFormats[code].extensions, key)) return static_cast<QvFormat>(code);
  if (key.starts_with("pdb") && isdigits(std::string_view(key).substr(3))) return QvFormat::PDB;
  return QvFormat::UNDEFINED;
}

bool QvFormatReadable(QvFormat format) {
  const FormatRow* r = row(format);
  return r && r->readable;
}

bool QvFormatWritable(QvFormat format) {
  const FormatRow* r = row(format);
  return r && r->writable;
}

const char* QvFormatDescription(QvFormat format) {
  if (const FormatRow* r = row(format)) return r->description;
  Sorvil::QvErrorHandler::Warning("Stream format tag out of range %d", static_cast<int>(QvFormatCode(format)));
  return "";
}

}  // namespace Tamrin
