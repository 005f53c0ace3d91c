#pragma once
// The system's font configuration is read once per process, on the first text drawn,
// and that read (the configuration's rule files and the cache of every font folder)
// takes longer than drawing a whole page. Programs that draw pages start it here, on a
// thread of its own, as early as they can: it then runs while the toolkit's libraries
// load and its application object is made, and the first page finds it done.
#include <thread>

namespace qrp {

class TFontSetUp {
public:
    // Starts reading the font configuration.
    TFontSetUp();
    // Waits for the read to end.
    ~TFontSetUp();
    TFontSetUp(const TFontSetUp&) = delete;
    TFontSetUp& operator=(const TFontSetUp&) = delete;

    // Returns once the configuration is read. Drawing text before that is safe too
    // (the toolkit would read it again itself); waiting only saves that second read.
    void Wait();

private:
    std::thread thread_;
};

} // namespace qrp
