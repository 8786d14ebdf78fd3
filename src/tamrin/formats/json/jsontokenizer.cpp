#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <string>

#include "pellar/qvstream.h"
#include "tamrin/formats/json/json.h"
#include "tamrin/formats/json/jsondoc.h"

namespace Tamrin {

namespace {

// One record: the document's header and defaults with one of its molecules.
std::string Record(const rapidjson::Value& doc, const rapidjson::Value& molecule) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  w.StartObject();
  for (const auto& member : doc.GetObject()) {
    if (member.name == "molecules") continue;
    member.name.Accept(w);
    member.value.Accept(w);
  }
  w.Key("molecules");
  w.StartArray();
  molecule.Accept(w);
  w.EndArray();
  w.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize()) + '\n';
}

}  // namespace

// The whole input is parsed at the first call: a JSON text has no record
// boundaries that could be found without parsing it.
bool QvJSONTokenizer::Next(Pellar::qvistream& in, std::string& record) {
  record.clear();
  if (!cut_) {
    cut_ = true;
    std::string text;
    in.readall(text);
    json::ForEachDocument(text, [&](const rapidjson::Value& doc, unsigned) {
      if (!doc.IsObject()) return;
      const auto molecules = doc.FindMember("molecules");
      if (molecules == doc.MemberEnd() || !molecules->value.IsArray()) return;
      for (const rapidjson::Value& m : molecules->value.GetArray()) records_.push_back(Record(doc, m));
    });
  }
  if (records_.empty()) return false;
  record = std::move(records_.front());
  records_.pop_front();
  return true;
}

}  // namespace Tamrin
