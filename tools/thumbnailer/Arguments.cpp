#include "Arguments.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrp::thumbnailer {

void Usage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: qrp-thumbnailer -s SIZE [--time-limit SECONDS] [--memory-limit MIB] INPUT OUTPUT\n\n"
                 "Draws page 1 of the saved report INPUT within SIZE x SIZE pixels (1 to %d),\n"
                 "keeping its proportions, and writes it to OUTPUT as a PNG image.\n"
                 "A page that takes longer than SECONDS (default %g) or more than MIB MiB of\n"
                 "memory (default %ld) gives no thumbnail; 0 turns a limit off.\n",
                 kMaxSize, kDefaultTimeLimit, kDefaultMemoryLimit);
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
        } else if (arg == "--time-limit") {
            if (i + 1 >= argc)
                throw std::invalid_argument("option " + arg + " needs a value");
            const std::string v = argv[++i];
            char* end = nullptr;
            errno = 0;
            const double seconds = std::strtod(v.c_str(), &end);
            // Digits and at most one point: no signs, exponents, infinities or hex.
            const bool plain = !v.empty() && v.find_first_not_of("0123456789.") == std::string::npos;
            if (!plain || errno != 0 || end == v.c_str() || *end != '\0' || !(seconds >= 0) ||
                seconds > kMaxTimeLimit)
                throw std::invalid_argument("the time limit must be a number of seconds from 0 to " +
                                            std::to_string(static_cast<long>(kMaxTimeLimit)) + ", not \"" + v +
                                            "\"");
            a.TimeLimit = seconds;
        } else if (arg == "--memory-limit") {
            if (i + 1 >= argc)
                throw std::invalid_argument("option " + arg + " needs a value");
            const std::string v = argv[++i];
            char* end = nullptr;
            errno = 0;
            const long mib = std::strtol(v.c_str(), &end, 10);
            if (errno != 0 || end == v.c_str() || *end != '\0' || v[0] == '-' || v[0] == '+' ||
                (mib != 0 && (mib < kMinMemoryLimit || mib > kMaxMemoryLimit)))
                throw std::invalid_argument("the memory limit must be 0 or a whole number of MiB from " +
                                            std::to_string(kMinMemoryLimit) + " to " +
                                            std::to_string(kMaxMemoryLimit) + ", not \"" + v + "\"");
            a.MemoryLimit = mib;
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
