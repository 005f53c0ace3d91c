#pragma once
// The tools start as plain C++ programs and load the parts that need the toolkit as
// modules only when a command needs them. Loading such a module (the toolkit and the
// dozens of libraries it needs) is most of a drawing command's start-up; the font
// configuration, the other large start-up cost, is read on a second thread meanwhile.
namespace qrp {

// Whether the module draws text, so that the font configuration is worth reading
// while it loads.
enum class TModuleFonts { Read, NotNeeded };

// Loads the module file (looked for beside the running program, then in the
// program's private library folder), calls its entry "QrpModuleMain" with argc, argv
// and a function that returns once the font configuration is read, and returns its
// status. The module calls that function before it first draws text, after its own
// set-up (the application object), which thus runs beside the read; the function does
// nothing when the fonts were not asked for. When the module cannot be loaded, says
// so on stderr as program and returns 1.
int RunModule(const char* program, const char* file, TModuleFonts fonts, int argc, char** argv);

// The entry every module exports.
using TModuleEntry = int (*)(int argc, char** argv, void (*fontsRead)());

} // namespace qrp
