# Project-wide compile options: every target gets the same warnings, and the
# sanitizer build instruments every target so that libraries and tests agree.

add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wformat=2)

# On a 32-bit target (the device's armhf board) file offsets, sizes and inode
# numbers are 64-bit only with large-file support. Without it readdir and stat
# fail with EOVERFLOW wherever the kernel hands out 64-bit values: directory
# offsets of ext4 under a 64-bit kernel, inode numbers of large file systems.
# The libraries the project links were built this way too. (time_t stays as
# the system's libraries have it: changing it alone would break their ABI.)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_compile_definitions(_FILE_OFFSET_BITS=64)
endif()
if(R9050_WERROR)
  add_compile_options(-Werror)
endif()

if(R9050_SANITIZE AND R9050_TSAN)
  message(FATAL_ERROR "R9050_SANITIZE and R9050_TSAN exclude each other: use two build folders")
endif()
if(R9050_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(R9050_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# r9050_add_gtest(NAME SOURCES... LIBS...) builds one GoogleTest executable and
# registers its cases with CTest.
include(GoogleTest)
find_package(GTest REQUIRED)
function(r9050_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} r9050_test_support GTest::gmock GTest::gtest_main Threads::Threads)
  set(labels unit)
  if(T_LABELS)
    set(labels ${T_LABELS})
  endif()
  # The meter's tests are also built together by the target meter_tests.
  if(R9050_TEST_OF_METER)
    set_property(GLOBAL APPEND PROPERTY R9050_METER_TESTS ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${labels}")
endfunction()
