# Compares the JNI entry points a hand-written header declares with those `javac -h` generated
# from the Java class, so the two cannot drift apart. Only the prototypes count: comments,
# preprocessor lines, layout and parameter names are ignored.
#
# cmake -DGENERATED=<javac -h header> -DDECLARED=<our header> [-DSTAMP=<file>] -P CheckJniHeader.cmake
cmake_minimum_required(VERSION 3.25)

# Reads `file` and returns its JNIEXPORT prototypes, normalised and sorted, in `out`.
function(read_jni_prototypes file out)
  file(READ "${file}" text)

  # Block comments (CMake's regular expressions have no lazy match, so cut them out by hand).
  set(stripped "")
  while(TRUE)
    string(FIND "${text}" "/*" open)
    if(open EQUAL -1)
      string(APPEND stripped "${text}")
      break()
    endif()
    string(SUBSTRING "${text}" 0 ${open} before)
    string(APPEND stripped "${before} ")
    math(EXPR after_open "${open} + 2")
    string(SUBSTRING "${text}" ${after_open} -1 text)
    string(FIND "${text}" "*/" close)
    if(close EQUAL -1)
      message(FATAL_ERROR "CheckJniHeader: unterminated /* comment in ${file}; fix the header")
    endif()
    math(EXPR after_close "${close} + 2")
    string(SUBSTRING "${text}" ${after_close} -1 text)
  endwhile()
  string(REGEX REPLACE "//[^\n]*" "" stripped "${stripped}")
  string(REGEX REPLACE "(^|\n)[ \t]*#[^\n]*" "\\1" stripped "${stripped}")
  # A ';' would split CMake lists: every prototype ends at one, so turn them into a marker.
  string(REPLACE ";" "@END@" stripped "${stripped}")

  string(REGEX MATCHALL "JNIEXPORT[^@]*@END@" declarations "${stripped}")
  set(prototypes "")
  foreach(declaration IN LISTS declarations)
    string(REPLACE "@END@" "" declaration "${declaration}")
    string(REGEX REPLACE "([(),*])" " \\1 " declaration "${declaration}")
    string(REGEX REPLACE "[ \t\r\n]+" " " declaration "${declaration}")
    string(STRIP "${declaration}" declaration)
    string(REGEX MATCH "^([^(]*)\\((.*)\\)$" whole "${declaration}")
    if(NOT whole)
      message(FATAL_ERROR "CheckJniHeader: cannot read the declaration '${declaration}' in ${file}")
    endif()
    string(STRIP "${CMAKE_MATCH_1}" head)
    string(REPLACE "," ";" parameters "${CMAKE_MATCH_2}")
    set(types "")
    foreach(parameter IN LISTS parameters)
      string(STRIP "${parameter}" parameter)
      # A trailing identifier after a complete type is a parameter name.
      if(parameter MATCHES "^(.*[A-Za-z0-9_*]) [A-Za-z_][A-Za-z0-9_]*$")
        set(type "${CMAKE_MATCH_1}")
        if(NOT type MATCHES "^(const|volatile|unsigned|signed)$")
          set(parameter "${type}")
        endif()
      endif()
      list(APPEND types "${parameter}")
    endforeach()
    list(JOIN types ", " types)
    list(APPEND prototypes "${head} (${types})")
  endforeach()
  list(SORT prototypes)
  set(${out} "${prototypes}" PARENT_SCOPE)
endfunction()

foreach(input GENERATED DECLARED)
  if(NOT DEFINED ${input} OR NOT EXISTS "${${input}}")
    message(FATAL_ERROR "CheckJniHeader: -D${input}=<header> is missing or names no file "
                        "('${${input}}'); build the Java class first")
  endif()
endforeach()

read_jni_prototypes("${GENERATED}" generated)
read_jni_prototypes("${DECLARED}" declared)
if(NOT generated)
  message(FATAL_ERROR "CheckJniHeader: ${GENERATED} declares no native method; is it the header "
                      "`javac -h` wrote for the class?")
endif()

if(NOT generated STREQUAL declared)
  set(report "")
  foreach(prototype IN LISTS generated)
    if(NOT prototype IN_LIST declared)
      string(APPEND report "  only javac -h has:  ${prototype}\n")
    endif()
  endforeach()
  foreach(prototype IN LISTS declared)
    if(NOT prototype IN_LIST generated)
      string(APPEND report "  only ${DECLARED} has:  ${prototype}\n")
    endif()
  endforeach()
  message(FATAL_ERROR
    "CheckJniHeader: the JNI entry points of ${DECLARED} differ from those `javac -h` generates "
    "(${GENERATED}):\n${report}Make the header (and the entry points) match the Java class's "
    "native methods, or the other way round.")
endif()

if(DEFINED STAMP)
  file(TOUCH "${STAMP}")
endif()
