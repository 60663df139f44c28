// The commands of quibbo-cli, one file each. Each works on the memory at
// settings.memory, writes what it did to the standard output and a failure
// in one line to the standard error (failure.h), and returns the exit
// status: 0 when it did its job or the person said no.
#ifndef QUIBBO_CLI_COMMANDS_H_
#define QUIBBO_CLI_COMMANDS_H_

#include "cli/options.h"

namespace quibbo::cli {

// Reads lines until the end of the input and answers each, as text or JSON.
// Not 0 only when no line could reach the memory, or on an interrupt.
int RunChat(const Settings& settings);
// Creates an empty memory.
int RunInit(const Settings& settings);
// Empties the memory after the two questions the window asks.
int RunWipe(const Settings& settings);
// Learns every line of the files, without replying.
int RunLearn(const Settings& settings);
// Shows the memory's figures, as text or JSON.
int RunStats(const Settings& settings);
// Copies the memory to a file, checked.
int RunBackup(const Settings& settings);
// Replaces the memory with a copy, after the two questions.
int RunRestore(const Settings& settings);
// Writes every sentence, oldest first, to a file or the standard output.
int RunExport(const Settings& settings);
// Deletes the sentences holding any of the words, or the one sentence
// holding a row, after asking.
int RunForget(const Settings& settings);
// Shows the sentence holding a row, as text or JSON.
int RunSentence(const Settings& settings);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_COMMANDS_H_
