// qrptool: the command-line face of the report viewer's engine. It never needs a
// display: without one, Qt runs on its offscreen platform with the same fonts.
#include "Command.h"

#include <QGuiApplication>
#include <QHashFunctions>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

namespace qrptool {

std::vector<TCommand>& Commands()
{
    static std::vector<TCommand> commands;
    return commands;
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

long long IntOption(const Args& args, const std::string& opt, long long fallback)
{
    const std::string v = OptionValue(args, opt);
    if (v.empty())
        return fallback;
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(v.c_str(), &end, 10);
    if (errno != 0 || end == v.c_str() || *end != '\0')
        throw EUsage{"option " + opt + " needs a whole number, not \"" + v + "\""};
    return n;
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

} // namespace qrptool

namespace {

void PrintUsage(std::FILE* to)
{
    std::fprintf(to, "usage: qrptool COMMAND [ARGS...]\n\ncommands:\n");
    auto commands = qrptool::Commands();
    std::sort(commands.begin(), commands.end(),
              [](const auto& a, const auto& b) { return a.Name < b.Name; });
    for (const auto& c : commands)
        std::fprintf(to, "  %s\n", c.Synopsis.c_str());
    std::fprintf(to, "\n'qrptool COMMAND --help' describes one command; 'qrptool --version' the version.\n");
}

} // namespace

int main(int argc, char** argv)
{
    // Hash order decides the order of objects in written files (fonts in a PDF): a
    // fixed seed makes the same report give the same bytes on every run.
    QHashSeed::setDeterministicGlobalSeed();
    const bool haveDisplay = !qEnvironmentVariableIsEmpty("DISPLAY") ||
                             !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !haveDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The tool's output never depends on a display; keep Qt's own chatter off stderr.
    qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    // Errors are one line each: Qt's warnings about the session (no runtime folder,
    // no fonts configured, ...) would add lines of their own.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "qrptool: %s\n", qPrintable(text));
    });
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName("qrptool");
    QGuiApplication::setApplicationVersion(QRP_VERSION);

    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 1 : 0;
    }
    if (std::string(argv[1]) == "--version") {
        std::printf("qrptool %s\n", QRP_VERSION);
        return 0;
    }
    const std::string name = argv[1];
    const auto& commands = qrptool::Commands();
    auto it = std::find_if(commands.begin(), commands.end(),
                           [&](const qrptool::TCommand& c) { return c.Name == name; });
    if (it == commands.end()) {
        std::fprintf(stderr, "qrptool: unknown command \"%s\" (qrptool --help lists them)\n", name.c_str());
        return 1;
    }
    qrptool::Args args(argv + 2, argv + argc);
    if (qrptool::HasFlag(args, "--help") || qrptool::HasFlag(args, "-h")) {
        std::printf("usage: qrptool %s\n\n%s\n", it->Synopsis.c_str(), it->Help.c_str());
        return 0;
    }
    try {
        return it->Run(args);
    } catch (const qrptool::EUsage& e) {
        std::fprintf(stderr, "qrptool %s: %s (usage: qrptool %s)\n", name.c_str(), e.Message.c_str(),
                     it->Synopsis.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrptool %s: %s\n", name.c_str(), e.what());
    }
    return 1;
}
