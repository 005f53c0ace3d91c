#include "Arguments.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace qrp::thumbnailer {

void Usage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: qrp-thumbnailer -s SIZE INPUT OUTPUT\n\n"
                 "Draws page 1 of the saved report INPUT within SIZE x SIZE pixels (1 to %d),\n"
                 "keeping its proportions, and writes it to OUTPUT as a PNG image.\n",
                 kMaxSize);
}

TArguments Parse(int argc, char** argv)
{
    TArguments a;
    bool haveSize = false;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-s" || arg == "--size") {
            if (i + 1 >= argc)
                throw std::invalid_argument("option " + arg + " needs a value");
            const std::string v = argv[++i];
            char* end = nullptr;
            errno = 0;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (errno != 0 || end == v.c_str() || *end != '\0' || n < 1 || n > kMaxSize)
                throw std::invalid_argument("size must be a whole number from 1 to " +
                                            std::to_string(kMaxSize) + ", not \"" + v + "\"");
            a.Size = static_cast<int>(n);
            haveSize = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw std::invalid_argument("unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (!haveSize)
        throw std::invalid_argument("the size (-s SIZE) is missing");
    if (positional.size() != 2)
        throw std::invalid_argument("expected INPUT and OUTPUT");
    a.Input = positional[0];
    a.Output = positional[1];
    return a;
}

} // namespace qrp::thumbnailer
