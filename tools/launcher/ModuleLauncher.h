#pragma once
// The tools start as plain C++ programs and load their painting half, the part that
// needs the toolkit, as a module only when there is something to draw. Loading that
// module (the toolkit and the forty-odd libraries it needs) is most of a drawing
// command's start-up; the font configuration, the other large start-up cost, is read
// on a second thread meanwhile.
namespace qrp {

// Loads the module file (looked for beside the running program, then in the
// program's private library folder), calls its entry "QrpModuleMain" with argc and
// argv and returns its status. When the module cannot be loaded, says so on stderr
// as program and returns 1.
int RunPaintingModule(const char* program, const char* file, int argc, char** argv);

} // namespace qrp
