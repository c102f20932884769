enable_testing()
include(ExternalProject)
find_package(Threads REQUIRED)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(GTEST_ROOT /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")

# Whether this machine runs 32-bit Linux programs natively; where it cannot,
# the 32-bit host tests run under qemu-i386 and Vantoriel32 in a guest.
execute_process(COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/i386-mode
    OUTPUT_VARIABLE I386_MODE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "32-bit Linux programs run: ${I386_MODE}")
set(RUN_LINUX ${CMAKE_CURRENT_SOURCE_DIR}/scripts/run-linux)

# On a machine that runs 32-bit Linux programs, the other path's part runs
# too, so that a change that breaks that path shows here: the 32-bit host
# tests under qemu-i386, and smoke and e2e of Vantoriel32 in the guest
# machine (VANTORIEL_BOTH_PATHS=OFF leaves the guest out).
option(VANTORIEL_BOTH_PATHS "also run Vantoriel32 in the guest machine where 32-bit programs run natively" ON)

# A Linux test program of WIDTH bits with its arguments; a 32-bit one runs a
# second time under qemu-i386 (NAME-qemu) where it could run natively.
function(add_linux_test NAME WIDTH)
    add_test(NAME ${NAME} COMMAND ${RUN_LINUX} ${ARGN})
    if(WIDTH EQUAL 32 AND I386_MODE STREQUAL native)
        add_test(NAME ${NAME}-qemu COMMAND ${CMAKE_COMMAND} -E env VANTORIEL_I386=emulated ${RUN_LINUX} ${ARGN})
    endif()
endfunction()

file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/*.cpp)
file(GLOB CTL_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/ctl/*.cpp)

# Two host builds from the same sources: 64-bit with 16-bit text units, and
# 32-bit (-m32) with 8-bit units, each with its own GoogleTest.
foreach(WIDTH 64 32)
    if(WIDTH EQUAL 32)
        set(MACHINE_OPTION -m32)
    else()
        set(MACHINE_OPTION -m64)
    endif()

    add_library(gtest${WIDTH} STATIC ${GTEST_ROOT}/src/gtest-all.cc ${GTEST_ROOT}/src/gtest_main.cc)
    target_include_directories(gtest${WIDTH} SYSTEM PUBLIC ${GTEST_ROOT}/include PRIVATE ${GTEST_ROOT})
    target_compile_options(gtest${WIDTH} PUBLIC ${MACHINE_OPTION})
    target_link_options(gtest${WIDTH} PUBLIC ${MACHINE_OPTION})
    target_link_libraries(gtest${WIDTH} PUBLIC Threads::Threads)

    # The program's code and the companion's, each compiled once per width
    # and linked by its test program.
    add_library(program${WIDTH} OBJECT ${PROGRAM_SOURCES})
    add_library(companion${WIDTH} OBJECT ${CTL_SOURCES} ${CTL_REMOTE_SOURCES})
    foreach(CODE program${WIDTH} companion${WIDTH})
        target_include_directories(${CODE} PRIVATE
            ${CMAKE_CURRENT_SOURCE_DIR}
            ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/include)
        # Program code keeps its own rules on the host too.
        target_compile_options(${CODE} PRIVATE ${MACHINE_OPTION} -fno-exceptions -fno-rtti -Wall -Wextra -Werror)
        if(WIDTH EQUAL 64)
            target_compile_definitions(${CODE} PRIVATE UNICODE _UNICODE)
        endif()
    endforeach()

    add_executable(unit_tests${WIDTH} ${HOST_TEST_SOURCES})
    target_include_directories(unit_tests${WIDTH} PRIVATE
        ${CMAKE_CURRENT_SOURCE_DIR}
        ${CMAKE_CURRENT_SOURCE_DIR}/tests/host
        ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/include)
    if(WIDTH EQUAL 64)
        target_compile_definitions(unit_tests${WIDTH} PRIVATE UNICODE _UNICODE)
    endif()
    target_link_libraries(unit_tests${WIDTH} PRIVATE program${WIDTH} gtest${WIDTH})
    add_linux_test(unit${WIDTH} ${WIDTH} $<TARGET_FILE:unit_tests${WIDTH}>)

    # The companion: its pure parts and, against a stand-in for the platform
    # and for a running Vantoriel, the verbs and the remote calls.
    add_executable(ctl_tests${WIDTH} ${CTL_TEST_SOURCES})
    target_include_directories(ctl_tests${WIDTH} PRIVATE
        ${CMAKE_CURRENT_SOURCE_DIR}
        ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/ctl
        ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/include)
    if(WIDTH EQUAL 64)
        target_compile_definitions(ctl_tests${WIDTH} PRIVATE UNICODE _UNICODE)
    endif()
    target_link_libraries(ctl_tests${WIDTH} PRIVATE companion${WIDTH} gtest${WIDTH})
    add_linux_test(unit-ctl${WIDTH} ${WIDTH} $<TARGET_FILE:ctl_tests${WIDTH}>)
endforeach()

# The two deliverables, cross-built by this same project with MinGW-w64, once
# with GCC (the default, in cross-ARCH), once with LLVM (clang-ARCH), and once
# with clang-cl and lld-link in the place of Visual Studio (msvc-ARCH).
set(VANTORIEL_COMPILERS "gcc;clang;msvc" CACHE STRING "compilers to build the .exe files with: any of gcc, clang and msvc")
function(add_cross_build DIR TOOLCHAIN)
    if(NOT TARGET ${DIR})
        ExternalProject_Add(${DIR}
            SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}
            BINARY_DIR ${CMAKE_BINARY_DIR}/${DIR}
            CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_CURRENT_SOURCE_DIR}/cmake/${TOOLCHAIN}.cmake
            INSTALL_COMMAND ""
            BUILD_ALWAYS TRUE)
    endif()
endfunction()

set(DELIVERABLES) # entries COMPILER:WIDTH:PATH
foreach(COMPILER ${VANTORIEL_COMPILERS})
    foreach(ARCH x86_64 i686)
        if(COMPILER STREQUAL gcc)
            set(DIR cross-${ARCH})
            add_cross_build(${DIR} mingw-${ARCH})
        else()
            set(DIR ${COMPILER}-${ARCH})
            add_cross_build(${DIR} ${COMPILER}-${ARCH})
        endif()
        if(ARCH STREQUAL x86_64)
            list(APPEND DELIVERABLES "${COMPILER}:64:${CMAKE_BINARY_DIR}/${DIR}/Vantoriel64.exe")
        else()
            list(APPEND DELIVERABLES "${COMPILER}:32:${CMAKE_BINARY_DIR}/${DIR}/Vantoriel32.exe")
        endif()
    endforeach()
endforeach()
# The end-to-end driver comes with the 64-bit GCC build, whichever compilers
# make the deliverables.
add_cross_build(cross-x86_64 mingw-x86_64)
set(E2E_DRIVER_EXE ${CMAKE_BINARY_DIR}/cross-x86_64/e2e_driver.exe)


# The release package: both .exe files and vantoriel-ctl.exe of the GCC build
# (of LLVM's when only LLVM builds them), the README and the licence, in a
# versioned ZIP.
list(GET DELIVERABLES 0 FIRST)
string(REPLACE ":" ";" FIRST ${FIRST})
list(GET FIRST 0 PACKAGE_COMPILER)
foreach(ENTRY ${DELIVERABLES})
    string(REPLACE ":" ";" PARTS ${ENTRY})
    list(GET PARTS 0 COMPILER)
    list(GET PARTS 2 EXE)
    if(COMPILER STREQUAL PACKAGE_COMPILER)
        install(PROGRAMS ${EXE} DESTINATION .)
        # The companion comes with the 64-bit build and drives both.
        if(EXE MATCHES "Vantoriel64.exe$")
            get_filename_component(EXE_DIR ${EXE} DIRECTORY)
            install(PROGRAMS ${EXE_DIR}/vantoriel-ctl.exe DESTINATION .)
        endif()
    endif()
endforeach()
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Vantoriel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Vantoriel-${PROJECT_VERSION})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)

# Sanitizer and fuzzing builds of the host tests, with clang.
ExternalProject_Add(sanitize
    SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/sanitize
    CMAKE_ARGS -DVANTORIEL_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++
    INSTALL_COMMAND ""
    BUILD_ALWAYS TRUE)
set(SANITIZE_DIR ${CMAKE_BINARY_DIR}/sanitize)

include(${CMAKE_CURRENT_SOURCE_DIR}/tests/CMakeLists.txt)

# Every test follows the one answer found above, also where it asks again.
get_property(ALL_TESTS DIRECTORY PROPERTY TESTS)
set_tests_properties(${ALL_TESTS} PROPERTIES ENVIRONMENT VANTORIEL_I386=${I386_MODE})
