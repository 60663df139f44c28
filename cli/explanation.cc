#include "cli/explanation.h"

#include "cli/wording.h"
#include "quibbo/text.h"

namespace quibbo::cli {
namespace {

bool StartsCharacter(char c) {
  return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
}

size_t Columns(std::string_view text) {
  size_t columns = 0;
  for (char c : text) columns += StartsCharacter(c);
  return columns;
}

// The byte where the character `n` characters into `text` starts.
size_t ByteOf(std::string_view text, size_t n) {
  size_t at = 0;
  for (; at < text.size(); ++at) {
    if (StartsCharacter(text[at]) && n-- == 0) break;
  }
  return at;
}

// `text` in at most `columns` columns: its start, "..." for the rest.
std::string Head(std::string_view text, size_t columns) {
  if (Columns(text) <= columns) return std::string(text);
  if (columns < 3) return "";
  return std::string(text.substr(0, ByteOf(text, columns - 3))) + "...";
}

// `text` in at most `columns` columns: "..." for its start, then its end.
std::string Tail(std::string_view text, size_t columns) {
  const size_t length = Columns(text);
  if (length <= columns) return std::string(text);
  if (columns < 3) return "";
  return "..." + std::string(text.substr(ByteOf(text, length - columns + 3)));
}

// The words `from` to `to` (exclusive) of `words`, joined by spaces.
std::string Join(const std::vector<std::string>& words, size_t from,
                 size_t to) {
  std::string joined;
  for (size_t i = from; i < to; ++i) joined += (i > from ? " " : "") + words[i];
  return joined;
}

// The line of one source: its sentence with the run in brackets, cut to the
// width around the run.
std::string SourceLine(const ReplySource& source) {
  const std::string label =
      "  sentence " + std::to_string(source.sentence) + ": ";
  const std::vector<std::string> words = Cut(source.text, ' ');
  const size_t run = source.last_word - source.first_word + 1;
  const auto from = static_cast<size_t>(source.in_sentence);
  if (source.in_sentence < 0 || from + run > words.size()) {
    // Only a memory edited by hand numbers its rows otherwise.
    return Head(label + Printable(source.text), kExplanationWidth) + "\n";
  }
  const std::string before = Printable(Join(words, 0, from));
  const std::string inside =
      "[" + Printable(Join(words, from, from + run)) + "]";
  const std::string after = Printable(Join(words, from + run, words.size()));
  const std::string space_before = before.empty() ? "" : " ";
  const std::string space_after = after.empty() ? "" : " ";
  const size_t fixed = Columns(label) + Columns(inside) + space_before.size() +
                       space_after.size();
  // Too little room around the run: the line's start alone.
  constexpr size_t kLeast = 8;
  if (fixed + 2 * kLeast > kExplanationWidth) {
    return Head(label + before + space_before + inside + space_after + after,
                kExplanationWidth) +
           "\n";
  }
  // What follows the run gets up to half the room left, and what comes
  // before it the rest.
  const size_t room = kExplanationWidth - fixed;
  const size_t before_columns = std::min(Columns(before), room);
  const size_t after_room =
      std::min(Columns(after), std::max(room / 2, room - before_columns));
  return label + Tail(before, room - after_room) + space_before + inside +
         space_after + Head(after, after_room) + "\n";
}

}  // namespace

std::string ExplanationText(const Explanation& explanation) {
  const char* why = "";
  switch (explanation.rule) {
    case SeedRule::kRarestWord:
      why = "the rarest of your words that I knew.";
      break;
    case SeedRule::kFallbackWord:
      why = "your longest word, as my first try only repeated you.";
      break;
    case SeedRule::kChance:
      why = "drawn at random, as I knew no word of yours to start from.";
      break;
  }
  std::string text =
      Head("  Seed \"" + Printable(explanation.seed) + "\": " + why,
           kExplanationWidth) +
      "\n";
  if (explanation.moved) {
    text += "  Moved to the same place in a nearby sentence.\n";
  }
  for (const ReplySource& source : explanation.sources) {
    text += SourceLine(source);
  }
  return text;
}

}  // namespace quibbo::cli
