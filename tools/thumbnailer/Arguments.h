#pragma once
// qrp-thumbnailer's command line, read the same way by both halves of the program.
#include <cstdio>
#include <string>

namespace qrp::thumbnailer {

constexpr int kMaxSize = 4096;
// The limits of one run, unless the command line gives others; 0 turns a limit off.
constexpr double kDefaultTimeLimit = 2;        // seconds of wall-clock time
constexpr long kDefaultMemoryLimit = 256;      // MiB of the process's data
constexpr double kMaxTimeLimit = 86400;        // seconds
constexpr long kMaxMemoryLimit = 1024 * 1024;  // MiB
constexpr long kMinMemoryLimit = 32;           // MiB: the toolkit itself needs some

struct TArguments {
    int Size = 0;
    std::string Input, Output;
    double TimeLimit = kDefaultTimeLimit;
    long MemoryLimit = kDefaultMemoryLimit;
};

// Throws std::invalid_argument with the reason.
TArguments Parse(int argc, char** argv);

void Usage(std::FILE* to);

} // namespace qrp::thumbnailer
