#pragma once
// Whether the printing system can be asked anything at all. Without its scheduler the
// queue list comes back empty, which would read as "no printer is installed".
namespace qrp {

// True when the print scheduler (CUPS) the programs use accepts a connection.
bool PrintSystemRunning();

// What the programs say when it does not.
inline constexpr const char* PrintSystemDownMessage = "The printing system is not running";

} // namespace qrp
