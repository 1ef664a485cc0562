# Build helpers shared by every folder.

# Adds each direct subfolder that has a CMakeLists.txt, in name order, so areas
# can be added without editing their parent.
function(kova_add_subdirectories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# kova_add_layer(<target> <folder> [LINKS ...]): one static library of every
# source under <folder> (new sources are found without a list), whose only
# include root is <folder>: a header of a layer it does not link is not found.
function(kova_add_layer name folder)
  cmake_parse_arguments(L "" "" "LINKS" ${ARGN})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${folder})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.ui ${dir}/*.qrc)
  add_library(${name} STATIC ${sources})
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
  target_include_directories(${name} PUBLIC ${dir})
  target_link_libraries(${name} PUBLIC ${L_LINKS})
endfunction()

include(GoogleTest)

# kova_add_test(<name> SOURCES ... [LIBS ...] [GUI] [PLAIN] [XSERVER])
#   GUI:     the test main creates a QApplication (offscreen platform).
#   PLAIN:   no Qt at all (gtest's own main); for the engine.
#   XSERVER: the tests start their own Xvfb; no two such tests run at once
#            (a server starting beside another has been seen to leave the
#            other unreachable).
#   default: the test main creates a QCoreApplication.
function(kova_add_test name)
  cmake_parse_arguments(T "GUI;PLAIN;XSERVER" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_PLAIN)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  elseif(T_GUI)
    target_link_libraries(${name} PRIVATE ${T_LIBS} kova_test_support kova_test_main_gui)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} kova_test_support kova_test_main_core)
  endif()
  set(lock "")
  if(T_XSERVER)
    set(lock RESOURCE_LOCK xserver)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    # One value per property: a ";" list would be split into separate properties.
    # A test that forgets its own root must never reach the real instrument paths.
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               ENVIRONMENT_MODIFICATION "KOVA3_ROOT=set:/nonexistent-test-root"
               TIMEOUT 300
               ${lock}
    DISCOVERY_TIMEOUT 60)
  # The whole program in one process as well: a test can pass alone and fail
  # after others ran in the same process (thread pools, the application
  # object, a fork of a process that already runs threads).
  add_test(NAME ${name}.whole COMMAND ${name})
  set_tests_properties(${name}.whole PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    ENVIRONMENT_MODIFICATION "KOVA3_ROOT=set:/nonexistent-test-root"
    TIMEOUT 900
    LABELS whole
    ${lock})
endfunction()
