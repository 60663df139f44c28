// Replies measured from outside, as a user or another program meets them: a
// live `quibbo-cli chat --json` fed one line at a time over a pipe. Each round
// trip includes reading the line, learning it, the commit with whatever
// checkpoint falls inside it, composing the reply and writing it out.
#ifndef QUIBBO_BENCH_CLI_CHAT_H_
#define QUIBBO_BENCH_CLI_CHAT_H_

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "bench/corpus.h"
#include "bench/figures.h"

namespace quibbo::bench {

// A running `quibbo-cli chat --json --seed 1` on one memory.
class CliChat {
 public:
  CliChat(const std::string& cli, const std::string& memory);
  // Ends the program's input and waits for it, unless Finish() did.
  ~CliChat();
  CliChat(const CliChat&) = delete;
  CliChat& operator=(const CliChat&) = delete;

  // Sends `line` and waits, at most 30 s, for its reply; returns the reply's
  // JSON line. Throws if the program ended, fell silent or reported trouble.
  std::string Exchange(std::string_view line);

  Clock::time_point started() const { return started_; }
  // The program's peak resident memory so far, in KiB.
  double PeakKib() const;
  // Ends the program's input and waits for it; throws unless it exited with
  // status 0.
  void Finish();

 private:
  pid_t pid_ = -1;
  int to_program_ = -1;
  int from_program_ = -1;
  std::string unread_;
  Clock::time_point started_;
};

struct ChatFigures {
  // From the program's start to the end of its first reply: the median of
  // `starts` starts after an unmeasured one.
  double first_reply_ms = 0;
  double first_reply_peak_kib = 0;
  // Each line's round trip, one program answering line after line: the
  // fragments (the corpus's inputs), then as many whole sentences.
  std::vector<double> round_trip_ms;
  std::vector<double> sentence_round_trip_ms;
  double peak_kib = 0;  // after all those lines
};

// Measures them on the memory at `memory`, which keeps what was said. The
// fragments timed are the corpus's inputs from `first_input` on, round again
// as needed.
ChatFigures MeasureChat(const std::string& cli, const std::string& memory,
                        const Corpus& corpus, int starts, size_t lines,
                        size_t first_input);

// The round trip of each of `count` lines through `chat`: `lines` from
// `first` on, round again as needed.
std::vector<double> TimeRoundTrips(CliChat& chat,
                                   const std::vector<std::string>& lines,
                                   size_t count, size_t first = 0);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_CLI_CHAT_H_
