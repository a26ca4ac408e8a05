# Common compile flags for every Tikora target.
add_library(tikora_flags INTERFACE)
target_compile_options(tikora_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                       -Wcast-align -Wunused -Woverloaded-virtual -Wnull-dereference -Wformat=2)
if(TIKORA_WERROR)
  target_compile_options(tikora_flags INTERFACE -Werror)
endif()
if(TIKORA_SANITIZE)
  target_compile_options(tikora_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                         -fno-sanitize-recover=undefined)
  target_link_options(tikora_flags INTERFACE -fsanitize=address,undefined)
  # GCC 12's flow analysis reports std::function and std::regex members as "maybe uninitialized"
  # once sanitizer instrumentation is added; the normal build keeps the warning as an error.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(tikora_flags INTERFACE -Wno-maybe-uninitialized)
  endif()
endif()

# tikora_library(NAME SOURCES... [DEPS ...]): one static library per src/ folder.
function(tikora_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC tikora_flags ${ARG_DEPS})
endfunction()

# tikora_test(NAME SOURCES... DEPS ...): a GoogleTest executable whose cases ctest lists one by one.
# Every test runs once as is and, when LOCALE_RUN is given, once more under a daylight-saving
# time zone and a comma-decimal locale, so that hidden assumptions about C and UTC break.
function(tikora_test name)
  cmake_parse_arguments(ARG "LOCALE_RUN" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/test_main.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE tikora_flags ${ARG_DEPS} GTest::gtest GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "TZ=America/New_York;LC_ALL=C.UTF-8")
  if(ARG_LOCALE_RUN)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_SUFFIX ".de_DE"
                         PROPERTIES ENVIRONMENT "TZ=Europe/Berlin;LC_ALL=de_DE.UTF-8")
  endif()
endfunction()

# tikora_folder_library(NAME DEPS ...): the library of one src/ folder, from every .cpp in it
# (an interface library while the folder has none yet).
function(tikora_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    tikora_library(${name} SOURCES ${sources} DEPS ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE tikora_flags ${ARG_DEPS})
  endif()
endfunction()

# tikora_folder_tests(NAME DEPS ... [LOCALE_RUN]): one test executable from every .cpp of a
# tests/ folder.
function(tikora_folder_tests name)
  cmake_parse_arguments(ARG "LOCALE_RUN" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  if(ARG_LOCALE_RUN)
    tikora_test(${name} LOCALE_RUN SOURCES ${sources} DEPS ${ARG_DEPS})
  else()
    tikora_test(${name} SOURCES ${sources} DEPS ${ARG_DEPS})
  endif()
endfunction()

if(TIKORA_FUZZ)
  # Coverage instrumentation for the libraries under test; the fuzzer targets add the driver.
  target_compile_options(tikora_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(tikora_flags INTERFACE -fsanitize=address,undefined)
endif()
