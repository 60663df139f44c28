// quibbo-cli forget WORD... [--yes]
// quibbo-cli forget --sentence ID [--yes]
#include <iostream>

#include "cli/ask.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/wording.h"
#include "quibbo/error.h"
#include "quibbo/memory.h"

namespace quibbo::cli {
namespace {

constexpr size_t kExamples = 5;
constexpr size_t kForms = 12;

std::string Sentences(int64_t count) {
  return Count(count, "sentence", "sentences");
}

std::string Words(int64_t count) { return Count(count, "word", "words"); }

// forget --sentence ID: the sentence that holds row ID.
int ForgetOneSentence(const Settings& settings) {
  try {
    const std::optional<StoredSentence> sentence =
        SentenceHoldingRow(settings.memory, *settings.row);
    if (!sentence) {
      // Perhaps the last try deleted it, but could not empty the log.
      if (auto held = EmptyMemoryLog(settings.memory)) return Fail(*held);
      throw NoSuchRow(settings.memory, *settings.row);
    }
    std::cout << "This deletes 1 sentence (" << Words(sentence->rows)
              << ") from " << settings.memory << ":\n  "
              << Printable(sentence->text) << "\n";
    if (!settings.yes && !AskYesNo("Forget it?")) {
      std::cout << "Nothing was deleted.\n";
      return 0;
    }
    const ForgetFigures gone = ForgetSentence(settings.memory, *sentence);
    if (gone.sentences == 0) throw SentenceGone(settings.memory, sentence->id);
    std::cout << "Forgot 1 sentence (" << Words(gone.rows) << ").\n";
    return gone.log_held ? Fail(*gone.log_held) : 0;
  } catch (const Error& error) {
    return Fail(error, "Nothing was deleted.");
  }
}

}  // namespace

int RunForget(const Settings& settings) {
  if (settings.row) return ForgetOneSentence(settings);
  const std::vector<std::string>& words = settings.arguments;
  try {
    const ForgetFigures preview =
        PreviewForget(settings.memory, words, kExamples);
    if (preview.sentences == 0) {
      std::cout << "No sentence in " << settings.memory << " holds "
                << (words.size() == 1 ? "that word" : "any of those words")
                << "; nothing was deleted.\n";
      // What the last try deleted may still be in the log.
      if (auto held = EmptyMemoryLog(settings.memory)) return Fail(*held);
      return 0;
    }
    std::cout << "This deletes " << Sentences(preview.sentences) << " ("
              << Words(preview.rows) << " in all) from " << settings.memory
              << ", such as:\n";
    for (const std::string& sentence : preview.examples) {
      std::cout << "  " << Printable(sentence) << "\n";
    }
    if (preview.sentences > static_cast<int64_t>(preview.examples.size())) {
      std::cout << "  ...\n";
    }
    // What counts as the same word, so that no one expects more or less.
    std::cout << "Counted as the same word:";
    for (size_t i = 0; i < preview.forms.size() && i < kForms; ++i) {
      std::cout << " [" << Printable(preview.forms[i]) << "]";
    }
    std::cout << (preview.forms.size() > kForms ? " ..." : "")
              << "\n(letter case, punctuation at either end and a possessive "
                 "'s aside; other forms, such as plurals, stay).\n";
    if (!settings.yes &&
        !AskYesNo(preview.sentences == 1 ? "Forget it?" : "Forget them?")) {
      std::cout << "Nothing was deleted.\n";
      return 0;
    }
    const ForgetFigures gone = Forget(settings.memory, words);
    std::cout << "Forgot " << Sentences(gone.sentences) << " ("
              << Words(gone.rows) << ").\n";
    // What went stands; old copies of it may stay in the log a while.
    return gone.log_held ? Fail(*gone.log_held) : 0;
  } catch (const Error& error) {
    return Fail(error, "Nothing was deleted.");
  }
}

}  // namespace quibbo::cli
