// Arbitrary bytes as the payload of one molecule record: the first input
// byte picks the record (a graph molecule, a multi-conformer molecule, or
// either of those compressed), so the payload readers see the bytes without
// having to get the framing right first.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pellar/qvsstream.h"
#include "sorvil/binary/qvbrecord.h"
#include "tamrin/formats/qvb/qvb.h"
#include "tamrin/model/model.h"
#include "silence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  if (size < 2) return 0;
  static constexpr const char* kTags[] = {"QvMolBase", "QvMCMolBase", "zstdQvMCMolBase", "zQvMCMolBase"};
  const char* tag = kTags[data[0] & 3];
  std::string record;
  Sorvil::QVBAppendRecord(record, tag,
                          std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  std::string buffer;
  std::string again;
  {
    Pellar::qvisstream in(record.data(), record.size());
    Tamrin::QvGraphMol mol;
    std::vector<std::unique_ptr<Tamrin::QvMolBase>> more;
    if (Tamrin::QvReadQVBRecord(in, mol.GetMol(), buffer, &more) == Sorvil::QVBSuccess)
      Tamrin::QvAppendQVBRecord(again, mol.GetMol(), Tamrin::QvQVBForm::Plain);
  }
  {
    Pellar::qvisstream in(record.data(), record.size());
    Tamrin::QvMol mol;
    if (Tamrin::QvReadQVBRecord(in, mol, buffer) == Sorvil::QVBSuccess && mol.NumConfs() > 0)
      Tamrin::QvAppendQVBRecord(again, mol, Tamrin::QvQVBForm::Zstd);
  }
  return 0;
}
