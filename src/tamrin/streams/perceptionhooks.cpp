#include "tamrin/streams/perceptionhooks.h"

#include <array>
#include <atomic>

namespace Tamrin {

namespace {

constexpr auto kSteps = static_cast<std::size_t>(QvPerceptionStep::Count);

constinit std::array<std::atomic<QvPerceptionPass>, kSteps> passes{};
constinit std::atomic<QvAromaticityPass> aromaticity{nullptr};

bool Known(QvPerceptionStep step) { return static_cast<std::size_t>(step) < kSteps; }

}  // namespace

QvPerceptionPass QvRegisterPerceptionPass(QvPerceptionStep step, QvPerceptionPass pass) {
  return Known(step) ? passes[static_cast<std::size_t>(step)].exchange(pass) : nullptr;
}

QvAromaticityPass QvRegisterAromaticityPass(QvAromaticityPass pass) { return aromaticity.exchange(pass); }

bool QvRunPerceptionStep(QvMolBase& mol, QvPerceptionStep step) {
  const QvPerceptionPass pass = Known(step) ? passes[static_cast<std::size_t>(step)].load() : nullptr;
  if (pass) pass(mol);
  return pass != nullptr;
}

bool QvRunAromaticity(QvMolBase& mol, const QvAromaticityModel& model) {
  const QvAromaticityPass pass = aromaticity.load();
  if (pass) pass(mol, model);
  return pass != nullptr;
}

}  // namespace Tamrin
