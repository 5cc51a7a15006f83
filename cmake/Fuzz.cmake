# libFuzzer targets live in tests/fuzz/<name>.cpp with their seed corpus in
# tests/fuzz/corpus/<name>/. They are compiled by clang in a sub-build of this
# same source tree (PX_FUZZ_BUILD=ON) because the main build uses g++; the test
# build then runs every target once over its seed corpus.
#
# px_fuzz_target(<name> DEPS <targets...>) is called from tests/fuzz.
function(px_fuzz_target name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  if(PX_FUZZ_BUILD)
    add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
    target_link_libraries(${name} PRIVATE ${A_DEPS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(px_fuzz_all ${name})
  else()
    set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
    add_test(NAME fuzz_${name}
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
              ${PX_FUZZ_BINARY_DIR}/tests/fuzz/${name} -runs=0 ${corpus})
    px_leak_suppressions(fuzz_${name})
  endif()
endfunction()
