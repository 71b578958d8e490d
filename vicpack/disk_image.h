// Disk images: the programs on a standard 35-track disk, written by Debian's cc1541 program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

/// A disk file's name for an input file: the name without its folder and extension, in upper case, other
/// characters than letters and digits as '-', at most 16 characters ("PROGRAM" when nothing is left).
std::string diskFileName(const std::string& path);

/// The names in order, each made unique by a "-2", "-3", ... ending (within 16 characters).
std::vector<std::string> uniqueDiskNames(const std::vector<std::string>& names);

struct DiskProgram {
    std::string name;  // as diskFileName gives it
    std::vector<std::uint8_t> file;
};

/// The bytes of a disk image named diskName holding the programs in order, made by the cc1541 program in a
/// temporary directory that goes with everything in it. False, with what to say in problem, when cc1541
/// cannot be started or fails, or its files cannot be written or read.
bool makeDiskImage(const std::string& diskName, const std::vector<DiskProgram>& programs,
                   std::vector<std::uint8_t>& image, std::string& problem);

}  // namespace zov
