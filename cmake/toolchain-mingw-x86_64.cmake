# The same program built for 64-bit Windows (g++-mingw-w64-x86-64), only so that its
# tests can run under 64-bit Wine on machines whose kernel runs no 32-bit code. The
# product is the 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RUVO_MINGW_PREFIX x86_64-w64-mingw32)
set(RUVO_WINEARCH win64 CACHE INTERNAL "")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
