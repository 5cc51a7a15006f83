# Helpers shared by every folder. A library folder holds one target made of all
# its .cpp files; a test folder holds one test program made of all its .cpp files.

# px_library(<target> [QT] DEPS <targets...>)
#   Builds a static library from the *.cpp files of the calling folder.
#   QT marks a library that may link Qt (only the GUI layer and what stands on it).
function(px_library target)
  cmake_parse_arguments(A "QT" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${target} STATIC ${srcs})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${A_DEPS})
  if(A_QT)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

# px_test(<name> [GUI] [X11] DEPS <targets...>)
#   Builds the test program <name> from the *.cpp files of the calling folder and
#   registers it with CTest. GUI programs get a QApplication (offscreen in tests);
#   X11 programs run on an X server of their own (px_with_xserver, see
#   tests/support/XServer.h) on the xcb platform, where the clipboard, the
#   selection and the input focus are shared with other X clients.
#   Every program gets the suite's LeakSanitizer suppressions from CTest
#   itself, so that it passes run alone as it does inside scripts/test.
function(px_test name)
  cmake_parse_arguments(A "GUI;X11" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${srcs})
  if(A_GUI)
    target_link_libraries(${name} PRIVATE px_test_main_gui)
  else()
    target_link_libraries(${name} PRIVATE px_test_main)
  endif()
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  set(env "PX_FIXTURES=${PROJECT_SOURCE_DIR}/tests/fixtures;PX_BUILD_DIR=${PROJECT_BINARY_DIR};FONTCONFIG_FILE=${PROJECT_SOURCE_DIR}/tests/fonts.conf")
  if(A_X11)
    add_test(NAME ${name} COMMAND px_with_xserver $<TARGET_FILE:${name}>)
    # The X keyboard library reads past a string's end inside strndup, which
    # ASan's strict string checks report.
    list(APPEND env "QT_QPA_PLATFORM=xcb" "ASAN_OPTIONS=detect_leaks=1:strict_string_checks=0")
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
  px_leak_suppressions(${name})
endfunction()

# px_leak_suppressions(<test>)
#   Gives the test the suite's LeakSanitizer suppressions (tests/lsan.supp:
#   what system libraries keep for the process's lifetime). They go in front
#   of LSAN_OPTIONS from the environment, so that options given there (a
#   verbosity, say) still apply.
function(px_leak_suppressions test)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT_MODIFICATION
    "LSAN_OPTIONS=string_prepend:suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0:")
endfunction()
