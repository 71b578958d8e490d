// Whole files: read at once, and an output written whole under a passing name beside its place and renamed
// into it when complete, so the place holds the old file (or none) or the whole new one, never a part.
#pragma once

#include "common/platform/platform.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zov {

/// Reads a whole regular file; false (nothing printed) when it cannot be opened or read completely.
bool readWholeFile(FileSystem& files, const std::string& path, std::vector<std::uint8_t>& bytes);

/// A name beside path that nothing has yet: ".NAME.part" and the process number (then "-2", "-3", ... while
/// that is taken too), then suffix. A file of the user's that happens to have such a name is never cut.
std::string partialName(FileSystem& files, const std::string& path, const std::string& suffix = "");

/// What stands in the way of writing an output whole and renaming it into place, or None when nothing does.
struct OutputObstacle {
    enum Kind { None, Directory, NotRegular, Input, Exists } kind = None;
    std::string input;  // the input that the output is (through any link), for Input
};

/// An output may be written when it does not exist, or when it is a regular file that is none of the inputs
/// (empty names are passed over) and force allows replacing it. A directory, device or pipe would be replaced
/// by the rename rather than written, so it is never taken.
OutputObstacle outputObstacle(FileSystem& files, const std::string& path, const std::vector<std::string>& inputs,
                              bool force);

/// What a program says of an output that it refuses: the hint after "is a directory; " and "is not a regular
/// file; ", and what follows "is " when the output is an input ("{input}" stands for the input's name).
struct RefusalWords {
    std::string notAFile;
    std::string isInput;
};

/// The one line that refuses an output (outputObstacle's rules): "PATH: is a directory; HINT", "PATH: is not
/// a regular file; HINT", "PATH: is INPUT-TEXT" or "PATH: exists; --force overwrites it"; "" when nothing
/// stands in the way.
std::string outputRefusal(FileSystem& files, const std::string& path, const std::vector<std::string>& inputs,
                          bool force, const RefusalWords& words);

/// Writes the bytes under a partial name beside path and renames that to path once every byte is written.
/// Returns "" when done; otherwise the partial file is gone and the result is the line to print:
/// "Couldn't create PARTIAL beside PATH" or "Couldn't write PATH: " and the system's text.
std::string writeWholeFileInPlace(FileSystem& files, const std::string& path, const std::vector<std::uint8_t>& bytes);

/// The same for a copy of the file at from (another program's output), block by block: "" when done, else
/// the partial file is gone and the result is the line to print, as above or "Couldn't read FROM".
std::string copyWholeFileInPlace(FileSystem& files, const std::string& from, const std::string& path);

/// One of several outputs that belong together (a program and the image it loads its data from).
struct WholeFile {
    std::string path;
    std::span<const std::uint8_t> bytes;
};

/// Writes every file or none: each under its partial name first, then each renamed into place in order. When
/// a file cannot be written, every partial file is removed; when a rename fails, the files already renamed are
/// removed as well (a file they replaced is not brought back). Returns "" when done, else the line to print,
/// as writeWholeFileInPlace words it for the file that failed.
std::string writeWholeFilesInPlace(FileSystem& files, const std::vector<WholeFile>& outputs);

}  // namespace zov
