// The process-wide table of format handlers.
//
// Suffixes are matched byte-exact and case-sensitive. Suffixes with fewer than
// two dots (".sdf") live in a hash map; compound suffixes (".sdf.gz") in a list
// kept longest first, tried before the last-dot lookup. The suffix of the last
// successful lookup is cached and tried before anything else, so a run of files
// of one kind costs one comparison each. Because the cache is consulted first,
// a cached simple suffix that is the tail of a compound one (".gz" beside
// ".sdf.gz") wins over the compound suffix while it stays cached.
#pragma once

#include <cstddef>
#include <memory>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "velk/formathandler.h"

namespace velk {

class FormatRegistry {
 public:
  // The one registry of the process, created on first use (thread-safe) and
  // destroyed with its handlers at exit.
  static FormatRegistry& instance();

  // A registry of its own, for callers (tests) that must not touch the
  // process-wide one.
  FormatRegistry() = default;
  FormatRegistry(const FormatRegistry&) = delete;
  FormatRegistry& operator=(const FormatRegistry&) = delete;

  // Takes ownership and indexes the handler's suffixes. A suffix that is
  // already registered is taken over by the new handler, with a warning.
  void register_handler(std::unique_ptr<FormatHandler> handler);

  // The handler serving `path`, or null. Not owning; stays valid for the
  // registry's life because handlers are never removed.
  FormatHandler* handler_for_path(const std::string& path);

  // The info() of every handler, in registration order.
  std::vector<FormatInfo> formats() const;

 private:
  using Index = std::size_t;

  void index_suffix(const std::string& suffix, Index index, const std::string& name);
  void warn_reregistered(const std::string& suffix, Index previous, const std::string& name) const;
  FormatHandler* remember(const std::string& suffix, Index index);

  mutable std::shared_mutex lock_;
  std::vector<std::unique_ptr<FormatHandler>> handlers_;
  std::unordered_map<std::string, Index> simple_suffixes_;
  std::vector<std::pair<std::string, Index>> compound_suffixes_;
  std::string cached_suffix_;
  FormatHandler* cached_handler_ = nullptr;
};

// A start-up registrar: constructing one registers a new handler of type H in
// the process-wide registry. Registrars defined in one translation unit run in
// their order of definition, which fixes the handlers' indices.
template <class H>
class FormatRegistrar {
 public:
  FormatRegistrar() {
    FormatRegistry::instance().register_handler(std::make_unique<H>());
    registered_ = true;
  }
  bool registered() const { return registered_; }

 private:
  bool registered_ = false;
};

}  // namespace velk
