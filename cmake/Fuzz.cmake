# The fuzzing build (KOVA_FUZZ=ON, preset "fuzz"): clang with libFuzzer and the
# address and undefined-behaviour sanitizers on every library, so a parser's
# fault anywhere below a fuzz target is found. The ordinary build stays GCC.

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KOVA_FUZZ needs clang (cmake --preset fuzz)")
endif()

# Coverage for libFuzzer on every object; no recovery, so undefined behaviour
# ends the run like a crash does.
add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)

# Every fuzz target, built by `cmake --build <dir> --target kova_fuzzers`.
add_custom_target(kova_fuzzers)
set(KOVA_FUZZ_MANIFEST ${CMAKE_BINARY_DIR}/fuzz/targets.txt)
file(WRITE ${KOVA_FUZZ_MANIFEST} "")

# kova_add_fuzzer(<name> SOURCES ... [LIBS ...] [ARGS ...]): the fuzz target
# <name> (libFuzzer's main), its seed corpus in fuzz/corpus/<name>, and the
# extra libFuzzer arguments scripts/fuzz runs it with (e.g. -max_len).
function(kova_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS} kova_fuzz_support)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz/bin)
  add_dependencies(kova_fuzzers ${name})
  string(REPLACE ";" " " args "${F_ARGS}")
  file(APPEND ${KOVA_FUZZ_MANIFEST} "${name} ${args}\n")
endfunction()
