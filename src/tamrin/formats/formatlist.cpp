// The formats the molecule streams know: every family's records, each
// defined in the family's folder. A new family is a folder and a line here
// (its declaration and its place in the list).
#include <span>
#include <vector>

#include "tamrin/streams/formatinfo.h"

namespace Tamrin {

using QvFormatFamily = std::span<const QvFormatInfo> (*)();

std::span<const QvFormatInfo> QvSmilesFormats();  // smiles/
std::span<const QvFormatInfo> QvMDLFormats();     // mdl/
std::span<const QvFormatInfo> QvPDBFormats();     // pdb/
std::span<const QvFormatInfo> QvMOL2Formats();    // mol2/
std::span<const QvFormatInfo> QvMFFormats();      // mf/
std::span<const QvFormatInfo> QvXYZFormats();     // xyz/
std::span<const QvFormatInfo> QvFASTAFormats();   // fasta/
std::span<const QvFormatInfo> QvMOPACFormats();   // mopac/
std::span<const QvFormatInfo> QvBinaryFormats();  // qvb/
std::span<const QvFormatInfo> QvMMODFormats();    // mmod/
std::span<const QvFormatInfo> QvSLNFormats();     // sln/
std::span<const QvFormatInfo> QvCDXFormats();     // cdx/
std::span<const QvFormatInfo> QvSKCFormats();     // skc/
std::span<const QvFormatInfo> QvInChIFormats();   // inchi/
std::span<const QvFormatInfo> QvCSVFormats();     // csv/
std::span<const QvFormatInfo> QvJSONFormats();    // json/
std::span<const QvFormatInfo> QvCIFFormats();     // cif/

std::span<const QvFormatInfo* const> QvFormatList() {
  static const std::vector<const QvFormatInfo*> list = [] {
    std::vector<const QvFormatInfo*> records;
    for (const QvFormatFamily family :
         {QvSmilesFormats, QvMDLFormats, QvPDBFormats, QvMOL2Formats, QvMFFormats, QvXYZFormats, QvFASTAFormats,
          QvMOPACFormats, QvBinaryFormats, QvMMODFormats, QvSLNFormats, QvCDXFormats, QvSKCFormats, QvInChIFormats,
          QvCSVFormats, QvJSONFormats, QvCIFFormats})
      for (const QvFormatInfo& record : family()) records.push_back(&record);
    return records;
  }();
  return list;
}

}  // namespace Tamrin
