// quibbo-cli export [FILE|-] [--json] [--force]
#include "engine/export.h"

#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/memory_commands.h"
#include "engine/buffered_writer.h"
#include "engine/error.h"
#include "engine/output_file.h"

namespace quibbo::cli {
int RunExport(const std::string& memory_path, const ExportOptions& options,
              std::ostream& out, std::ostream& err) {
  const bool to_file = options.file != "-";
  int64_t with_line_breaks = 0;
  try {
    std::unique_ptr<OutputFile> file;
    if (to_file)
      file = std::make_unique<OutputFile>(options.file, options.force);
    // Straight to the file descriptor, so that a failure is seen with its
    // cause.
    BufferedWriter standard_output(STDOUT_FILENO, StandardOutputFailure);
    out.flush();
    auto write = [&](std::string_view bytes) {
      if (file) {
        file->Write(bytes);
      } else {
        standard_output.Write(bytes);
      }
    };
    ExportFigures figures =
        ForEachSentence(memory_path, [&](const std::string& sentence) {
          if (options.json) {
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
    if (file) {
      file->Commit();
      out << "Exported " << figures.sentences
          << (figures.sentences == 1 ? " sentence" : " sentences") << " ("
          << figures.rows << (figures.rows == 1 ? " word" : " words") << ") to "
          << options.file << ".\n";
    } else {
      standard_output.Flush();
    }
  } catch (const Error& error) {
    err << "quibbo-cli: " << error.description() << "\n";
    return 1;
  }
  if (with_line_breaks > 0) {
    err << "quibbo-cli: " << with_line_breaks
        << (with_line_breaks == 1 ? " sentence holds" : " sentences hold")
        << " a line break, which plain text cannot keep; export with --json "
           "to keep every sentence exact.\n";
  }
  return 0;
}

}  // namespace quibbo::cli
