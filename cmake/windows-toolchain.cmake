# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (POSIX thread
# model, so std::thread works) against the libraries that
# scripts/windows/deps.sh builds.
#
#   prefix=$(scripts/windows/deps.sh | tail -1)
#   cmake -S . -B build-windows \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/windows-toolchain.cmake \
#     -DKORVA_WINDOWS_DEPS="$prefix"
#
# Executables are linked fully static (no DLL besides Windows' own), and
# CMake runs them (ctest, custom commands that run a built tool) under wine
# through scripts/windows/wine-run.sh.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVA_WINDOWS_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVA_WINDOWS_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVA_WINDOWS_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVA_WINDOWS_TRIPLET}-windres)

# The prefix with the Windows libraries. The toolchain is read again for
# every try_compile project, which only sees the variables listed here.
set(KORVA_WINDOWS_DEPS "${KORVA_WINDOWS_DEPS}" CACHE PATH
  "Prefix with the Windows libraries built by scripts/windows/deps.sh")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVA_WINDOWS_DEPS)
if(NOT KORVA_WINDOWS_DEPS OR NOT IS_DIRECTORY "${KORVA_WINDOWS_DEPS}")
  message(FATAL_ERROR
    "KORVA_WINDOWS_DEPS is not set or not a folder ('${KORVA_WINDOWS_DEPS}'). "
    "Build the Windows libraries and pass their prefix:\n"
    "  -DKORVA_WINDOWS_DEPS=\"$(scripts/windows/deps.sh | tail -1)\"")
endif()

# Libraries, headers and CMake packages come only from the prefix and the
# mingw-w64 sysroot, never from the Linux system; programs (wx-config,
# pkg-config, code generators) are the build machine's.
set(CMAKE_FIND_ROOT_PATH "${KORVA_WINDOWS_DEPS}" /usr/${KORVA_WINDOWS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# find_library() must pick static archives, never an import library such as
# the sysroot's libz.dll.a. Windows-GNU.cmake sets the suffixes after this
# file is read, so the override file puts ".a" back first.
set(CMAKE_USER_MAKE_RULES_OVERRIDE "${CMAKE_CURRENT_LIST_DIR}/windows-static-find.cmake")

# The prefix is to this build what /usr is to the Linux one: its headers are
# found without an include directory of their own (squish.h, FreeImage.h,
# xxhash.h), and -lNAME finds its libraries.
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES "${KORVA_WINDOWS_DEPS}/include")
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES "${KORVA_WINDOWS_DEPS}/include")

# One self-contained .exe: libgcc, libstdc++ and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -L${KORVA_WINDOWS_DEPS}/lib")

# The prefix's wx-config (a shell script) describes the static MSW build.
set(wxWidgets_CONFIG_EXECUTABLE "${KORVA_WINDOWS_DEPS}/bin/wx-config" CACHE FILEPATH
  "wx-config of the Windows wxWidgets build")

# pkg_check_modules() reads the prefix's .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} "${KORVA_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Built .exe files run under wine (ctest, gtest_discover_tests, custom
# commands that run a built tool), with the wine prefix that deps.sh made
# beside the deps prefix (<cache>/wineprefix), whatever the environment.
get_filename_component(_korva_repo "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
get_filename_component(_korva_cache "${KORVA_WINDOWS_DEPS}" DIRECTORY)
set(CMAKE_CROSSCOMPILING_EMULATOR env "KORVA_CACHE_DIR=${_korva_cache}"
  "${_korva_repo}/scripts/windows/wine-run.sh")
