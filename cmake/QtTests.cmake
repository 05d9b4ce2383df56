# add_qt_test(<name> SOURCES <files...> LIBS <targets...> [SERIAL] [TIMEOUT <s>])
#
# Builds one QtTest executable and registers it with ctest. Every test runs
# offscreen, so no display is needed; SERIAL marks tests that use a fixed port.
function(add_qt_test name)
    cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    target_compile_definitions(${name} PRIVATE TAVRON_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime;ASAN_OPTIONS=detect_leaks=0;${T_ENVIRONMENT}")
    if(T_SERIAL)
        set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/xdg-runtime)
file(CHMOD ${CMAKE_BINARY_DIR}/xdg-runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
