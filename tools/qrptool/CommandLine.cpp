// The argument helpers, the registry of runners and the one place where a command's
// failure becomes its line on stderr; shared by both halves of qrptool.
#include "Command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>

namespace qrptool {

namespace {

std::map<std::string, TRun>& Runners()
{
    static std::map<std::string, TRun> runners;
    return runners;
}

} // namespace

TCommandRegistration::TCommandRegistration(const char* name, TRun run)
{
    Runners()[name] = std::move(run);
}

TRun RegisteredRun(const std::string& name)
{
    const auto it = Runners().find(name);
    return it == Runners().end() ? TRun() : it->second;
}

const TCommandInfo* FindCommand(const std::string& name)
{
    for (const auto& c : CommandTable())
        if (name == c.Name)
            return &c;
    return nullptr;
}

int RunCommand(const TCommandInfo& command, const TRun& run, const Args& args)
{
    try {
        return run(args);
    } catch (const EUsage& e) {
        std::fprintf(stderr, "qrptool %s: %s (usage: qrptool %s)\n", command.Name, e.Message.c_str(),
                     command.Synopsis);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrptool %s: %s\n", command.Name, e.what());
    }
    return 1;
}

bool HasFlag(const Args& args, const std::string& flag)
{
    return std::find(args.begin(), args.end(), flag) != args.end();
}

std::string OptionValue(const Args& args, const std::string& opt)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == opt) {
            if (i + 1 >= args.size())
                throw EUsage{"option " + opt + " needs a value"};
            return args[i + 1];
        }
    }
    return {};
}

long long WholeNumber(const std::string& text, const std::string& what)
{
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0')
        throw EUsage{what + " needs a whole number, not \"" + text + "\""};
    return n;
}

long long IntOption(const Args& args, const std::string& opt, long long fallback)
{
    const std::string v = OptionValue(args, opt);
    if (v.empty())
        return fallback;
    return WholeNumber(v, "option " + opt);
}

std::optional<long long> IntOptionIfGiven(const Args& args, const std::string& opt)
{
    if (!HasFlag(args, opt))
        return std::nullopt;
    const std::string v = OptionValue(args, opt);
    return WholeNumber(v, "option " + opt);
}

Args Positional(const Args& args, const std::vector<std::string>& valueOptions)
{
    Args out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (std::find(valueOptions.begin(), valueOptions.end(), a) != valueOptions.end()) {
            ++i;
            continue;
        }
        if (a.size() > 1 && a[0] == '-')
            continue;
        out.push_back(a);
    }
    return out;
}

void ReportWritten(const std::string& path, const std::string& what)
{
    std::printf("%s: %s\n", path.c_str(), what.c_str());
    std::fflush(stdout);
}

} // namespace qrptool
