// A directory tree on the machine's own file system, made fresh in the temporary directory for one test and
// removed with everything in it afterwards.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace zov::testing {

class TempTree {
public:
    using Bytes = std::vector<unsigned char>;

    explicit TempTree(const std::string& prefix) {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary directory");
        root_ = pattern;
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    /// The full path of a name inside the tree.
    std::string path(const std::string& name) const { return (root_ / name).string(); }

    /// Writes a file, making its directories.
    void save(const std::string& name, const Bytes& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    /// Makes a directory and the directories above it.
    void makeDirectory(const std::string& name) const { std::filesystem::create_directories(path(name)); }

    /// A symbolic link at name to target, which is read from the link's directory unless it begins with '/'.
    void link(const std::string& name, const std::string& target) const {
        std::filesystem::create_symlink(target, path(name));
    }

    /// A second name for a file of the tree.
    void hardLink(const std::string& name, const std::string& existing) const {
        std::filesystem::create_hard_link(path(existing), path(name));
    }

    /// Whether anything is at name (a link is followed).
    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

    Bytes load(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    /// Every file and directory below a directory of the tree, as paths relative to it, sorted.
    std::vector<std::string> below(const std::string& directory) const {
        std::vector<std::string> names;
        const std::filesystem::path top = path(directory);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
            names.push_back(std::filesystem::relative(entry.path(), top).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path root_;
};

}  // namespace zov::testing
