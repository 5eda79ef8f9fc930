// The one answer to running out of memory in the Windows program.
#pragma once

namespace ruvo::win32 {

// The exit status when the program had to stop for lack of memory.
inline constexpr unsigned kOutOfMemoryExitStatus = 3;

// Tells the user the program ran out of memory and ends the process at once.
[[noreturn]] void StopForLackOfMemory() noexcept;

}  // namespace ruvo::win32
