// qrp-thumbnailer -s SIZE INPUT OUTPUT: page 1 of a saved report as a PNG no larger
// than SIZE x SIZE, for file managers. This half only reads the command line; the
// drawing half (ThumbnailerModule.cpp) is loaded for the page.
#include "Arguments.h"

#include "tools/launcher/ModuleLauncher.h"

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char** argv)
{
    using namespace qrp::thumbnailer;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            Usage(stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("qrp-thumbnailer %s\n", QRP_VERSION);
            return 0;
        }
    }
    try {
        Parse(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrp-thumbnailer: %s\n", e.what());
        Usage(stderr);
        return 1;
    }
    return qrp::RunModule("qrp-thumbnailer", QRP_THUMBNAILER_PAINTING_MODULE, qrp::TModuleFonts::Read, argc, argv);
}
