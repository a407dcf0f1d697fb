# Read by cmake/windows-toolchain.cmake (CMAKE_USER_MAKE_RULES_OVERRIDE) after
# CMake's Windows-GNU platform files: find_library() looks for static
# archives only, so that no import library (libz.dll.a) is picked up and the
# executables never need a DLL.
set(CMAKE_FIND_LIBRARY_SUFFIXES ".a")
