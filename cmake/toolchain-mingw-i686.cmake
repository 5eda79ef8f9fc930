# The product: 32-bit Windows, cross-built with Debian's MinGW-w64 (g++-mingw-w64-i686). The
# test programs run under 32-bit Wine through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(RUVO_MINGW_PREFIX i686-w64-mingw32)
# The win32 thread model: no winpthread DLL, nothing to ship beside the exe.
find_program(CMAKE_C_COMPILER NAMES ${RUVO_MINGW_PREFIX}-gcc-win32 ${RUVO_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${RUVO_MINGW_PREFIX}-g++-win32 ${RUVO_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${RUVO_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${RUVO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine, through a script that keeps Wine's server out of CTest's output pipes.
find_program(RUVO_WINE NAMES wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-emulator.sh)

# Small and self-contained: every function and datum in its own section so the linker
# can drop what is unused; the C and C++ runtimes linked in statically, symbols stripped.
# No link time in the header, so that the same sources give the same bytes.
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s -Wl,--no-insert-timestamp")

# GNU ld keeps the .eh_frame of a Windows program whole, and with it every function
# that has unwind information, used or not: most of libstdc++'s string code. LLVM's
# lld collects them, which makes RuvoLinkLens.exe about 90 KB smaller. GCC's driver
# runs lld when a GCC specs file names it as the linker (Debian's package lld).
find_program(RUVO_LLD NAMES ld.lld)
if(RUVO_LLD)
  set(RUVO_LLD_SPECS "${CMAKE_BINARY_DIR}/mingw-lld.specs")
  file(WRITE "${RUVO_LLD_SPECS}" "*linker:\n${RUVO_LLD}\n\n")
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -specs=${RUVO_LLD_SPECS} -fno-use-linker-plugin")
else()
  message(STATUS "ld.lld not found: linking with GNU ld, RuvoLinkLens.exe will be larger")
endif()
