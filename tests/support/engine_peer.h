// What tests may reach inside an Engine that programs may not.
#ifndef QUIBBO_TESTS_SUPPORT_ENGINE_PEER_H_
#define QUIBBO_TESTS_SUPPORT_ENGINE_PEER_H_

#include "engine/rows/store.h"
#include "quibbo/engine.h"

namespace quibbo::testing {

class EnginePeer {
 public:
  // The engine's open memory, opened first if need be.
  static Store& Memory(Engine& engine) { return engine.Memory(true); }
};

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_ENGINE_PEER_H_
