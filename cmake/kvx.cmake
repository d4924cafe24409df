# Small helpers so that every source folder and test folder is declared the same way.

# kvx_library(<target> [QT] [SUBDIRS <dirs...>] DEPS <libs...>)
# One library per source folder; its sources are every .cpp/.h file of the folder and of the
# named subfolders.
function(kvx_library target)
  cmake_parse_arguments(ARG "QT" "" "DEPS;SUBDIRS" ${ARGN})
  set(_globs ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
      ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  foreach(_sub ${ARG_SUBDIRS})
    list(APPEND _globs ${CMAKE_CURRENT_SOURCE_DIR}/${_sub}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${_sub}/*.h)
  endforeach()
  file(GLOB _src CONFIGURE_DEPENDS ${_globs})
  list(FILTER _src EXCLUDE REGEX ".*/main\\.cpp$")
  if(NOT _src)
    # A folder whose code has not been written yet still gives a target others can name.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${target} STATIC ${_src})
  if(ARG_QT)
    set_target_properties(${target} PROPERTIES AUTOMOC ON AUTORCC ON AUTOUIC OFF)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
endfunction()

# kvx_test(<name> FOLDER <dir> DEPS <libs...> [GUI])
# One test program per test folder, every .cpp file in it; each GoogleTest case is a CTest test,
# labelled with the program's name (ctest -L picks the tests of one program).
function(kvx_test name)
  cmake_parse_arguments(ARG "GUI" "FOLDER" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${ARG_FOLDER}/*.cpp ${ARG_FOLDER}/*.h)
  if(NOT _src)
    return()
  endif()
  if(ARG_GUI)
    # Widgets need a QApplication: the GUI test programs share one main that creates it.
    add_executable(${name} ${_src} ${PROJECT_SOURCE_DIR}/tests/gui_main.cpp)
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest)
  else()
    add_executable(${name} ${_src})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  set(_env "")
  if(ARG_GUI)
    set(_env "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 LABELS ${name} ENVIRONMENT "${_env}"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
