// qrptool: the command-line face of the report viewer's engine. This part is plain
// C++: help, the version and the commands that only read and write files start
// without loading the toolkit; the others run in the module of their part (Command.h),
// loaded only for them.
#include "Command.h"

#include "base/Interruption.h"
#include "tools/launcher/ModuleLauncher.h"

#include <cstdio>
#include <string>

namespace {

void PrintUsage(std::FILE* to)
{
    std::fprintf(to, "usage: qrptool COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& c : qrptool::CommandTable())
        std::fprintf(to, "  %s\n", c.Synopsis);
    std::fprintf(to, "\n'qrptool COMMAND --help' describes one command; 'qrptool --version' the version.\n");
}

} // namespace

int main(int argc, char** argv)
{
    // SIGINT, SIGTERM and SIGHUP remove what the command was writing.
    qrp::CleanUpOnInterruption();
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 1 : 0;
    }
    if (std::string(argv[1]) == "--version") {
        std::printf("qrptool %s\n", QRP_VERSION);
        return 0;
    }
    const std::string name = argv[1];
    const qrptool::TCommandInfo* command = qrptool::FindCommand(name);
    if (!command) {
        std::fprintf(stderr, "qrptool: unknown command \"%s\" (qrptool --help lists them)\n", name.c_str());
        return 1;
    }
    const qrptool::Args args(argv + 2, argv + argc);
    if (qrptool::HasFlag(args, "--help") || qrptool::HasFlag(args, "-h")) {
        std::printf("usage: qrptool %s\n\n%s\n", command->Synopsis, command->Help);
        return 0;
    }
    using qrp::TModuleFonts;
    switch (command->RunsIn) {
    case qrptool::TPart::Search:
        return qrp::RunModule("qrptool", QRPTOOL_SEARCH_MODULE, TModuleFonts::NotNeeded, argc, argv);
    case qrptool::TPart::Drawing:
        return qrp::RunModule("qrptool", QRPTOOL_DRAWING_MODULE, TModuleFonts::Read, argc, argv);
    case qrptool::TPart::Printing:
        return qrp::RunModule("qrptool", QRPTOOL_PRINTING_MODULE, TModuleFonts::Read, argc, argv);
    case qrptool::TPart::Plain:
        break;
    }
    return qrptool::RunCommand(*command, qrptool::RegisteredRun(name), args);
}
