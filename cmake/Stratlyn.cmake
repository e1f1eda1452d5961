# Helpers shared by every folder's CMakeLists.txt.

# Warnings are errors in the project's own builds (the Makefile configures
# with STRATLYN_WERROR=ON); a distribution building with its own flags and a
# newer compiler gets them as warnings.
function(stratlyn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(STRATLYN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      # GCC 12 reports overlapping copies inside libstdc++'s own std::string
      # code at -O3 that cannot happen (GCC bug 105329): a warning, not an error.
      target_compile_options(${target} PRIVATE -Wno-error=restrict)
    endif()
  endif()
endfunction()

# stratlyn_record_target(TARGET): lists the target, its sources and what it
# links in BUILD/folder_links.txt, which scripts/check-includes compares with
# the folders its files include.
function(stratlyn_record_target target)
  set_property(GLOBAL APPEND PROPERTY STRATLYN_RECORDED_TARGETS ${target})
endfunction()

# Writes BUILD/folder_links.txt (call once, after every target is defined).
function(stratlyn_write_link_manifest)
  get_property(targets GLOBAL PROPERTY STRATLYN_RECORDED_TARGETS)
  set(content "")
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    set(p "$<TARGET_PROPERTY:${t},INTERFACE_LINK_LIBRARIES>")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      set(p "${p};$<TARGET_PROPERTY:${t},LINK_LIBRARIES>")
      string(APPEND content "sources ${t} $<JOIN:$<TARGET_PROPERTY:${t},SOURCES>,|>\n")
    endif()
    string(APPEND content "target ${t} $<TARGET_PROPERTY:${t},SOURCE_DIR>\n")
    string(APPEND content "links ${t} $<JOIN:${p},|>\n")
  endforeach()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/folder_links.txt CONTENT "${content}")
endfunction()

# stratlyn_module(NAME SOURCES ... [DEPS ...])
# One Qt-free static library per source folder, named stratlyn_NAME. All of
# them together form the core (the interface target stratlyn_core).
function(stratlyn_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPS" ${ARGN})
  add_library(stratlyn_${name} STATIC ${M_SOURCES})
  target_include_directories(stratlyn_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(stratlyn_${name} PUBLIC ${M_DEPS})
  stratlyn_warnings(stratlyn_${name})
  set_property(GLOBAL APPEND PROPERTY STRATLYN_CORE_MODULES stratlyn_${name})
  stratlyn_record_target(stratlyn_${name})
endfunction()

# stratlyn_gui_module(NAME SOURCES ... [DEPS ...]): the Qt widgets of a folder,
# as stratlyn_NAME_gui.
function(stratlyn_gui_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPS" ${ARGN})
  add_library(stratlyn_${name}_gui STATIC ${M_SOURCES})
  target_include_directories(stratlyn_${name}_gui PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(stratlyn_${name}_gui PUBLIC ${M_DEPS} Qt6::Widgets)
  set_target_properties(stratlyn_${name}_gui PROPERTIES AUTOMOC ON)
  stratlyn_warnings(stratlyn_${name}_gui)
  stratlyn_record_target(stratlyn_${name}_gui)
endfunction()

# stratlyn_test(NAME SOURCES ... LIBS ... [GUI] [LABELS ...])
# A GoogleTest executable under build/tests. Core tests carry the label
# "core" (they also run under the sanitizers); GUI tests run offscreen.
function(stratlyn_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} stratlyn_test_support GTest::gtest GTest::gmock)
  if(T_GUI)
    # GUI tests bring their own main (tests/support/gui_test_main.cpp) that
    # creates the QApplication.
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/gui_test_main.cpp)
    target_link_libraries(${name} PRIVATE Qt6::Widgets Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  stratlyn_warnings(${name})
  stratlyn_record_target(${name})
  # One label and one environment entry each: gtest_discover_tests passes its
  # PROPERTIES on flattened, so a list value would shift the pairs. GUI tests
  # set their Qt environment in gui_test_main.cpp.
  if(T_LABELS)
    set(label ${T_LABELS})
  elseif(T_GUI)
    set(label gui)
  else()
    set(label core)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES LABELS ${label}
               ENVIRONMENT "STRATLYN_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()

# stratlyn_folder(NAME [DEPS ...] [GUI_DEPS ...])
# Builds a source folder from the files in it: every .cpp whose name starts
# with "qt_" or ends in "_widget.cpp" goes into stratlyn_NAME_gui (Qt), every
# other .cpp into the Qt-free stratlyn_NAME. New files are picked up at the
# next build.
function(stratlyn_folder name)
  cmake_parse_arguments(F "" "" "DEPS;GUI_DEPS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(core "")
  set(gui "")
  foreach(src ${all})
    get_filename_component(base ${src} NAME)
    if(base MATCHES "^qt_" OR base MATCHES "_widget\\.cpp$")
      list(APPEND gui ${src})
    else()
      list(APPEND core ${src})
    endif()
  endforeach()
  if(core)
    stratlyn_module(${name} SOURCES ${core} DEPS ${F_DEPS})
  else()
    add_library(stratlyn_${name} INTERFACE)
    target_include_directories(stratlyn_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(stratlyn_${name} INTERFACE ${F_DEPS})
    stratlyn_record_target(stratlyn_${name})
  endif()
  if(STRATLYN_GUI AND gui)
    stratlyn_gui_module(${name} SOURCES ${gui} DEPS stratlyn_${name} ${F_GUI_DEPS})
  endif()
endfunction()

# stratlyn_folder_tests(NAME [LIBS ...] [GUI_LIBS ...])
# tests/NAME: every *_gui_test.cpp forms NAME_gui_tests (offscreen Qt), every
# other *_test.cpp NAME_tests.
function(stratlyn_folder_tests name)
  cmake_parse_arguments(F "" "" "LIBS;GUI_LIBS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  set(core "")
  set(gui "")
  foreach(src ${all})
    if(src MATCHES "_gui_test\\.cpp$")
      list(APPEND gui ${src})
    else()
      list(APPEND core ${src})
    endif()
  endforeach()
  if(core)
    stratlyn_test(${name}_tests SOURCES ${core} LIBS ${F_LIBS})
  endif()
  if(STRATLYN_GUI AND gui)
    stratlyn_test(${name}_gui_tests GUI SOURCES ${gui} LIBS ${F_LIBS} ${F_GUI_LIBS})
  endif()
endfunction()
