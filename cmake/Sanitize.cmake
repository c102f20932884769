set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(GTEST_ROOT /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")
set(SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1)

file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/*.cpp)
file(GLOB CTL_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/ctl/*.cpp)
set(FAKE_WINDOWS ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/fake_windows.cpp)
set(CTL_STANDIN ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/ctl/ctl_standin.cpp)
# The stand-ins come from libraries of their own, shared with the fuzz targets.
list(REMOVE_ITEM HOST_TEST_SOURCES ${FAKE_WINDOWS})
list(REMOVE_ITEM CTL_TEST_SOURCES ${CTL_STANDIN})
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
set(HOST_INCLUDES ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/tests/host
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/include ${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz)

foreach(WIDTH 64 32)
    if(WIDTH EQUAL 32)
        set(MACHINE -m32)
        set(DEFINES)
    else()
        set(MACHINE -m64)
        set(DEFINES UNICODE _UNICODE)
    endif()

    add_library(gtest_san${WIDTH} STATIC ${GTEST_ROOT}/src/gtest-all.cc ${GTEST_ROOT}/src/gtest_main.cc)
    target_include_directories(gtest_san${WIDTH} SYSTEM PUBLIC ${GTEST_ROOT}/include PRIVATE ${GTEST_ROOT})
    target_compile_options(gtest_san${WIDTH} PUBLIC ${MACHINE} ${SANITIZERS})
    target_link_options(gtest_san${WIDTH} PUBLIC ${MACHINE} ${SANITIZERS} -pthread)

    # What the unit tests and the fuzz targets both run, compiled once per
    # width: the program, the companion's pure parts and the two stand-ins.
    # libFuzzer learns from the coverage of the code under test, so that code
    # carries the fuzzer's instrumentation (fuzzer-no-link: without libFuzzer's
    # main, which only the fuzz targets link); the sanitizers' runtime answers
    # its hooks in the unit tests.
    add_library(program_san${WIDTH} OBJECT ${PROGRAM_SOURCES})
    add_library(companion_san${WIDTH} OBJECT ${CTL_SOURCES})
    add_library(fake_windows_san${WIDTH} OBJECT ${FAKE_WINDOWS})
    add_library(ctl_standin_san${WIDTH} OBJECT ${CTL_STANDIN})
    foreach(SHARED program_san${WIDTH} companion_san${WIDTH} fake_windows_san${WIDTH} ctl_standin_san${WIDTH})
        target_include_directories(${SHARED} PRIVATE ${HOST_INCLUDES})
        target_compile_definitions(${SHARED} PRIVATE ${DEFINES})
        target_compile_options(${SHARED} PRIVATE ${MACHINE} ${SANITIZERS} -fsanitize=fuzzer-no-link)
    endforeach()

    add_executable(unit_tests_san${WIDTH} ${HOST_TEST_SOURCES})
    target_include_directories(unit_tests_san${WIDTH} PRIVATE ${HOST_INCLUDES})
    target_compile_definitions(unit_tests_san${WIDTH} PRIVATE ${DEFINES})
    target_link_libraries(unit_tests_san${WIDTH} PRIVATE program_san${WIDTH} fake_windows_san${WIDTH} gtest_san${WIDTH})

    # The parts that talk to a running Vantoriel are for this test program
    # alone: they need its stand-in for the other process, which the fuzz
    # targets do not link.
    add_executable(ctl_tests_san${WIDTH} ${CTL_TEST_SOURCES} ${CTL_REMOTE_SOURCES})
    target_include_directories(ctl_tests_san${WIDTH} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
        ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/ctl ${CMAKE_CURRENT_SOURCE_DIR}/tests/host/include)
    target_compile_definitions(ctl_tests_san${WIDTH} PRIVATE ${DEFINES})
    target_link_libraries(ctl_tests_san${WIDTH} PRIVATE companion_san${WIDTH} ctl_standin_san${WIDTH} gtest_san${WIDTH})

    foreach(SOURCE ${FUZZ_SOURCES})
        get_filename_component(FUZZER ${SOURCE} NAME_WE)
        add_executable(${FUZZER}${WIDTH} ${SOURCE})
        target_include_directories(${FUZZER}${WIDTH} PRIVATE ${HOST_INCLUDES})
        target_compile_definitions(${FUZZER}${WIDTH} PRIVATE ${DEFINES})
        target_compile_options(${FUZZER}${WIDTH} PRIVATE ${MACHINE} ${SANITIZERS} -fsanitize=fuzzer)
        target_link_options(${FUZZER}${WIDTH} PRIVATE ${MACHINE} ${SANITIZERS} -fsanitize=fuzzer)
        target_link_libraries(${FUZZER}${WIDTH} PRIVATE
            program_san${WIDTH} companion_san${WIDTH} fake_windows_san${WIDTH} ctl_standin_san${WIDTH})
    endforeach()
endforeach()
