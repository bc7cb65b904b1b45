# orvana_options: language level, warnings and Qt definitions shared by every target.
add_library(orvana_options INTERFACE)
target_compile_features(orvana_options INTERFACE cxx_std_20)
target_compile_options(orvana_options INTERFACE -Wall -Wextra)
if(ORVANA_WERROR)
  target_compile_options(orvana_options INTERFACE -Werror)
endif()
target_compile_definitions(orvana_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CONTEXTLESS_CONNECT
  QT_USE_QSTRINGBUILDER
  ORVANA_VERSION="${PROJECT_VERSION}")
target_include_directories(orvana_options INTERFACE ${PROJECT_SOURCE_DIR})

set(ORVANA_SANITIZER_FLAGS "")
if(ORVANA_SANITIZE)
  list(APPEND ORVANA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
endif()
if(ORVANA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ORVANA_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  set(ORVANA_SANITIZER_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
endif()
if(ORVANA_SANITIZER_FLAGS)
  target_compile_options(orvana_options INTERFACE ${ORVANA_SANITIZER_FLAGS})
  list(FILTER ORVANA_SANITIZER_FLAGS EXCLUDE REGEX "fuzzer-no-link")
  target_link_options(orvana_options INTERFACE ${ORVANA_SANITIZER_FLAGS}
    $<$<BOOL:${ORVANA_FUZZ}>:-fsanitize=address,undefined>)
endif()

# orvana_add_library(<name> SOURCES ... LIBS ...): a subsystem's static library.
function(orvana_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC orvana_options ${ARG_LIBS})
endfunction()

# orvana_add_test(<name> SOURCES ... LIBS ... [TIMEOUT s] [OWN_MAIN]): a GoogleTest executable run by CTest.
function(orvana_add_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ORVANA_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orvana_options test_support ${ARG_LIBS} GTest::gmock GTest::gtest)
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE test_main)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ORVANA_SOURCE_DIR=${PROJECT_SOURCE_DIR};ORVANA_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# orvana_add_fuzzer(<name> SOURCES ... LIBS ... [CORPUS dir]): a libFuzzer target (ORVANA_FUZZ builds only).
function(orvana_add_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT ORVANA_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orvana_options ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  if(ARG_CORPUS)
    set_property(GLOBAL APPEND PROPERTY ORVANA_FUZZERS "${name}|${ARG_CORPUS}")
  else()
    set_property(GLOBAL APPEND PROPERTY ORVANA_FUZZERS "${name}|")
  endif()
endfunction()

# orvana_add_benchmark(<name> SOURCES ... LIBS ...): a Google Benchmark executable (not run by CTest).
function(orvana_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ORVANA_BENCHMARKS OR ORVANA_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orvana_options ${ARG_LIBS} benchmark::benchmark)
endfunction()

# orvana_add_subsystem(<name> LIBS ...): the static library of the current
# folder, made of every .cpp/.h file in it (new files are picked up at the
# next build).
function(orvana_add_subsystem name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(sources)
    add_library(${name} STATIC ${sources} ${headers})
    target_link_libraries(${name} PUBLIC orvana_options ${ARG_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE orvana_options ${ARG_LIBS})
  endif()
endfunction()

# orvana_add_test_folder(<name> LIBS ...): one test executable made of every
# *Test.cpp in the current folder.
function(orvana_add_test_folder name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  if(sources)
    orvana_add_test(${name} SOURCES ${sources} LIBS ${ARG_LIBS} TIMEOUT ${ARG_TIMEOUT})
  endif()
endfunction()
