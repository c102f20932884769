# Vantoriel64 with the MSVC stand-in (see msvc-standin.cmake).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MSVC_TRIPLE x86_64-pc-windows-msvc)
set(MINGW_ROOT /usr/x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/msvc-standin.cmake)
