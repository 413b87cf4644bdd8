# VELMORA_SANITIZE=address,undefined (the tree tools/test-all.sh builds as <build>-asan) instruments
# every C/C++ target of the tree; any finding aborts the process that hit it, so a test fails
# instead of printing a warning nobody reads.
#
# The Java suites load the instrumented library into a JVM that is not instrumented: the ASan
# runtime has to be the first library in the process, so those tests get it preloaded through
# VELMORA_JVM_TEST_ENVIRONMENT. The VM catches SIGSEGV itself (handle_segv=0), and its own
# allocations would flood a leak report (detect_leaks=0 for the JVM only; native tests keep it).
set(VELMORA_SANITIZE "" CACHE STRING
    "Sanitizers for every C/C++ target, e.g. address,undefined (empty: none); needs gcc")
set(VELMORA_JVM_TEST_ENVIRONMENT "")
if(NOT VELMORA_SANITIZE)
  return()
endif()

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # clang links the ASan runtime into executables only, so our shared libraries (linked with
  # -z defs) would not link; gcc links libasan.so into every one of them.
  message(FATAL_ERROR "VELMORA_SANITIZE needs gcc (found ${CMAKE_CXX_COMPILER_ID}); configure "
                      "the sanitized tree with CXX=g++, and use clang only for VELMORA_FUZZ")
endif()

add_compile_options(-fsanitize=${VELMORA_SANITIZE} -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=${VELMORA_SANITIZE})

if(VELMORA_SANITIZE MATCHES "address")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE velmora_asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS "${velmora_asan_runtime}")
    message(FATAL_ERROR "VELMORA_SANITIZE: ${CMAKE_CXX_COMPILER} knows no libasan.so; install "
                        "the compiler's sanitizer runtime (Debian: libasan8) and configure again")
  endif()
  set(VELMORA_JVM_TEST_ENVIRONMENT "LD_PRELOAD=${velmora_asan_runtime}"
      "ASAN_OPTIONS=handle_segv=0:detect_leaks=0"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()
