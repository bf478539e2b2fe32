# Helpers that turn the folder layout into targets: one static library per source folder,
# one test executable per library, one CTest entry per test class. An entry in which a test was
# skipped exits with 77 and shows as skipped (tests/support/SkipReport.h).

set(QV_WARNINGS -Wall -Wextra)
if(QV_WARNINGS_AS_ERRORS)
    list(APPEND QV_WARNINGS -Werror)
endif()
list(APPEND QV_WARNINGS -Wno-missing-field-initializers)

function(qv_apply_common target)
    target_compile_options(${target} PRIVATE ${QV_WARNINGS})
    target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
    if(QV_SANITIZE STREQUAL "address")
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    elseif(QV_SANITIZE STREQUAL "thread")
        target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=thread)
    endif()
endfunction()

# qv_precompile_headers(target [OWN] header...)
# Targets that precompile the same headers share one precompiled header: the first builds it, the
# later ones reuse it. Their compile flags may differ only in definitions those headers do not read
# (-Winvalid-pch says so otherwise): OWN gives a target a header of its own that no other reuses.
function(qv_precompile_headers target)
    set(headers ${ARGN})
    set(own FALSE)
    if(headers MATCHES "^OWN;")
        list(POP_FRONT headers)
        set(own TRUE)
    endif()
    string(MD5 key "${headers}")
    get_property(owner GLOBAL PROPERTY QV_PCH_OWNER_${key})
    if(own)
        target_precompile_headers(${target} PRIVATE ${headers})
    elseif(owner)
        target_precompile_headers(${target} REUSE_FROM ${owner})
    else()
        target_precompile_headers(${target} PRIVATE ${headers})
        set_property(GLOBAL PROPERTY QV_PCH_OWNER_${key} ${target})
    endif()
endfunction()

# qv_add_library(NAME DIRS dir... [QT] [PCH header...] DEPS target...)
# Sources are every .cpp/.h/.ui/.qrc directly in the listed folders (not below them).
function(qv_add_library name)
    cmake_parse_arguments(ARG "QT" "" "DIRS;DEPS;PCH" ${ARGN})
    set(srcs)
    foreach(dir ${ARG_DIRS})
        file(GLOB found CONFIGURE_DEPENDS
            ${dir}/*.cpp ${dir}/*.c ${dir}/*.h ${dir}/*.ui ${dir}/*.qrc)
        list(APPEND srcs ${found})
    endforeach()
    set(has_cpp FALSE)
    foreach(s ${srcs})
        if(s MATCHES "\\.(cpp|c)$")
            set(has_cpp TRUE)
        endif()
    endforeach()
    if(NOT has_cpp)
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
        target_link_libraries(${name} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    if(ARG_QT)
        set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
        # A header added to an existing build must re-run moc: tie the generator to the file list.
        set_property(TARGET ${name} APPEND PROPERTY AUTOGEN_TARGET_DEPENDS ${srcs})
    endif()
    if(ARG_PCH)
        qv_precompile_headers(${name} ${ARG_PCH})
    endif()
    qv_apply_common(${name})
endfunction()

# qv_add_tests(LIB lib [DIR dir] [PREFIX name] [EXCLUDE subdir...] MAIN plain|core|gui [OWN_PCH] LIBS target...)
# Builds tests/<dir>/*.cpp (dir defaults to lib; sub-folders included, but not the EXCLUDE ones)
# into test_<lib> and registers each test class (the first argument of TEST, TEST_F, TEST_P,
# TYPED_TEST) as a CTest entry "<prefix>.<Class>" (prefix defaults to lib). Test programs of one MAIN
# share their precompiled header, except those marked OWN_PCH (the Qt modules they link differ from
# the others', and <QTest> reads which are linked).
# A source file may carry, anywhere in it:
#   // qv-test-labels: interop slow      (default: unit)
#   // qv-test-timeout: 600              (seconds; default 120)
#   // qv-test-run: xvfb                 (run the entry under xvfb-run -a)
#   // qv-test-run: serial               (never beside other tests: timing-sensitive entries)
# Label `hugefile` marks the entries that push more than 4 GiB through the code: the sanitizer
# presets leave them out (under the checkers the three alone take ten minutes and more of a
# two-core machine, and the default build runs them).
# The sanitizers slow every entry down (the thread checker five to fifteen times, more on a loaded
# machine), so their time-outs are multiplied: the per-file value stays the one of the plain build.
if(QV_SANITIZE STREQUAL "thread")
    set(QV_TEST_TIMEOUT_FACTOR 6)
elseif(QV_SANITIZE STREQUAL "address")
    set(QV_TEST_TIMEOUT_FACTOR 3)
else()
    set(QV_TEST_TIMEOUT_FACTOR 1)
endif()
function(qv_add_tests)
    cmake_parse_arguments(ARG "OWN_PCH" "LIB;DIR;PREFIX;MAIN" "LIBS;EXCLUDE" ${ARGN})
    if(NOT ARG_DIR)
        set(ARG_DIR ${ARG_LIB})
    endif()
    if(NOT ARG_PREFIX)
        set(ARG_PREFIX ${ARG_LIB})
    endif()
    set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR})
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h ${dir}/*.ui)
    # Programs that tests start as child processes live in probe/ folders and are built on their own.
    list(FILTER srcs EXCLUDE REGEX "/probe/")
    foreach(sub ${ARG_EXCLUDE})
        list(FILTER srcs EXCLUDE REGEX "^${dir}/${sub}/")
    endforeach()
    set(has_cpp FALSE)
    foreach(s ${srcs})
        if(s MATCHES "\\.cpp$")
            set(has_cpp TRUE)
        endif()
    endforeach()
    if(NOT has_cpp)
        return()
    endif()
    set(exe test_${ARG_LIB})
    add_executable(${exe} ${srcs})
    set_target_properties(${exe} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
    set_property(TARGET ${exe} APPEND PROPERTY AUTOGEN_TARGET_DEPENDS ${srcs})
    target_link_libraries(${exe} PRIVATE ${ARG_LIBS} qv_testsupport_${ARG_MAIN} GTest::gtest GTest::gmock)
    target_include_directories(${exe} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${dir})
    # Most of a test file's compile time goes to the headers of GoogleTest and Qt: they are
    # precompiled.
    set(pch <gtest/gtest.h> <string> <vector> <QString> <QObject> <QByteArray>)
    if(ARG_MAIN STREQUAL "gui")
        list(APPEND pch <QWidget> <QApplication> <QTest>)
    elseif(ARG_MAIN STREQUAL "plain")
        set(pch <gtest/gtest.h> <string> <vector>)
    endif()
    if(ARG_OWN_PCH)
        list(PREPEND pch OWN)
    endif()
    qv_precompile_headers(${exe} ${pch})
    qv_apply_common(${exe})
    target_compile_options(${exe} PRIVATE ${QV_TEST_COMPILE_OPTIONS})
    set(env
        "QV_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}/data"
        "QV_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
        "QV_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
        "QT_QPA_PLATFORM=offscreen"
        # die_after_fork=0: QProcess starts its children with a vfork-like clone() that the thread
        # checker does not see as a fork, so it takes the parent's next thread for one started in a
        # forked child and ends the test. Our own children exec at once (posix_spawn or fork+exec).
        "TSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/support/tsan.supp second_deadlock_stack=1 die_after_fork=0"
        # Leaks fail the test; what the libraries below us keep for the life of the process is
        # listed, with the reason, in support/lsan.supp.
        "ASAN_OPTIONS=detect_leaks=1"
        "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/support/lsan.supp print_suppressions=0"
        "UBSAN_OPTIONS=halt_on_error=1 print_stacktrace=1")
    set(registered)
    foreach(src ${srcs})
        if(NOT src MATCHES "\\.cpp$")
            continue()
        endif()
        file(STRINGS ${src} decls REGEX "^[ \t]*(TEST|TEST_F|TEST_P|TYPED_TEST|TYPED_TEST_P)[ \t]*\\([ \t]*[A-Za-z_0-9]+")
        set(labels unit)
        set(timeout 120)
        set(run "")
        set(serial FALSE)
        file(STRINGS ${src} meta REGEX "qv-test-(labels|timeout|run):")
        foreach(m ${meta})
            if(m MATCHES "qv-test-labels:[ \t]*(.*)$")
                string(REGEX REPLACE "[ \t]+" ";" labels "${CMAKE_MATCH_1}")
            elseif(m MATCHES "qv-test-timeout:[ \t]*([0-9]+)")
                set(timeout ${CMAKE_MATCH_1})
            elseif(m MATCHES "qv-test-run:[ \t]*xvfb")
                set(run xvfb)
            elseif(m MATCHES "qv-test-run:[ \t]*serial")
                set(serial TRUE)
            endif()
        endforeach()
        math(EXPR timeout "${timeout} * ${QV_TEST_TIMEOUT_FACTOR}")
        set(suites)
        foreach(d ${decls})
            if(d MATCHES "^[ \t]*[A-Z_]+[ \t]*\\([ \t]*([A-Za-z_0-9]+)")
                list(APPEND suites ${CMAKE_MATCH_1})
            endif()
        endforeach()
        list(REMOVE_DUPLICATES suites)
        # A class split over several files is one entry (its filter runs every part).
        if(registered AND suites)
            list(REMOVE_ITEM suites ${registered})
        endif()
        list(APPEND registered ${suites})
        foreach(suite ${suites})
            set(filter "${suite}.*:*/${suite}.*:${suite}/*")
            if(run STREQUAL "xvfb")
                add_test(NAME ${ARG_PREFIX}.${suite}
                    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:${exe}> --gtest_filter=${filter})
            else()
                add_test(NAME ${ARG_PREFIX}.${suite} COMMAND ${exe} --gtest_filter=${filter})
            endif()
            set(test_env ${env})
            if(run STREQUAL "xvfb")
                list(TRANSFORM test_env REPLACE "^QT_QPA_PLATFORM=.*" "QT_QPA_PLATFORM=xcb")
            endif()
            set_tests_properties(${ARG_PREFIX}.${suite} PROPERTIES
                LABELS "${labels}" TIMEOUT ${timeout} ENVIRONMENT "${test_env}" RUN_SERIAL ${serial}
                SKIP_RETURN_CODE 77)
        endforeach()
    endforeach()
endfunction()
