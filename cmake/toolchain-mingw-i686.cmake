# The product: 32-bit Windows (g++-mingw-w64-i686), tested under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(RUVO_MINGW_PREFIX i686-w64-mingw32)
set(RUVO_WINEARCH win32 CACHE INTERNAL "")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
