// quibbo-cli [chat] [--json] [--seed N] [--no-learn] [--explain]
#include <unistd.h>

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/explanation.h"
#include "cli/failure.h"
#include "cli/interrupt.h"
#include "cli/line_reader.h"
#include "cli/standard_streams.h"
#include "cli/wording.h"
#include "quibbo/engine.h"
#include "quibbo/text.h"

namespace quibbo::cli {
namespace {

using Kind = Error::Kind;

// With `explain`, "seed" and "sources" follow the reply: null and none
// where no reply was composed from the memory.
void WriteJson(const std::string& line, const Response& response,
               bool explain) {
  nlohmann::ordered_json object = {{"you", line}, {"quibbo", nullptr}};
  if (response.text) object["quibbo"] = *response.text;
  if (explain) {
    const std::optional<Explanation>& explanation = response.explanation;
    object["seed"] = nullptr;
    object["sources"] = nlohmann::ordered_json::array();
    if (explanation) {
      object["seed"] = explanation->seed;
      for (const ReplySource& source : explanation->sources) {
        object["sources"].push_back(
            {{"sentence", source.sentence},
             {"text", source.text},
             {"words", {source.first_word, source.last_word}}});
      }
    }
  }
  if (response.failure) object["error"] = KindName(response.failure->kind());
  std::cout << JsonText(object) << std::endl;
}

// Talks until the input ends; the exit status.
int Converse(Engine& engine, const Settings& settings) {
  const bool prompt = !settings.json && isatty(STDIN_FILENO);
  // What is left of a commit's housekeeping is done while the person reads
  // the reply, unless the next line is already there.
  LineReader reader(STDIN_FILENO, [&engine] { engine.Idle(); });
  bool reached = false;  // whether any line reached the memory
  std::optional<Kind> unreachable;
  std::string line;
  int64_t number = 1;
  for (;; ++number) {
    if (prompt) std::cout << "You: " << std::flush;
    if (!reader.Next(&line)) break;
    Response response = engine.Respond(line);
    // A blank line and a line not in UTF-8 never reach the memory; an empty
    // memory was reached.
    if (!response.failure) {
      reached = reached || !TrimSpaces(line).empty();
    } else if (response.failure->kind() == Kind::kInvalidText) {
      std::cout.flush();
      std::cerr << "quibbo-cli: line " << GroupDigits(number)
                << " is not valid UTF-8 text; it was not learned." << std::endl;
    } else {
      response.text = TerminalTrouble(*response.failure, settings.memory);
      if (response.failure->kind() == Kind::kEmpty) {
        reached = true;
      } else {
        unreachable = response.failure->kind();
      }
    }
    if (settings.json) {
      WriteJson(line, response, settings.explain);
    } else if (response.text) {
      std::cout << "Quibbo: " << *response.text << "\n";
      if (response.explanation) {
        std::cout << ExplanationText(*response.explanation);
      }
      std::cout << "\n" << std::flush;
    }
    // Nobody reads replies that cannot be written: the line is stored, and
    // the conversation ends there.
    if (const int error = StandardOutputError(); error != 0) {
      return Fail(StandardOutputFailure(error));
    }
  }
  if (prompt) std::cout << "\n";
  if (Interrupted()) return InterruptedStatus();
  if (reader.too_long()) {
    return Fail(ConversationLineTooLong(GroupDigits(number), kMaxLineText));
  }
  if (reader.error() != 0) {
    return Fail(ReadingFailed("the standard input", reader.error()));
  }
  return unreachable && !reached ? StatusOf(*unreachable) : 0;
}

// Lines answered beside a learner may still wait to be stored, however the
// conversation ended: stores them, or says how many are not, and why, and
// returns that failure's status; 0 when all are stored.
int CloseTelling(Engine& engine) {
  const Unstored unstored = engine.Close();
  if (!unstored.failure) return 0;
  return Fail(NotStored(unstored.lines, *unstored.failure));
}

}  // namespace

int RunChat(const Settings& settings) {
  std::unique_ptr<RandomSource> random;
  if (settings.seed) random = std::make_unique<SeededRandom>(*settings.seed);
  Engine engine(settings.memory, std::move(random));
  engine.SetLearning(!settings.no_learn);
  engine.SetExplaining(settings.explain);
  int status = 0;
  try {
    status = Converse(engine, settings);
  } catch (...) {
    CloseTelling(engine);  // then the fault is told as such
    throw;
  }
  const int closing = CloseTelling(engine);
  return status != 0 ? status : closing;
}

}  // namespace quibbo::cli
