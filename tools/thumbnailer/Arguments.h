#pragma once
// qrp-thumbnailer's command line, read the same way by both halves of the program.
#include <cstdio>
#include <string>

namespace qrp::thumbnailer {

constexpr int kMaxSize = 4096;

struct TArguments {
    int Size = 0;
    std::string Input, Output;
};

// Throws std::invalid_argument with the reason.
TArguments Parse(int argc, char** argv);

void Usage(std::FILE* to);

} // namespace qrp::thumbnailer
