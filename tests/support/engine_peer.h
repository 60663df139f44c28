// What tests may reach inside an Engine that programs may not.
#ifndef QUIBBO_TESTS_SUPPORT_ENGINE_PEER_H_
#define QUIBBO_TESTS_SUPPORT_ENGINE_PEER_H_

#include <mutex>

#include "engine/rows/store.h"
#include "quibbo/engine.h"

namespace quibbo::testing {

class EnginePeer {
 public:
  // Runs `sql` on the engine's connection, the memory opened first if need
  // be, under the engine's lock: the memory's worker uses the connection
  // too, whenever it holds that lock.
  static void Execute(Engine& engine, const char* sql) {
    std::lock_guard<std::mutex> hold(engine.mutex_);
    engine.Memory(true).file().connection().Execute(sql);
  }
};

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_ENGINE_PEER_H_
