#pragma once
// qrptool's subcommands. The program comes in parts: the plain one (qrptool itself:
// help, version and the commands that only read and write files) and modules loaded
// only for the commands that need them, so that no command loads more of the toolkit
// than it uses: the search one (Qt's core: its regular expressions), the drawing one
// (Qt's painting: pages and pictures drawn onto images) and the printing one (the
// report printer, with Qt's printing support and CUPS). Every command's name, synopsis and help are in the command table
// (CommandTable.cpp), which all parts share; each cmd_*.cpp registers the function
// that runs it in the part it is built into.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qrptool {

using Args = std::vector<std::string>;

enum class TPart { Plain, Search, Drawing, Printing };

struct TCommandInfo {
    const char* Name;
    const char* Synopsis; // one line: "info FILE [--json]"
    const char* Help;     // the text printed by --help
    TPart RunsIn;
};

// Every command, sorted by name.
const std::vector<TCommandInfo>& CommandTable();
// The command of that name; nullptr when there is none.
const TCommandInfo* FindCommand(const std::string& name);

// Runs a command with the arguments after its name and returns the exit status.
// Failures are thrown and reported by RunCommand as one line on stderr, status 1.
using TRun = std::function<int(const Args&)>;

// The commands built into this part of the program.
struct TCommandRegistration {
    TCommandRegistration(const char* name, TRun run);
};
// The runner registered for name in this part; empty when it lives in another.
TRun RegisteredRun(const std::string& name);

// Runs a command and turns its failures into one line on stderr:
// "qrptool NAME: message", for usage errors followed by the synopsis.
int RunCommand(const TCommandInfo& command, const TRun& run, const Args& args);

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
// Integer value of an option; none when absent.
std::optional<long long> IntOptionIfGiven(const Args& args, const std::string& opt);
// A whole number given as an argument (what), EUsage when it is none.
long long WholeNumber(const std::string& text, const std::string& what);
// Arguments that are neither options nor option values. valueOptions lists the
// options that take a value.
Args Positional(const Args& args, const std::vector<std::string>& valueOptions);

// The line a command prints for each file it has written, once the file is complete:
// "PATH: what it holds".
void ReportWritten(const std::string& path, const std::string& what);

} // namespace qrptool
