// bench_first_play REPORT: started the way qrptool and the thumbnailer start (a plain
// program that loads its painting module while the font configuration is read), it
// plays page 1 of REPORT several times in the one process and prints the time of the
// first play and of the fastest later one, in milliseconds. bench_startup runs it.
#include "tools/launcher/ModuleLauncher.h"

int main(int argc, char** argv)
{
    return qrp::RunModule("bench_first_play", "bench_first_play_module.so", qrp::TModuleFonts::Read, argc, argv);
}
