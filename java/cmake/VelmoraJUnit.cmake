# velmora_add_junit_suite(<name> JARS <jar files or add_jar targets...>
#                         [LIBRARY_DIRS <dirs...>] [JVM_ARGS <args...>])
#
# Adds the CTest test <name>: Debian's JUnit 5 console launcher runs every test class found in the
# JARS on a real JVM under -Xcheck:jni, with LIBRARY_DIRS as java.library.path. The test passes only
# when JUnit passed, found at least one test, and -Xcheck:jni reported nothing: the checker prints
# its findings on stdout and leaves the exit status alone, so run_junit_checked.sh scans stdout.
#
# Test classes compile against VELMORA_JUNIT_CONSOLE_JAR (it carries the Jupiter API and params):
#   add_jar(my-tests SOURCES ... INCLUDE_JARS my-jar ${VELMORA_JUNIT_CONSOLE_JAR})
#
# Guard the test jars with if(VELMORA_JUNIT_FOUND); the suite is added either way.
#
# Include it by path from any folder: include(${PROJECT_SOURCE_DIR}/java/cmake/VelmoraJUnit.cmake)
include_guard(DIRECTORY)

find_package(Java 17 REQUIRED COMPONENTS Runtime Development)

set(VELMORA_JUNIT_CONSOLE_JAR "/usr/share/java/junit-platform-console-standalone.jar"
    CACHE FILEPATH "JUnit 5 console launcher (Debian package junit5)")
# Without JUnit the product still builds (a build-only machine has no junit5); callers skip their
# test jars when VELMORA_JUNIT_FOUND is false, and the suites then fail in ctest saying why.
if(EXISTS "${VELMORA_JUNIT_CONSOLE_JAR}")
  set(VELMORA_JUNIT_FOUND TRUE)
else()
  set(VELMORA_JUNIT_FOUND FALSE)
  message(WARNING
    "JUnit 5 console launcher not found at ${VELMORA_JUNIT_CONSOLE_JAR}: the JUnit suites are not "
    "built and fail in ctest. Install Debian's junit5 (apt-get install junit5, or bash "
    "tools/install-deps.sh test), or pass -DVELMORA_JUNIT_CONSOLE_JAR=<path>, then configure again.")
endif()

set(VELMORA_JUNIT_RUNNER "${CMAKE_CURRENT_LIST_DIR}/run_junit_checked.sh")

function(velmora_add_junit_suite name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "JARS;LIBRARY_DIRS;JVM_ARGS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "velmora_add_junit_suite(${name}): unexpected arguments "
                        "'${arg_UNPARSED_ARGUMENTS}'; use JARS, LIBRARY_DIRS and JVM_ARGS")
  endif()
  if(NOT arg_JARS)
    message(FATAL_ERROR "velmora_add_junit_suite(${name}): JARS is empty; name the jar (or add_jar "
                        "target) that holds the test classes and the jars they need")
  endif()

  if(NOT VELMORA_JUNIT_FOUND)
    add_test(NAME ${name} COMMAND sh "${VELMORA_JUNIT_RUNNER}" "${Java_JAVA_EXECUTABLE}"
                                  "${VELMORA_JUNIT_CONSOLE_JAR}" "" "")
    return()
  endif()

  # The JVM runs on the build host (never a cross build), so ':' separates path entries.
  set(class_path_entries "")
  foreach(jar IN LISTS arg_JARS)
    if(TARGET ${jar})
      list(APPEND class_path_entries "$<TARGET_PROPERTY:${jar},JAR_FILE>")
    else()
      list(APPEND class_path_entries "${jar}")
    endif()
  endforeach()
  string(JOIN ":" class_path ${class_path_entries})
  string(JOIN ":" library_path ${arg_LIBRARY_DIRS})

  add_test(NAME ${name}
           COMMAND sh "${VELMORA_JUNIT_RUNNER}" "${Java_JAVA_EXECUTABLE}"
                   "${VELMORA_JUNIT_CONSOLE_JAR}" "${library_path}" "${class_path}" ${arg_JVM_ARGS})
  # A sanitized tree preloads the sanitizer runtime into the JVM (robustness/cmake/).
  if(VELMORA_JVM_TEST_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${VELMORA_JVM_TEST_ENVIRONMENT}")
  endif()
endfunction()
