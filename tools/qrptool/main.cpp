// qrptool: the command-line face of the report viewer's engine. This half is plain C++:
// help, the version and the commands that only read and write files start without
// loading the toolkit; the commands that draw or print run in the painting module,
// loaded only for them.
#include "Command.h"

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
    if (command->RunsIn == qrptool::THalf::Painting)
        return qrp::RunPaintingModule("qrptool", QRPTOOL_PAINTING_MODULE, argc, argv);
    return qrptool::RunCommand(*command, qrptool::RegisteredRun(name), args);
}
