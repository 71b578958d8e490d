// Command lines for the tests: a line of words split at blanks, behind the program's name.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace zov {

inline std::vector<std::string> commandLine(const std::string& program, const std::string& line) {
    std::vector<std::string> args{program};
    std::istringstream words(line);
    for (std::string word; words >> word;) args.push_back(word);
    return args;
}

inline std::vector<std::string> frameconvArgs(const std::string& line) { return commandLine("frameconv", line); }
inline std::vector<std::string> soundconvArgs(const std::string& line) { return commandLine("soundconv", line); }

}  // namespace zov
