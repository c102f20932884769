# Every flag that shapes the executable, written once, with its reason.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(GCC ${CMAKE_CXX_COMPILER_ID} STREQUAL GNU)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(NAME Vantoriel64)
else()
    set(NAME Vantoriel32)
endif()

if(NOT MSVC AND NOT ${GCC})
    add_link_options(-fuse-ld=lld)       # the LLVM build links with LLVM's linker
endif()

add_executable(${NAME} ${PROGRAM_SOURCES}
    ${CMAKE_CURRENT_SOURCE_DIR}/startup/entry.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/startup/compiler_support.cpp)
target_include_directories(${NAME} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
# -Werror or /WX; a compiler that warns where ours do not can be told
# `cmake --compile-no-warning-as-error`.
set_target_properties(${NAME} PROPERTIES COMPILE_WARNING_AS_ERROR ON)

if(MSVC)
    # cl.exe and link.exe, or clang-cl and lld-link in their place.
    if(NAME STREQUAL Vantoriel64)
        set(WIDTH_COMPILE_OPTIONS
            /DUNICODE /D_UNICODE)        # the 64-bit build is the wide-character one
        set(WIDTH_LINK_OPTIONS
            /DYNAMICBASE                 # a dynamic image base, with its relocations
            /HIGHENTROPYVA)              # and the whole 64-bit range for it
    else()
        set(WIDTH_COMPILE_OPTIONS
            /arch:SSE2)                  # cl.exe's default; clang-cl must be told
        set(WIDTH_LINK_OPTIONS
            /BASE:0x400000               # static targets at the same addresses every run
            /DYNAMICBASE:NO              # the base is fixed ...
            /FIXED)                      # ... so no relocation records
    endif()
    set(CODE_OPTIONS
        /O1                              # small code
        /W4
        /GR- /EHs-c-                     # no language runtime behind the code
        /GS-                             # no security cookie: it would need the runtime
        /Zl)                             # no default library named in the objects
    set(IMAGE_LINK_OPTIONS
        /NODEFAULTLIB                    # no C runtime, no start-up code
        /NXCOMPAT                        # data is not executable, as with the GNU linkers
        /OPT:REF /OPT:ICF                # drop what nothing refers to, fold duplicates
        /INCREMENTAL:NO /MANIFEST:NO     # no padding for relinks, no manifest file
        /Brepro)                         # the same sources give the same bytes
    target_compile_options(${NAME} PRIVATE ${WIDTH_COMPILE_OPTIONS} ${CODE_OPTIONS})
    target_link_options(${NAME} PRIVATE
        ${WIDTH_LINK_OPTIONS}
        ${IMAGE_LINK_OPTIONS}
        /ENTRY:EntryPoint                # the image's own entry point (link adds the i386 underscore)
        /SUBSYSTEM:WINDOWS               # a GUI program: no console window
        /LARGEADDRESSAWARE)              # mapped targets above 2 GiB
    set(CTL_LINK_OPTIONS /ENTRY:CtlEntry /SUBSYSTEM:CONSOLE /DYNAMICBASE /HIGHENTROPYVA)
    # CMake otherwise asks link.exe for a console program.
    set_target_properties(${NAME} PROPERTIES WIN32_EXECUTABLE ON)
    # The x64 image keeps its unwind tables (.pdata/.xdata): cl.exe has no
    # switch that leaves them out.
else()
    # GCC or Clang with MinGW-w64.
    if(NAME STREQUAL Vantoriel64)
        set(ENTRY EntryPoint)            # x64 symbols carry no leading underscore
        set(WIDTH_COMPILE_OPTIONS
            -DUNICODE -D_UNICODE         # the 64-bit build is the wide-character one
            -mcmodel=small)              # direct addressing, no auto-import pointer stubs
        set(WIDTH_LINK_OPTIONS
            -Wl,--dynamicbase            # a dynamic image base; the linker keeps .reloc for it
            -Wl,--high-entropy-va)       # and the whole 64-bit range for it
        if(NOT ${GCC})
            list(APPEND WIDTH_LINK_OPTIONS -Wl,--large-address-aware)
        endif()
        # GNU ld marks x64 images large-address-aware by default; the image test checks both.
    else()
        set(WIDTH_COMPILE_OPTIONS)
        set(WIDTH_LINK_OPTIONS
            -Wl,--image-base=0x400000    # static targets at the same addresses every run
            -Wl,--disable-dynamicbase    # the base is fixed ...
            -Wl,--large-address-aware)   # mapped targets at 2 GiB and above where allowed
        if(${GCC})
            set(ENTRY _EntryPoint)       # GNU ld wants the i386 symbol with its underscore
            list(APPEND WIDTH_LINK_OPTIONS -Wl,--disable-reloc-section) # ... so no relocation records
        else()
            set(ENTRY EntryPoint)        # lld adds the i386 underscore itself
            list(APPEND WIDTH_LINK_OPTIONS -Wl,-Xlink=/fixed) # ... so no relocation records
        endif()
    endif()

    if(${GCC})
        set(COMPILER_OPTIONS
            -fno-ident                                        # no compiler banner in .rdata
            -malign-data=abi                                  # no padding of tables to cache lines
            -fno-peel-loops --param=max-completely-peeled-insns=0) # two-round loops stay loops
    else()
        set(COMPILER_OPTIONS)
    endif()

    # One .text per source file: per-function sections would each be padded
    # to 16 bytes, and every function here is used; the linker still drops the
    # files' sections that nothing refers to.
    set(CODE_OPTIONS
        ${COMPILER_OPTIONS}
        -Os
        -Wall -Wextra
        -fno-exceptions -fno-rtti                         # no language runtime behind the code
        -fno-asynchronous-unwind-tables -fno-unwind-tables # no .pdata/.xdata to unwind nothing
        -fno-stack-protector)                             # it would need the runtime's guard
    set(IMAGE_LINK_OPTIONS
        -nostdlib -nostartfiles          # no C runtime, no start-up files
        -Wl,--gc-sections                # drop sections nothing refers to
        -Wl,--no-insert-timestamp        # the same sources give the same bytes
        -s)                              # no symbols in the shipped file
    target_compile_options(${NAME} PRIVATE ${WIDTH_COMPILE_OPTIONS} ${CODE_OPTIONS})
    target_link_options(${NAME} PRIVATE
        ${WIDTH_LINK_OPTIONS}
        ${IMAGE_LINK_OPTIONS}
        -Wl,--entry=${ENTRY}             # the image's own entry point
        -Wl,--subsystem,windows)         # a GUI program: no console window
    set(CTL_LINK_OPTIONS -Wl,--entry=CtlEntry -Wl,--subsystem,console -Wl,--dynamicbase -Wl,--high-entropy-va)
endif()

# The program's own objects in the order of its sources, whatever the
# generator: an object library's would go first under Ninja and last under
# Make, and the image would differ between them.
target_link_libraries(${NAME} PRIVATE kernel32 user32 gdi32)

# The remote calls, compiled once with the deliverable's flags for the
# companion and the end-to-end driver.
function(add_deliverable_objects TARGET)
    add_library(${TARGET} OBJECT ${ARGN})
    target_include_directories(${TARGET} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    set_target_properties(${TARGET} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
    target_compile_options(${TARGET} PRIVATE ${WIDTH_COMPILE_OPTIONS} ${CODE_OPTIONS})
endfunction()

# vantoriel-ctl, the console companion, ships with the 64-bit build and drives
# both. No C runtime either, so each compiler builds it as it builds the program.
if(NAME STREQUAL Vantoriel64)
    add_deliverable_objects(ctl_remote ${CMAKE_CURRENT_SOURCE_DIR}/ctl/remote.cpp)
    add_executable(vantoriel-ctl ${CTL_SOURCES}
        ${CMAKE_CURRENT_SOURCE_DIR}/ctl/main.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/ctl/console.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/ctl/verbs.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/ctl/checks.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/ctl/memory.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/ctl/plant.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/startup/compiler_support.cpp)
    target_include_directories(vantoriel-ctl PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    set_target_properties(vantoriel-ctl PROPERTIES COMPILE_WARNING_AS_ERROR ON)
    target_compile_options(vantoriel-ctl PRIVATE ${WIDTH_COMPILE_OPTIONS} ${CODE_OPTIONS})
    target_link_options(vantoriel-ctl PRIVATE ${IMAGE_LINK_OPTIONS} ${CTL_LINK_OPTIONS})
    target_link_libraries(vantoriel-ctl PRIVATE ctl_remote kernel32 user32)
endif()

# The end-to-end driver is test code (it may use the C runtime); the 64-bit
# GCC one drives every deliverable from outside, in the Linux test build,
# through the very remote calls the companion ships.
if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 8 AND ${GCC})
    add_executable(e2e_driver ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/driver.cpp)
    target_link_libraries(e2e_driver PRIVATE ctl_remote)
    target_include_directories(e2e_driver PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_options(e2e_driver PRIVATE -DUNICODE -D_UNICODE -O1 -Wall -Wextra)
    target_link_options(e2e_driver PRIVATE -municode -static)
    target_link_libraries(e2e_driver PRIVATE user32 gdi32 psapi)
endif()

# The benchmarks measure the GNU-style builds.
if(MSVC)
    return()
endif()

math(EXPR BITS "${CMAKE_SIZEOF_VOID_P} * 8")
# Benchmark programs (not shipped): the baseline with the deliverable's own
# flags, the program linked with the C runtime, and the 64-bit bench driver.
add_executable(baseline${BITS} EXCLUDE_FROM_ALL ${CMAKE_CURRENT_SOURCE_DIR}/bench/baseline.cpp)
get_target_property(DELIVERABLE_COMPILE_OPTIONS ${NAME} COMPILE_OPTIONS)
get_target_property(DELIVERABLE_LINK_OPTIONS ${NAME} LINK_OPTIONS)
target_compile_options(baseline${BITS} PRIVATE ${DELIVERABLE_COMPILE_OPTIONS})
target_link_options(baseline${BITS} PRIVATE ${DELIVERABLE_LINK_OPTIONS})
target_link_libraries(baseline${BITS} PRIVATE kernel32 user32 gdi32)

add_executable(${NAME}-crt EXCLUDE_FROM_ALL ${PROGRAM_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/bench/crt_main.cpp)
target_include_directories(${NAME}-crt PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(${NAME}-crt PRIVATE ${WIDTH_COMPILE_OPTIONS} -Os)
target_link_options(${NAME}-crt PRIVATE -mwindows -s)

if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND ${GCC})
    # What vantoriel-ctl table is measured against, with the companion's flags.
    add_executable(read-report EXCLUDE_FROM_ALL ${CMAKE_CURRENT_SOURCE_DIR}/bench/read_report.cpp)
    get_target_property(CTL_COMPILE_OPTIONS vantoriel-ctl COMPILE_OPTIONS)
    target_compile_options(read-report PRIVATE ${CTL_COMPILE_OPTIONS})
    target_link_options(read-report PRIVATE ${IMAGE_LINK_OPTIONS} -Wl,--entry=ReadReportEntry -Wl,--subsystem,console)
    target_link_libraries(read-report PRIVATE kernel32 user32)
    add_executable(bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_SOURCE_DIR}/bench/bench.cpp)
    target_compile_options(bench PRIVATE -DUNICODE -D_UNICODE -O2)
    target_link_options(bench PRIVATE -municode -static)
endif()
add_custom_target(benchmarks DEPENDS baseline${BITS} ${NAME}-crt $<$<TARGET_EXISTS:bench>:bench> $<$<TARGET_EXISTS:read-report>:read-report>)
