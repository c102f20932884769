# Read by project() after CMake's platform files have chosen their default
# flags and before those reach the cache. A deliverable's flags are all its
# own (Deliverable.cmake) and the same in every configuration, so that Debug,
# Release and the others build the same file.
if(NOT CMAKE_SYSTEM_NAME STREQUAL Windows)
    return()
endif()

set(CMAKE_BUILD_TYPE_INIT "")
foreach(CONFIG DEBUG RELEASE RELWITHDEBINFO MINSIZEREL)
    set(CMAKE_CXX_FLAGS_${CONFIG}_INIT "")          # -O3, -g, /Od /RTC1, /O2, /DNDEBUG
    set(CMAKE_EXE_LINKER_FLAGS_${CONFIG}_INIT "")   # /debug /INCREMENTAL
endforeach()
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "")   # winspool and nine more; each program names its own

if(MSVC)
    # The defines and exception model CMake gives cl.exe; what a toolchain
    # file put in front of them stays.
    string(REPLACE " " ";" DEFAULT_FLAGS "${CMAKE_CXX_FLAGS_INIT}")
    list(REMOVE_ITEM DEFAULT_FLAGS /DWIN32 /D_WINDOWS /GR /EHsc /W3)
    list(JOIN DEFAULT_FLAGS " " CMAKE_CXX_FLAGS_INIT)
    unset(DEFAULT_FLAGS)
    set(CMAKE_MSVC_RUNTIME_LIBRARY "")             # -MD/-MDd: there is no runtime library
    set(CMAKE_MSVC_DEBUG_INFORMATION_FORMAT "")    # /Zi: a shipped file has no debug information
endif()
