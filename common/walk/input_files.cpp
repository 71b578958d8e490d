#include "common/walk/input_files.h"

#include "common/console/console.h"

namespace zov {

void InputFiles::add(const std::string& path) {
    if (std::optional<FileIdentity> id = fileSystem().identity(path)) files_.emplace(*id, path);
}

bool InputFiles::refuses(const std::string& output, const std::string& reading) const {
    std::optional<FileIdentity> id = fileSystem().identity(output);
    if (!id) return false;  // nothing there yet: it cannot be an input
    const std::string* input = nullptr;
    if (!reading.empty() && fileSystem().identity(reading) == id) input = &reading;
    if (!input) {
        auto it = files_.find(*id);
        if (it != files_.end()) input = &it->second;
    }
    if (!input) return false;
    out() << "Output " << output << " is the input " << *input << ", and will not be overwritten." << eol;
    return true;
}

}  // namespace zov
