#include "sorvil/base/tagregistry.h"

#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace Sorvil {
namespace {

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

using NameMap = std::unordered_map<std::string, QvTag, NameHash, std::equal_to<>>;

class TagRegistry {
 public:
  QvTag Lookup(std::string_view name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = tags_.find(name); it != tags_.end()) return it->second;
    const QvTag tag = kQvFirstNamedTag + static_cast<QvTag>(names_.size());
    names_.emplace_back(name);
    tags_.emplace(names_.back(), tag);
    return tag;
  }

  const char* Name(QvTag tag) {
    if (tag < kQvFirstNamedTag) return "";
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t slot = tag - kQvFirstNamedTag;
    // A deque never moves its elements, so the text outlives the lock.
    return slot < names_.size() ? names_[slot].c_str() : "";
  }

 private:
  std::mutex mutex_;
  NameMap tags_;
  std::deque<std::string> names_;
};

TagRegistry& Registry() {
  // Never destroyed: static destructors of other objects may still ask for tags.
  static TagRegistry* registry = new TagRegistry;
  return *registry;
}

}  // namespace

QvTag QvGetTag(std::string_view name) {
  if (name.empty()) return QvNoTag;
  // Most callers ask for the same few names over and over; the per-thread
  // cache keeps them off the registry's mutex.
  thread_local NameMap cache;
  if (auto it = cache.find(name); it != cache.end()) return it->second;
  const QvTag tag = Registry().Lookup(name);
  cache.emplace(std::string(name), tag);
  return tag;
}

QvTag QvGetTag(const char* name) {
  return name ? QvGetTag(std::string_view(name)) : QvNoTag;
}

const char* QvGetTagName(QvTag tag) { return Registry().Name(tag); }

}  // namespace Sorvil
