# Shared build settings and the small helpers every folder uses.

add_library(corvella_warnings INTERFACE)
if(MSVC)
  target_compile_options(corvella_warnings INTERFACE /W4 $<$<BOOL:${CORVELLA_WERROR}>:/WX>)
else()
  target_compile_options(corvella_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference -Wimplicit-fallthrough
    $<$<BOOL:${CORVELLA_WERROR}>:-Werror>)
endif()

# JSON (nlohmann-json, header-only) for whatever writes or reads it. A cross build takes the host's
# header, seen through a folder that holds nothing else, so no other host header can stand in for
# the target's.
add_library(corvella_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  find_path(CORVELLA_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
            REQUIRED)
  set(_json_include ${PROJECT_BINARY_DIR}/json-include)
  file(MAKE_DIRECTORY ${_json_include})
  file(CREATE_LINK ${CORVELLA_NLOHMANN_DIR}/nlohmann ${_json_include}/nlohmann SYMBOLIC)
  target_include_directories(corvella_json SYSTEM INTERFACE ${_json_include})
else()
  find_package(nlohmann_json 3 REQUIRED)
  target_link_libraries(corvella_json INTERFACE nlohmann_json::nlohmann_json)
endif()

# CLI11 (header-only) reads corvella-cli's command line; found the same way as JSON above.
# corvella_cli11(): the corvella_cli11 target, made by whatever builds the command-line tool.
function(corvella_cli11)
  add_library(corvella_cli11 INTERFACE)
  if(CMAKE_CROSSCOMPILING)
    find_path(CORVELLA_CLI11_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
    if(NOT CORVELLA_CLI11_DIR)
      message(FATAL_ERROR "CLI11 (CLI/CLI.hpp) is missing: install libcli11-dev (scripts/bootstrap)")
    endif()
    set(_cli11_include ${PROJECT_BINARY_DIR}/cli11-include)
    file(MAKE_DIRECTORY ${_cli11_include})
    file(CREATE_LINK ${CORVELLA_CLI11_DIR}/CLI ${_cli11_include}/CLI SYMBOLIC)
    target_include_directories(corvella_cli11 SYSTEM INTERFACE ${_cli11_include})
  else()
    find_package(CLI11 2 CONFIG QUIET)
    if(NOT CLI11_FOUND)
      message(FATAL_ERROR "CLI11 is missing: install libcli11-dev (scripts/bootstrap)")
    endif()
    target_link_libraries(corvella_cli11 INTERFACE CLI11::CLI11)
  endif()
endfunction()

if(CORVELLA_SANITIZE)
  string(REPLACE ";" "," _san "${CORVELLA_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_san})
endif()

# corvella_glob_sources(<out-var> <dir>): the folder's .cpp files, with the platform backends
# (*_posix.cpp, *_win32.cpp) picked for the target system.
function(corvella_glob_sources out dir)
  file(GLOB _srcs CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(WIN32)
    list(FILTER _srcs EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER _srcs EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${out} ${_srcs} PARENT_SCOPE)
endfunction()

# corvella_add_library(<name> DIR <dir> [DEPS ...]): a static library of every .cpp in DIR,
# its headers reachable as "<folder>/<file>.h" from the project root.
function(corvella_add_library name)
  cmake_parse_arguments(ARG "" "DIR" "DEPS" ${ARGN})
  corvella_glob_sources(_srcs "${ARG_DIR}")
  if(NOT _srcs)  # a folder that holds headers only so far
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    add_library(corvella::${name} ALIAS ${name})
    return()
  endif()
  add_library(${name} STATIC ${_srcs})
  add_library(corvella::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/generated")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE corvella_warnings)
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

# corvella_assert_no_qt(<target>): the core must never see Qt, not even transitively.
function(corvella_assert_no_qt target)
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(_libs ${target} INTERFACE_LINK_LIBRARIES)
  else()
    get_target_property(_libs ${target} LINK_LIBRARIES)
  endif()
  foreach(_lib IN LISTS _libs)
    if(_lib MATCHES "^Qt")
      message(FATAL_ERROR "${target} is part of the Qt-free core but links ${_lib}")
    endif()
  endforeach()
endfunction()

# corvella_add_test(<name> SOURCES ... [LIBS ...] [QT [X11]] [LABELS ...] [TIMEOUT s]):
# one test executable per area. GoogleTest executables are registered case by case;
# Qt Test executables (QT) run as one test on the offscreen platform, or with X11 on a real X
# server with a window manager (tests/support/x11_session.sh; skipped where no server starts).
function(corvella_add_test name)
  cmake_parse_arguments(ARG "QT;X11" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(ARG_QT AND NOT CORVELLA_BUILD_GUI)  # core-only builds (sanitizer variants) skip Qt tests
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} corvella_warnings)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}/tests")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if(ARG_QT AND ARG_X11)
    target_link_libraries(${name} PRIVATE Qt6::Test)
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/tests/support/x11_session.sh $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=xcb;QT_QPA_FONTDIR=/usr/share/fonts/truetype/dejavu"
      SKIP_RETURN_CODE 77 TIMEOUT ${ARG_TIMEOUT} LABELS "gui;x11;${ARG_LABELS}")
  elseif(ARG_QT)
    target_link_libraries(${name} PRIVATE Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=/usr/share/fonts/truetype/dejavu"
      TIMEOUT ${ARG_TIMEOUT} LABELS "gui;${ARG_LABELS}")
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
      PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
  endif()
endfunction()
