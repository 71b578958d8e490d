#include "common/platform/whole_file.h"

#include <unistd.h>

namespace zov {

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

OutputsObstacle outputsObstacle(FileSystem& files, const std::vector<std::string>& paths,
                                const std::vector<std::string>& inputs, bool force) {
    for (const std::string& path : paths) {
        OutputObstacle obstacle = outputObstacle(files, path, inputs, force);
        if (obstacle.kind != OutputObstacle::None) return {obstacle, path};
    }
    return {};
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

}  // namespace zov
