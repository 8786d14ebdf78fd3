#include "velk/formatregistry.h"

#include <algorithm>
#include <mutex>

#include "sorvil/error/errorhandler.h"

namespace velk {

namespace {

bool is_compound(const std::string& suffix) {
  return std::count(suffix.begin(), suffix.end(), '.') >= 2;
}

bool ends_with(const std::string& path, const std::string& suffix) {
  return path.size() >= suffix.size() &&
         path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

FormatRegistry& FormatRegistry::instance() {
  static FormatRegistry registry;
  return registry;
}

void FormatRegistry::register_handler(std::unique_ptr<FormatHandler> handler) {
  std::unique_lock lock(lock_);
  const FormatInfo info = handler->info();
  handlers_.push_back(std::move(handler));
  const Index index = handlers_.size() - 1;
  for (const std::string& suffix : info.extensions) index_suffix(suffix, index, info.name);
  std::stable_sort(compound_suffixes_.begin(), compound_suffixes_.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  cached_suffix_.clear();
  cached_handler_ = nullptr;
}

void FormatRegistry::index_suffix(const std::string& suffix, Index index, const std::string& name) {
  if (!is_compound(suffix)) {
    auto [entry, inserted] = simple_suffixes_.try_emplace(suffix, index);
    if (!inserted) {
      warn_reregistered(suffix, entry->second, name);
      entry->second = index;
    }
    return;
  }
  auto entry = std::find_if(compound_suffixes_.begin(), compound_suffixes_.end(),
                            [&](const auto& e) { return e.first == suffix; });
  if (entry == compound_suffixes_.end()) {
    compound_suffixes_.emplace_back(suffix, index);
    return;
  }
  warn_reregistered(suffix, entry->second, name);
  entry->second = index;
}

void FormatRegistry::warn_reregistered(const std::string& suffix, Index previous,
                                       const std::string& name) const {
  Sorvil::QvErrorHandler::Warning("velk: extension '%s' re-registered (was %s, now %s)",
                                  suffix.c_str(), handlers_[previous]->info().name.c_str(),
                                  name.c_str());
}

FormatHandler* FormatRegistry::remember(const std::string& suffix, Index index) {
  cached_suffix_ = suffix;
  cached_handler_ = handlers_[index].get();
  return cached_handler_;
}

FormatHandler* FormatRegistry::handler_for_path(const std::string& path) {
  std::unique_lock lock(lock_);  // exclusive: the lookup writes the cache
  if (!cached_suffix_.empty() && ends_with(path, cached_suffix_)) return cached_handler_;
  for (const auto& [suffix, index] : compound_suffixes_) {
    if (ends_with(path, suffix)) return remember(suffix, index);
  }
  const auto dot = path.rfind('.');
  if (dot == std::string::npos) return nullptr;
  const std::string suffix = path.substr(dot);
  const auto entry = simple_suffixes_.find(suffix);
  if (entry == simple_suffixes_.end()) return nullptr;
  return remember(suffix, entry->second);
}

std::vector<FormatInfo> FormatRegistry::formats() const {
  std::shared_lock lock(lock_);
  std::vector<FormatInfo> result;
  result.reserve(handlers_.size());
  for (const auto& handler : handlers_) result.push_back(handler->info());
  return result;
}

}  // namespace velk
