#pragma once
// qrptool's subcommands. Each lives in a cmd_*.cpp file of its own and registers itself
// with a static TCommandRegistration; main() dispatches on the first argument.
#include <functional>
#include <string>
#include <vector>

namespace qrptool {

using Args = std::vector<std::string>;

struct TCommand {
    std::string Name;
    std::string Synopsis; // one line: "info FILE [--json]"
    std::string Help;     // the text printed by --help
    // Runs the command with the arguments after its name; returns the exit status.
    // Failures are thrown and reported by main() as one line on stderr, status 1.
    std::function<int(const Args&)> Run;
};

std::vector<TCommand>& Commands();

struct TCommandRegistration {
    explicit TCommandRegistration(TCommand command) { Commands().push_back(std::move(command)); }
};

// Usage errors: printed with the command's synopsis, status 1.
struct EUsage {
    std::string Message;
};

// Small argument helpers shared by the commands.
bool HasFlag(const Args& args, const std::string& flag);
// Value of "--opt V" or "-o V"; empty when absent. Throws EUsage when the value is missing.
std::string OptionValue(const Args& args, const std::string& opt);
// Integer value of an option, or fallback when absent; EUsage when not a number.
long long IntOption(const Args& args, const std::string& opt, long long fallback);
// Arguments that are neither options nor option values. valueOptions lists the
// options that take a value.
Args Positional(const Args& args, const std::vector<std::string>& valueOptions);

} // namespace qrptool
