#include "engine/program_folder.h"

#include <filesystem>
#include <system_error>

namespace quibbo {

std::string ProgramFolder() {
  std::error_code error;
  std::filesystem::path exe =
      std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return exe.parent_path().string();
}

std::string DefaultMemoryPath() { return ProgramFolder() + "/qvd.mdb"; }

}  // namespace quibbo
