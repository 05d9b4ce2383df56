# Fuzzing build: libFuzzer needs clang. Every library the fuzz targets link is
# compiled with coverage instrumentation for libFuzzer and with AddressSanitizer
# and UndefinedBehaviorSanitizer; only the fuzz programs get libFuzzer's main.
# Use a build directory of its own:
#
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTAVRON_FUZZ=ON \
#       -DTAVRON_BUILD_TESTS=OFF -DTAVRON_BUILD_EMULATORS=OFF
#   cmake --build build-fuzz --target fuzz-all
#
# tools/fuzz.sh does exactly that and runs every target for a bounded time.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TAVRON_FUZZ needs clang (libFuzzer): configure a fresh build directory "
                        "with CC=clang CXX=clang++")
endif()
if(TAVRON_SANITIZE)
    message(FATAL_ERROR "TAVRON_FUZZ already sanitizes everything; leave TAVRON_SANITIZE off")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
