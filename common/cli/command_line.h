// The command lines of our own programs (vicview, soundtrack): GNU-style options parsed with CLI11, so both
// share one style of help, errors and --version. Everything is printed through the console of the platform
// layer, so the tests see it.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

namespace zov {

/// "PROGRAM (zovtools) VERSION", the line --version prints.
std::string versionLine(const std::string& program);

/// Help text in the house style: an option's value shown by its option_text ("--rate HZ"), a flag's
/// default value ("--border{bg}") left out of its name.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override;
    std::string make_option_opts(const CLI::Option* option) const override;
};

/// A validator for a colour number 0-15 (or the one word alsoAllowed, when not empty).
CLI::Validator colourNumber(const std::string& alsoAllowed = {});

/// A real number within [low, high]; unlike CLI11's ranges it also turns away NaN.
CLI::Validator finiteWithin(double low, double high);

/// A finite real number greater than 0.
CLI::Validator positiveFinite();

/// An App with the house settings: --help, --version, a footer with the exit codes.
void prepareApp(CLI::App& app, const std::string& program, const std::string& exitCodes);

/// Parses args (args[0] is the program name). Returns nothing when the run should go on; otherwise the exit
/// code to end with: 0 after --help or --version, badCommandLine after a bad command line (its problem is
/// printed as "PROGRAM: problem", then a pointer to --help).
std::optional<int> parseArguments(CLI::App& app, const std::vector<std::string>& args, int badCommandLine);

/// Ends a run on a command line that parsed but makes no sense (options that exclude each other and the
/// like): prints the problem the same way as parseArguments and gives badCommandLine.
int refuseCommandLine(const std::string& program, const std::string& problem, int badCommandLine);

}  // namespace zov
