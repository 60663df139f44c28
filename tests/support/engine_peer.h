// Test support: what tests may reach inside an Engine that programs may not.
#ifndef QUIBBO_TESTS_SUPPORT_ENGINE_PEER_H_
#define QUIBBO_TESTS_SUPPORT_ENGINE_PEER_H_

#include <cstdint>
#include <vector>

#include "engine/engine.h"

namespace quibbo::testing {

class EnginePeer {
 public:
  // The engine's open memory, opened first if need be.
  static Store& Memory(Engine& engine) { return engine.Memory(); }
};

// The ids of every row a walk step from `from` may reach, in the order the
// store offers them to its chooser.
inline std::vector<int64_t> StepIds(Store& store, Direction direction,
                                    const WordRecord& from) {
  uint64_t n = 0;
  store.Step(direction, from, [&n](uint64_t count) {
    n = count;
    return 0;
  });
  std::vector<int64_t> ids;
  for (uint64_t k = 0; k < n; ++k) {
    ids.push_back(store.Step(direction, from, [k](uint64_t) { return k; }).id);
  }
  return ids;
}

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_ENGINE_PEER_H_
