#include "platform/linux/ProgramDir.h"

#include <filesystem>
#include <system_error>

std::string OwnProgramDir() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::current_path(error).string();
  return exe.parent_path().string();
}
