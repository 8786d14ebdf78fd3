// SD data items after a molfile, and the record separator.
#include <string>

#include "pellar/qvstream.h"
#include "sorvil/base/tagdata.h"
#include "tamrin/formats/mdl/mdl.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

// A blank line ends a value when the file is read back, so a value cannot
// hold one: each "\n\n" is dropped whole. True when something was dropped.
bool AppendValue(std::string& out, const std::string& value) {
  if (value.size() < 2 || value.find("\n\n") == std::string::npos) {
    out += value;
    return false;
  }
  std::size_t from = 0;
  for (std::size_t at = value.find("\n\n"); at != std::string::npos; at = value.find("\n\n", from)) {
    out.append(value, from, at - from);
    from = at + 2;
  }
  out.append(value, from, std::string::npos);
  return true;
}

}  // namespace

int WriteSDData(qvmolostream& out, const QvMolBase& mol) {
  thread_local std::string text;
  text.clear();
  int status = QvWriteOk;
  for (const Sorvil::QvBaseData& item : mol.GetDataItems(Sorvil::QvSDDataTag())) {
    const Sorvil::QvTagData* pair = Sorvil::QvDataValue<Sorvil::QvTagData>(item);
    if (!pair) continue;
    text += "> <";
    text += pair->GetTag();
    text += ">\n";
    if (AppendValue(text, pair->GetValue())) status = QvWriteDataChanged;
    text += "\n\n";
  }
  text += "$$$$\n";
  out.GetStream().write(text.data(), text.size());
  return status;
}

}  // namespace Tamrin
