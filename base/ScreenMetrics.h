#pragma once
// The screen's pixels per inch, the one measure that turns page pictures and paper
// sizes into screen pixels. 96 until a GUI sets the real value, so tests and the
// command-line tools are independent of any display.
namespace qrp {

int ScreenPixelsPerInch();
void SetScreenPixelsPerInch(int ppi);

} // namespace qrp
