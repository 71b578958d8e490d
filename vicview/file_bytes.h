// Whole-file writes through the platform's file system, with the messages vicview prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

/// Creates (or cuts) the file and writes the bytes. On failure prints "Couldn't open destination: " + path
/// or "Write error: " + the system's text, and returns false.
bool writeWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

/// Writes the bytes under a passing name beside path and renames that to path when every byte is written,
/// so path is never left half written; on failure the passing file is removed, the problem printed and false
/// returned.
bool writeWholeFileAtOnce(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace zov
