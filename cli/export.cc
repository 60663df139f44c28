// quibbo-cli export [FILE|-] [--json] [--force]
#include "engine/export.h"

#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/interrupt.h"
#include "cli/wording.h"
#include "engine/buffered_writer.h"
#include "engine/error.h"
#include "engine/output_file.h"

namespace quibbo::cli {

int RunExport(const Settings& settings) {
  const std::string file =
      settings.arguments.empty() ? "-" : settings.arguments[0];
  int64_t with_line_breaks = 0;
  try {
    std::unique_ptr<OutputFile> output;
    if (file != "-")
      output =
          std::make_unique<OutputFile>(file, settings.force, settings.memory);
    // Straight to the file descriptor, so that a failure is seen with its
    // cause, and so that Ctrl+C ends a write that waits for a slow reader.
    const Error stopped(Error::Kind::kInterrupted,
                        "Stopped before every sentence was written to the "
                        "standard output.");
    BufferedWriter standard_output(
        STDOUT_FILENO,
        [&](int error) {
          return error == EINTR ? stopped : StandardOutputFailure(error);
        },
        Interrupted);
    std::cout.flush();
    auto write = [&](std::string_view bytes) {
      if (output) {
        output->Write(bytes);
      } else {
        standard_output.Write(bytes);
      }
    };
    const ExportFigures figures =
        ForEachSentence(settings.memory, [&](const std::string& sentence) {
          if (Interrupted()) throw output ? quibbo::Interrupted(file) : stopped;
          if (settings.json) {
            // Replacement characters stand in for bytes that are not UTF-8,
            // which only an edit by hand can have stored.
            write(nlohmann::json(sentence).dump(
                -1, ' ', false, nlohmann::json::error_handler_t::replace));
          } else {
            with_line_breaks += sentence.find('\n') != std::string::npos;
            write(sentence);
          }
          write("\n");
        });
    if (output) {
      output->Commit();
      std::cout << "Exported "
                << Count(figures.sentences, "sentence", "sentences") << " ("
                << Count(figures.rows, "word", "words") << ") to " << file
                << ".\n";
    } else {
      standard_output.Flush();
    }
  } catch (const Error& error) {
    return Fail(error);
  }
  if (with_line_breaks > 0) {
    std::cerr << "quibbo-cli: "
              << Count(with_line_breaks, "sentence holds", "sentences hold")
              << " a line break, which plain text cannot keep; export with "
                 "--json to keep every sentence exact."
              << std::endl;
  }
  return 0;
}

}  // namespace quibbo::cli
