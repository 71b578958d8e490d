#include "vicpack/disk_image.h"

#include "common/platform/child_process.h"
#include "common/platform/platform.h"
#include "common/platform/temporary_directory.h"
#include "common/platform/whole_file.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace zov {
namespace {

constexpr std::size_t kNameLength = 16;

/// cc1541 writes ASCII letters in lower case as the machine's upper-case letters (those typed in LOAD"...").
std::string asTyped(const std::string& name) {
    std::string typed = name;
    std::transform(typed.begin(), typed.end(), typed.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return typed;
}

/// A file name without its folder, and without its extension when something is left before that.
std::string stemOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name == "." || name == "..") return name;
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

std::string diskFileName(const std::string& path) {
    const std::string stem = stemOf(path);
    std::string disk;
    for (unsigned char c : stem) {
        if (disk.size() == kNameLength) break;
        disk += std::isalnum(c) && c < 0x80 ? static_cast<char>(std::toupper(c)) : '-';
    }
    return disk.empty() ? "PROGRAM" : disk;
}

std::vector<std::string> uniqueDiskNames(const std::vector<std::string>& names) {
    std::vector<std::string> unique;
    std::set<std::string> taken;
    for (const std::string& name : names) {
        std::string candidate = name;
        for (int number = 2; taken.count(candidate); ++number) {
            std::string ending = std::to_string(number);
            ending.insert(ending.begin(), '-');
            candidate = name.substr(0, kNameLength - ending.size());
            candidate += ending;
        }
        taken.insert(candidate);
        unique.push_back(candidate);
    }
    return unique;
}

bool makeDiskImage(const std::string& diskName, const std::vector<DiskProgram>& programs,
                   std::vector<std::uint8_t>& image, std::string& problem) {
    // cc1541 reads the programs from files and writes the image to one, all in a directory of the run's own.
    TemporaryDirectory scratch(fileSystem(), "vicpack");
    if (!scratch.made()) {
        problem = "couldn't make a temporary directory for the disk image";
        return false;
    }
    std::vector<std::string> args{"cc1541", "-q", "-n", asTyped(diskName), "-i", "zv"};
    for (std::size_t i = 0; i < programs.size(); ++i) {
        const std::string name = "program" + std::to_string(i) + ".prg";
        if (std::string reason = scratch.put(name, programs[i].file); !reason.empty()) {
            problem = "couldn't write " + scratch.path(name) + " for cc1541: " + reason;
            return false;
        }
        args.insert(args.end(), {"-f", asTyped(programs[i].name), "-w", scratch.path(name)});
    }
    args.push_back(scratch.path("disk.d64"));
    if (problem = runProgram(args, scratch.path("cc1541.log")); !problem.empty()) return false;
    if (!readWholeFile(fileSystem(), scratch.path("disk.d64"), image) || image.empty()) {
        problem = "the cc1541 program wrote no disk image";
        return false;
    }
    return true;
}

}  // namespace zov
