# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (the -posix
# thread model, so that std::thread and std::mutex work). The program is
# 32-bit: the driver's buffers carry the ring address and the event handle in
# 4-byte fields. Tests run under 32-bit Wine (see VANTREL_WINE below).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_vantrel_triple i686-w64-mingw32)
set(CMAKE_C_COMPILER ${_vantrel_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_vantrel_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_vantrel_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_vantrel_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe each: no libstdc++, libgcc or winpthread DLL to
# ship beside it (or to find under Wine).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The 32-bit Wine loader. Debian's wine32 package installs it outside PATH;
# the `wine` wrapper script comes with another package that may be absent.
find_program(VANTREL_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_program(VANTREL_WINE NAMES wine NO_CMAKE_FIND_ROOT_PATH)
