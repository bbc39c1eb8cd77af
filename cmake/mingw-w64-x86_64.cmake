# Cross compiling for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64).
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSARY_MINGW_PREFIX x86_64-w64-mingw32)
# GoogleTest needs std::mutex, which only the compilers with POSIX threads offer: the tests
# that run under Wine are built with them (-DTESSARY_MINGW_POSIX_THREADS=ON).
if(TESSARY_MINGW_POSIX_THREADS)
    set(CMAKE_C_COMPILER ${TESSARY_MINGW_PREFIX}-gcc-posix)
    set(CMAKE_CXX_COMPILER ${TESSARY_MINGW_PREFIX}-g++-posix)
else()
    set(CMAKE_C_COMPILER ${TESSARY_MINGW_PREFIX}-gcc)
    set(CMAKE_CXX_COMPILER ${TESSARY_MINGW_PREFIX}-g++)
endif()
set(CMAKE_RC_COMPILER ${TESSARY_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSARY_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libstdc++, libgcc, winpthread) goes into the executables, so they
# need nothing beyond the DLLs that come with Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
