# What stands in for Visual Studio on Linux: clang-cl and lld-link take the
# flags of cl.exe and link.exe, and MinGW-w64 gives the headers and import
# libraries. Only what the stand-in itself needs is here; the project's own
# flags are those of every MSVC-family compiler, in Deliverable.cmake.
#   set MSVC_TRIPLE and MINGW_ROOT, then include this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_CXX_COMPILER_TARGET ${MSVC_TRIPLE})
find_program(CMAKE_CXX_COMPILER NAMES clang-cl clang-cl-14 REQUIRED)
find_program(CMAKE_LINKER NAMES lld-link lld-link-14 REQUIRED)
find_program(CMAKE_AR NAMES llvm-lib llvm-lib-14 REQUIRED)
# CMake enables the resource compiler for every MSVC-like compiler.
find_program(CMAKE_RC_COMPILER NAMES llvm-rc llvm-rc-14 REQUIRED)

set(CMAKE_FIND_ROOT_PATH ${MINGW_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No Windows SDK: the test programs CMake builds to check the compiler only compile.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# MinGW's headers in MSVC mode: without the lean set and the early intrinsics
# header they reach headers that do not parse there.
set(CMAKE_CXX_FLAGS_INIT "-imsvc ${MINGW_ROOT}/include /DWIN32_LEAN_AND_MEAN /FIx86intrin.h /D__MM_MALLOC_H")

# link.exe finds kernel32.lib and the others; here they are MinGW's import
# libraries under the names the project links.
set(MSVC_STANDIN_LIBS ${CMAKE_BINARY_DIR}/mingw-import-libs)
file(MAKE_DIRECTORY ${MSVC_STANDIN_LIBS})
foreach(LIB kernel32 user32 gdi32)
    file(CREATE_LINK ${MINGW_ROOT}/lib/lib${LIB}.a ${MSVC_STANDIN_LIBS}/${LIB}.lib SYMBOLIC)
endforeach()
set(CMAKE_EXE_LINKER_FLAGS_INIT "/LIBPATH:${MSVC_STANDIN_LIBS}")
