#include "common/platform/whole_file.h"

#include <algorithm>
#include <unistd.h>

namespace zov {

bool readWholeFile(FileSystem& files, const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (files.kind(path) != PathKind::File) return false;
    std::unique_ptr<File> file = files.openRead(path);
    if (!file) return false;
    try {
        bytes.resize(static_cast<std::size_t>(file->length()));
        bool complete = file->read(bytes.data(), bytes.size()) == bytes.size();
        file->close();
        return complete;
    } catch (const FileError&) {
        return false;
    }
}

std::string partialName(FileSystem& files, const std::string& path, const std::string& suffix) {
    std::size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string base = directory + "." + name + ".part" + std::to_string(::getpid());
    std::string candidate = base + suffix;
    for (int n = 2; files.kind(candidate) != PathKind::Missing; ++n) candidate = base + "-" + std::to_string(n) + suffix;
    return candidate;
}

OutputObstacle outputObstacle(FileSystem& files, const std::string& path, const std::vector<std::string>& inputs,
                              bool force) {
    const PathKind kind = files.kind(path);
    if (kind == PathKind::Missing) return {};
    if (kind == PathKind::Directory) return {OutputObstacle::Directory, {}};
    if (kind != PathKind::File) return {OutputObstacle::NotRegular, {}};
    const std::optional<FileIdentity> output = files.identity(path);
    for (const std::string& input : inputs)
        if (!input.empty() && output && output == files.identity(input)) return {OutputObstacle::Input, input};
    if (!force) return {OutputObstacle::Exists, {}};
    return {};
}

std::string outputRefusal(FileSystem& files, const std::string& path, const std::vector<std::string>& inputs,
                          bool force, const RefusalWords& words) {
    const OutputObstacle obstacle = outputObstacle(files, path, inputs, force);
    switch (obstacle.kind) {
        case OutputObstacle::None: return "";
        case OutputObstacle::Directory: return path + ": is a directory; " + words.notAFile;
        case OutputObstacle::NotRegular: return path + ": is not a regular file; " + words.notAFile;
        case OutputObstacle::Input: {
            std::string text = words.isInput;
            if (const std::size_t at = text.find("{input}"); at != std::string::npos) text.replace(at, 7, obstacle.input);
            return path + ": is " + text;
        }
        case OutputObstacle::Exists: break;
    }
    return path + ": exists; --force overwrites it";
}

namespace {

/// Writes the bytes under a new partial name beside path; "" and the name in partial when done, else the line
/// to print (and no partial file).
std::string writePartial(FileSystem& files, const WholeFile& output, std::string& partial) {
    partial = partialName(files, output.path);
    std::unique_ptr<File> file = files.create(partial);
    if (!file) return "Couldn't create " + partial + " beside " + output.path;
    try {
        file->write(output.bytes.data(), output.bytes.size());
        file->close();
    } catch (const FileError& error) {
        file->close();
        files.remove(partial);
        return "Couldn't write " + output.path + ": " + error.what();
    }
    return "";
}

}  // namespace

std::string writeWholeFileInPlace(FileSystem& files, const std::string& path, const std::vector<std::uint8_t>& bytes) {
    return writeWholeFilesInPlace(files, {{path, bytes}});
}

std::string writeWholeFilesInPlace(FileSystem& files, const std::vector<WholeFile>& outputs) {
    std::vector<std::string> partials;
    for (const WholeFile& output : outputs) {
        std::string partial;
        if (std::string problem = writePartial(files, output, partial); !problem.empty()) {
            for (const std::string& written : partials) files.remove(written);
            return problem;
        }
        partials.push_back(partial);
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        try {
            files.rename(partials[i], outputs[i].path);
        } catch (const FileError& error) {
            for (std::size_t j = 0; j < i; ++j) files.remove(outputs[j].path);
            for (std::size_t j = i; j < outputs.size(); ++j) files.remove(partials[j]);
            return "Couldn't write " + outputs[i].path + ": " + error.what();
        }
    }
    return "";
}

std::string copyWholeFileInPlace(FileSystem& files, const std::string& from, const std::string& path) {
    std::unique_ptr<File> source = files.kind(from) == PathKind::File ? files.openRead(from) : nullptr;
    if (!source) return "Couldn't read " + from;
    const std::string partial = partialName(files, path);
    std::unique_ptr<File> file = files.create(partial);
    if (!file) return "Couldn't create " + partial + " beside " + path;
    try {
        const std::uint64_t length = source->length();
        std::vector<std::uint8_t> block(1 << 16);
        for (std::uint64_t done = 0; done < length;) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), length - done));
            if (source->read(block.data(), want) != want) {
                file->close();
                files.remove(partial);
                return "Couldn't read " + from;
            }
            file->write(block.data(), want);
            done += want;
        }
        file->close();
        files.rename(partial, path);
    } catch (const FileError& error) {
        file->close();
        files.remove(partial);
        return "Couldn't write " + path + ": " + error.what();
    }
    return "";
}

}  // namespace zov
