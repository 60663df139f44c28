#include "bench/replies.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <stdexcept>

#include "bench/figures.h"
#include "quibbo/engine.h"

namespace quibbo::bench {

std::vector<double> TimeReplies(const Corpus& corpus, const std::string& memory,
                                size_t count, uint64_t seed,
                                const StoreOptions& options) {
  Engine engine(memory, std::make_unique<SeededRandom>(seed), nullptr, options);
  for (const std::string& line : corpus.warm_up) engine.Respond(line);
  std::vector<double> times;
  for (size_t i = 0; i < count; ++i) {
    const std::string& line = corpus.inputs[i % corpus.inputs.size()];
    Clock::time_point start = Clock::now();
    const Response reply = engine.Respond(line);
    times.push_back(Milliseconds(Clock::now() - start));
    if (reply.failure) {
      throw std::runtime_error(std::string("Respond failed: ") +
                               reply.failure->description());
    }
    // As the programs do once the reply is out; not part of the reply.
    engine.Idle();
  }
  return times;
}

std::vector<double> TimeDiskSyncs(const std::string& folder, size_t count) {
  const std::string path = folder + "/disk-sync.bin";
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  const std::string page(4096, 'q');
  std::vector<double> times;
  for (size_t i = 0; i < count; ++i) {
    const auto at = static_cast<off_t>(i * page.size());
    if (pwrite(fd, page.data(), page.size(), at) !=
        static_cast<ssize_t>(page.size())) {
      break;
    }
    Clock::time_point start = Clock::now();
    if (fdatasync(fd) != 0) break;
    times.push_back(Milliseconds(Clock::now() - start));
  }
  close(fd);
  unlink(path.c_str());
  if (times.size() != count) throw std::runtime_error("cannot sync " + path);
  return times;
}

}  // namespace quibbo::bench
