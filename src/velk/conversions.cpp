#include "velk/conversions.h"

#include "tamrin/streams/flavor.h"
#include "tamrin/streams/format.h"
#include "tamrin/streams/stringio.h"
#include "velk/errors.h"

namespace velk {

namespace {

using Tamrin::QvFormat;

QvFormat readable_format(unsigned code, const char* what) {
  const auto format = static_cast<QvFormat>(code);
  if (!Tamrin::QvFormatReadable(format)) throw FormatError(std::string("velk: format is not readable from ") + what);
  return format;
}

QvFormat writable_format(unsigned code, const char* what) {
  const auto format = static_cast<QvFormat>(code);
  if (!Tamrin::QvFormatWritable(format)) throw FormatError(std::string("velk: format is not writeable as ") + what);
  return format;
}

bool read_molecule(Tamrin::QvMolBase& mol, QvFormat format, unsigned flavor, bool gzip, const std::string& data) {
  if (flavor == 0) flavor = Tamrin::QvDefaultInputFlavor(format);
  return Tamrin::QvReadMoleculeFromBytes(mol, format, flavor, gzip, data);
}

std::string write_molecule(const Tamrin::QvMolBase& mol, QvFormat format, unsigned flavor, bool gzip) {
  if (flavor == 0) flavor = Tamrin::QvDefaultOutputFlavor(format);
  return Tamrin::QvWriteMoleculeToBytes(format, flavor, gzip, mol);
}

}  // namespace

unsigned resolve_format(const std::string& name) {
  const std::string extension = !name.empty() && name.front() == '.' ? name.substr(1) : name;
  const QvFormat format = Tamrin::QvFormatFromExtension(extension.c_str());
  if (format == QvFormat::UNDEFINED)
    throw FormatError("velk: unknown or unsupported format '" + name + "' (not an Tamrin string/bytes format)");
  return Tamrin::QvFormatCode(format);
}

bool mol_from_string(Tamrin::QvMolBase& mol, const std::string& data, unsigned format, unsigned flavor) {
  return read_molecule(mol, readable_format(format, "a string"), flavor, false, data);
}

bool mol_from_bytes(Tamrin::QvMolBase& mol, const std::string& data, unsigned format, unsigned flavor,
                    bool gzip) {
  return read_molecule(mol, readable_format(format, "bytes"), flavor, gzip, data);
}

std::string mol_to_string(const Tamrin::QvMolBase& mol, unsigned format, unsigned flavor) {
  return write_molecule(mol, writable_format(format, "a string"), flavor, false);
}

std::string mol_to_bytes(const Tamrin::QvMolBase& mol, unsigned format, unsigned flavor, bool gzip) {
  return write_molecule(mol, writable_format(format, "bytes"), flavor, gzip);
}

}  // namespace velk
