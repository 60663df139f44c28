// A file that holds what was said, written where no one else can read it and
// put in place only when it is complete: a backup or an export.
//
// The bytes go to a temporary file beside the final name, created readable
// and writable by its owner alone (0600). Commit() flushes it to disk and
// renames it to the final name in one step, so a failure, a full disk or a
// crash never leaves a half-written file under that name, then syncs the
// folder, so that the name survives a power cut too. An OutputFile
// destroyed without Commit() removes its temporary file. The temporary
// name fits in the folder wherever the final one does: a long final name
// is cut short in it.
#ifndef QUIBBO_ENGINE_FILE_OUTPUT_FILE_H_
#define QUIBBO_ENGINE_FILE_OUTPUT_FILE_H_

#include <memory>
#include <string>
#include <string_view>

#include "engine/file/buffered_writer.h"

namespace quibbo {

class OutputFile {
 public:
  // Prepares to write `path`, refusing with Error what it must never
  // replace: the memory at `memory_path` or one of its companions (-wal,
  // -shm, -wait, -journal), any memory another program has open (it has a
  // log or a lock), and anything but a regular file (a folder, a device, a
  // pipe). Unless `replace`, it also refuses (kExists) a `path` that exists.
  // Throws Error when the temporary file cannot be created.
  OutputFile(std::string path, bool replace,
             const std::string& memory_path = "");
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& path() const { return path_; }
  // Where the bytes go until Commit(); another writer (SQLite) may use it.
  const std::string& temporary_path() const { return temporary_path_; }

  // Appends `bytes`, buffered. Throws Error (kFull on a full disk).
  void Write(std::string_view bytes) { writer_->Write(bytes); }

  // Puts the complete file at path(), looking again at what is there now.
  // Without `replace`, a file that appeared there meanwhile is kept and
  // Error (kExists) thrown.
  void Commit();

 private:
  // Throws when `path_` is something it must not replace (see above).
  void CheckTarget() const;

  std::string path_;
  bool replace_;
  std::string memory_path_;
  std::string temporary_path_;
  int fd_ = -1;
  std::unique_ptr<BufferedWriter> writer_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_OUTPUT_FILE_H_
