# Vantoriel32 with the MSVC stand-in (see msvc-standin.cmake).
set(CMAKE_SYSTEM_PROCESSOR X86)
set(MSVC_TRIPLE i686-pc-windows-msvc)
set(MINGW_ROOT /usr/i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/msvc-standin.cmake)
# MinGW's headers in MSVC mode want the processor named (the Windows SDK's
# headers name it themselves); its import libraries carry no safe exception
# handler tables.
string(APPEND CMAKE_CXX_FLAGS_INIT " /D_X86_")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " /SAFESEH:NO")
