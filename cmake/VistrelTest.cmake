# vistrel_add_test(NAME <exe> SOURCES <files...> [LIBS <libs...>]
#                  [QT core|gui|widgets] [LABELS unit|integration|gui...] [TIMEOUT <s>])
#
# Builds one test executable on GoogleTest with the shared test support and registers each of its
# test cases with CTest, labelled. QT chooses the application object the test main creates:
# core (QCoreApplication, the default), gui (QGuiApplication) or widgets (QApplication); gui and
# widgets run on the offscreen platform unless QT_QPA_PLATFORM is set.
include(GoogleTest)

function(vistrel_add_test)
  cmake_parse_arguments(T "" "NAME;QT;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_QT)
    set(T_QT core)
  endif()
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE vistrel_testmain_${T_QT} ${T_LIBS})
  # NO_PRETTY_VALUES: a parameterised case is named by its suite's name generator alone, not
  # followed by "# GetParam() = <the parameter's bytes>", which holds pointers and so would
  # change from build to build.
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VISTREL_TEST_BINARY_DIR=${CMAKE_BINARY_DIR};VISTREL_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
