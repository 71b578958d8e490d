#include "common/cli/command_line.h"

#include "common/console/console.h"

#include <algorithm>
#include <cmath>

#ifndef ZOV_VERSION
#error "ZOV_VERSION must name the project version"
#endif

namespace zov {

std::string versionLine(const std::string& program) { return program + " (zovtools) " ZOV_VERSION; }

std::string HelpFormatter::make_option_name(const CLI::Option* option, bool positional) const {
    std::string name = CLI::Formatter::make_option_name(option, positional);
    std::size_t brace = name.find('{');
    while (brace != std::string::npos) {
        std::size_t end = name.find('}', brace);
        if (end == std::string::npos) break;
        name.erase(brace, end - brace + 1);
        brace = name.find('{', brace);
    }
    return name;
}

std::string HelpFormatter::make_option_opts(const CLI::Option* option) const {
    const std::string& text = option->get_option_text();
    if (text.empty()) return {};
    return text[0] == '[' ? text : " " + text;  // an optional value is written on to the name: --border[=COLOUR]
}

CLI::Validator colourNumber(const std::string& alsoAllowed) {
    return CLI::Validator(
        [alsoAllowed](std::string& text) -> std::string {
            if (!alsoAllowed.empty() && text == alsoAllowed) return {};
            bool digits = !text.empty() && text.size() <= 2 &&
                          std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (digits && std::stoi(text) <= 15) return {};
            return "a colour is a number from 0 to 15, not '" + text + "'";
        },
        "COLOUR");
}

CLI::Validator finiteWithin(double low, double high) {
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            double value = 0;
            if (!CLI::detail::lexical_cast(text, value) || !(value >= low && value <= high))
                return "a number from " + CLI::detail::to_string(low) + " to " + CLI::detail::to_string(high) +
                       " is needed, not '" + text + "'";
            return {};
        },
        "");
}

CLI::Validator positiveFinite() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            double value = 0;
            if (!CLI::detail::lexical_cast(text, value) || !(value > 0 && std::isfinite(value)))
                return "a number greater than 0 is needed, not '" + text + "'";
            return {};
        },
        "");
}

void prepareApp(CLI::App& app, const std::string& program, const std::string& exitCodes) {
    app.name(program);
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", versionLine(program), "Print the version and exit");
    app.footer(exitCodes);
    app.get_formatter()->column_width(28);
}

namespace {

void printText(const std::string& text) {
    // One console line per line of text, each flushed as it ends.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out() << std::string_view(text).substr(start, end - start) << eol;
        start = end + 1;
    }
}

}  // namespace

int refuseCommandLine(const std::string& program, const std::string& problem, int badCommandLine) {
    out() << program << ": " << problem << eol;
    out() << "Try '" << program << " --help' for more information." << eol;
    return badCommandLine;
}

std::optional<int> parseArguments(CLI::App& app, const std::vector<std::string>& args, int badCommandLine) {
    // CLI11 takes the arguments last first, without the program name.
    std::vector<std::string> reversed;
    if (!args.empty()) reversed.assign(args.rbegin(), args.rend() - 1);
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        printText(app.help());
        return 0;
    } catch (const CLI::CallForVersion& version) {
        printText(version.what());
        return 0;
    } catch (const CLI::ParseError& error) {
        return refuseCommandLine(app.get_name(), error.what(), badCommandLine);
    }
    return std::nullopt;
}

}  // namespace zov
