enable_testing()
include(ExternalProject)
find_package(Threads REQUIRED)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(GTEST_ROOT /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")

file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/*.cpp)

# Program code keeps its own rules on the host too.
set_source_files_properties(${PROGRAM_SOURCES} PROPERTIES COMPILE_OPTIONS "-fno-exceptions;-fno-rtti;-Wall;-Wextra;-Werror")

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

    add_executable(unit_tests${WIDTH} ${PROGRAM_SOURCES} ${HOST_TEST_SOURCES})
    target_include_directories(unit_tests${WIDTH} PRIVATE
        ${CMAKE_CURRENT_SOURCE_DIR}
        ${CMAKE_CURRENT_SOURCE_DIR}/tests/host
        ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/include)
    if(WIDTH EQUAL 64)
        target_compile_definitions(unit_tests${WIDTH} PRIVATE UNICODE _UNICODE)
    endif()
    target_link_libraries(unit_tests${WIDTH} PRIVATE gtest${WIDTH})
    add_test(NAME unit${WIDTH} COMMAND unit_tests${WIDTH})
endforeach()

# The two deliverables, cross-built by this same project with a MinGW toolchain.
foreach(ARCH x86_64 i686)
    ExternalProject_Add(cross-${ARCH}
        SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}
        BINARY_DIR ${CMAKE_BINARY_DIR}/cross-${ARCH}
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_CURRENT_SOURCE_DIR}/cmake/mingw-${ARCH}.cmake
        INSTALL_COMMAND ""
        BUILD_ALWAYS TRUE)
endforeach()
set(VANTORIEL64_EXE ${CMAKE_BINARY_DIR}/cross-x86_64/Vantoriel64.exe)
set(VANTORIEL32_EXE ${CMAKE_BINARY_DIR}/cross-i686/Vantoriel32.exe)
set(E2E_DRIVER_EXE ${CMAKE_BINARY_DIR}/cross-x86_64/e2e_driver.exe)

include(${CMAKE_CURRENT_SOURCE_DIR}/tests/CMakeLists.txt OPTIONAL)
