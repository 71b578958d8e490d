#include "vicpack/disk_image.h"

#include "common/platform/child_process.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace zov {
namespace {

constexpr std::size_t kNameLength = 16;

/// A folder of the machine's own for the files cc1541 reads and writes, removed with them at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code error;
        std::filesystem::path base = std::filesystem::temp_directory_path(error);
        std::string pattern = ((error ? std::filesystem::path("/tmp") : base) / "vicpack-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool made() const { return !path_.empty(); }
    std::string file(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }

private:
    std::string path_;
};

bool saveFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

bool loadFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream file(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return static_cast<bool>(file) || file.eof();
}

/// cc1541 writes ASCII letters in lower case as the machine's upper-case letters (those typed in LOAD"...").
std::string asTyped(const std::string& name) {
    std::string typed = name;
    std::transform(typed.begin(), typed.end(), typed.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return typed;
}

/// Runs a program with its output (both streams) going to a file; its exit status, or -1 with the reason.
int runQuietly(const std::vector<std::string>& args, const std::string& outputPath, std::string& problem) {
    pid_t pid = -1;
    const int error = startWithOutputTo(args, outputPath, pid);
    if (error != 0) {
        problem = error == ENOENT ? "The " + args[0] + " program is not on the PATH: install the package " + args[0]
                                  : "Couldn't start the " + args[0] + " program: " + std::strerror(error);
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) {
            problem = "Couldn't wait for the " + args[0] + " program: " + std::strerror(errno);
            return -1;
        }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

/// The last line a program printed, for the message when it failed.
std::string lastLine(const std::string& path) {
    std::ifstream file(path);
    std::string line, last;
    while (std::getline(file, line))
        if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
    return last;
}

}  // namespace

std::string diskFileName(const std::string& path) {
    std::filesystem::path name = std::filesystem::path(path).filename();
    std::string stem = name.has_extension() && name.stem() != "" ? name.stem().string() : name.string();
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
    ScratchFolder scratch;
    if (!scratch.made()) {
        problem = "Couldn't make a temporary folder for the disk image";
        return false;
    }
    std::vector<std::string> args{"cc1541", "-q", "-n", asTyped(diskName), "-i", "zv"};
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::string file = scratch.file("program" + std::to_string(i) + ".prg");
        if (!saveFile(file, programs[i].file)) {
            problem = "Couldn't write " + file + " for the disk image";
            return false;
        }
        args.insert(args.end(), {"-f", asTyped(programs[i].name), "-w", file});
    }
    const std::string imagePath = scratch.file("disk.d64"), log = scratch.file("cc1541.log");
    args.push_back(imagePath);
    int status = runQuietly(args, log, problem);
    if (status < 0) return false;
    if (status != 0) {
        std::string said = lastLine(log);
        problem = "The cc1541 program failed (exit status " + std::to_string(status) + ")" + (said.empty() ? "" : ": " + said);
        return false;
    }
    if (!loadFile(imagePath, image) || image.empty()) {
        problem = "The cc1541 program wrote no disk image";
        return false;
    }
    return true;
}

}  // namespace zov
