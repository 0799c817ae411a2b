// Whole-file reading and writing. Failures throw std::system_error carrying the system's
// error code; a read failure's what() also names the file, for example
// "Cannot read plan.csv: No such file or directory".
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace rig {

std::string readFile(const std::filesystem::path& path);
// Writes through a temporary file in the same folder and renames it over the target,
// so a failed write never leaves a half-written file behind.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);
// The last component of a path (file name with extension), as UTF-8.
std::string fileNameOf(const std::filesystem::path& path);

} // namespace rig
