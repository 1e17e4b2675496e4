# Shared build rules. Every subsystem is one library whose sources are the
# .cpp files of its folder tree, so adding a class never means editing a list.

# Warnings are errors only where we choose the compiler and its flags
# (test.sh, CI, the sanitizer builds): a packager's newer compiler or own
# flags may find a new warning, and that must not stop their build.
set(TAVDJ_WARNINGS -Wall -Wextra -Wshadow)
if(TAVDJ_WERROR)
  list(APPEND TAVDJ_WARNINGS -Werror)
endif()

if(TAVDJ_SANITIZE AND TAVDJ_TSAN)
  message(FATAL_ERROR "ThreadSanitizer cannot share a build with AddressSanitizer")
endif()
if(TAVDJ_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(TAVDJ_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  if(TAVDJ_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # Coverage feedback for the fuzzers reaches into every library they call.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

# tavdj_library(<name> DIRS <dir>... [LINK <lib>...] [PUBLIC_LINK <lib>...]
#               [EXCLUDE <regex>...])
function(tavdj_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;LINK;PUBLIC_LINK;EXCLUDE" ${ARGN})
  set(sources "")
  foreach(dir IN LISTS ARG_DIRS)
    get_filename_component(base "${CMAKE_CURRENT_SOURCE_DIR}/${dir}" ABSOLUTE)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS "${base}/*.cpp")
    list(APPEND sources ${found})
  endforeach()
  # EXCLUDE patterns match paths relative to the library's folder, so a
  # checkout's own location never decides what is built.
  foreach(pattern IN LISTS ARG_EXCLUDE)
    set(kept "")
    foreach(source IN LISTS sources)
      file(RELATIVE_PATH relative "${CMAKE_CURRENT_SOURCE_DIR}" "${source}")
      if(NOT relative MATCHES "${pattern}")
        list(APPEND kept "${source}")
      endif()
    endforeach()
    set(sources ${kept})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_compile_options(${name} PRIVATE ${TAVDJ_WARNINGS})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LINK} PRIVATE ${ARG_LINK})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC_LINK})
  endif()
endfunction()

# tavdj_use_built_http_module(<target>)
# A test or benchmark program downloads through the download module the
# build makes beside the program (platform/HttpClientModule.cpp).
function(tavdj_use_built_http_module name)
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/BuiltHttpModule.cpp)
  target_compile_definitions(${name} PRIVATE TAVDJ_HTTP_MODULE="$<TARGET_FILE:tavdj_http>")
  target_link_libraries(${name} PRIVATE platform)
  add_dependencies(${name} tavdj_http)
endfunction()

# tavdj_test(<name> DIRS <dir>... LINK <lib>... [MAIN <file>] [LABEL <label>]
#            [ASAN_OPTIONS <flags>])
# One GoogleTest executable per test folder; each case becomes a CTest test.
# MAIN replaces GoogleTest's own main, for suites that need an application
# object alive around every test. ASAN_OPTIONS flags ("a=0:b=1") are added
# after the run's own, so they win, for suites whose system libraries trip
# a check that is meant for our code.
function(tavdj_test name)
  cmake_parse_arguments(ARG "" "LABEL;MAIN;ASAN_OPTIONS" "DIRS;LINK" ${ARGN})
  set(sources "")
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB found CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp")
    list(APPEND sources ${found})
  endforeach()
  if(NOT sources)
    return()
  endif()
  if(ARG_MAIN)
    set(main_source ${ARG_MAIN})
    set(main_lib "")
  else()
    set(main_source "")
    set(main_lib GTest::gtest_main)
  endif()
  add_executable(${name} ${sources} ${main_source})
  tavdj_use_built_http_module(${name})
  target_compile_options(${name} PRIVATE ${TAVDJ_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LINK} tavdj_fakes GTest::gtest GTest::gmock ${main_lib})
  target_compile_definitions(${name} PRIVATE
      TAVDJ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      TAVDJ_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(props "")
  if(ARG_LABEL)
    set(props LABELS ${ARG_LABEL})
  endif()
  if(ARG_ASAN_OPTIONS)
    list(APPEND props ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::${ARG_ASAN_OPTIONS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props} ENVIRONMENT "TAVDJ_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# tavdj_fuzzer(<name> SOURCE <file> LINK <lib>... CORPUS <dir>)
# Built only in the clang sanitizer configuration; runs for a bounded time.
function(tavdj_fuzzer name)
  cmake_parse_arguments(ARG "" "SOURCE;CORPUS;SECONDS" "LINK" ${ARGN})
  if(NOT (TAVDJ_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
    return()
  endif()
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 60)
  endif()
  add_executable(${name} ${ARG_SOURCE})
  target_compile_options(${name} PRIVATE ${TAVDJ_WARNINGS} -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LINK})
  set(work "${PROJECT_BINARY_DIR}/fuzz/${name}")
  add_test(NAME fuzz.${name}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${name}> -DCORPUS=${ARG_CORPUS}
                   -DWORK=${work} -DSECONDS=${ARG_SECONDS}
                   -P ${PROJECT_SOURCE_DIR}/cmake/RunFuzzer.cmake)
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()
