#pragma once
// The system's font configuration is read once per process, on the first text drawn,
// and that read (the configuration's rule files and the cache of every font folder)
// takes longer than drawing a whole page. The tools start it here, on a thread of its
// own, before they load the part that draws (tools/launcher): it then runs while the
// toolkit's libraries load, and the first page finds it done. (The viewer reads it
// while making its application object anyway, for its windows' fonts.)
#include <future>
#include <thread>

namespace qrp {

class TFontSetUp {
public:
    // Starts loading the font library and reading the font configuration.
    TFontSetUp();
    // Waits for the read to end.
    ~TFontSetUp();
    TFontSetUp(const TFontSetUp&) = delete;
    TFontSetUp& operator=(const TFontSetUp&) = delete;

    // Returns once the font library is loaded. The dynamic loader loads one library at
    // a time: a program about to load others waits for this first, so that the read
    // runs beside its loading instead of waiting for all of it.
    void WaitForLibrary();
    // Returns once the configuration is read. Drawing text before that is safe too
    // (the toolkit would read it again itself); waiting only saves that second read.
    void Wait();

private:
    std::promise<void> libraryLoaded_;
    std::shared_future<void> libraryLoadedFuture_;
    std::thread thread_;
};

} // namespace qrp
