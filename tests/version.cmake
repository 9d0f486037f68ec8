# The one project version where operators read it: the README's package
# names and its opening, and the version resource, which must take its
# numbers from the header CMake makes (not numbers of its own).
#   cmake -DROOT=<source> -DVERSION=<project version> -P version.cmake
file(READ ${ROOT}/README.md readme)
string(FIND "${readme}" "(version ${VERSION})" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the README's opening does not say \"(version ${VERSION})\"")
endif()
string(REGEX MATCHALL "Harrowatch-[0-9]+\\.[0-9]+\\.[0-9]+-" names "${readme}")
list(LENGTH names count)
if(count EQUAL 0)
  message(FATAL_ERROR "the README names no package")
endif()
foreach(name IN LISTS names)
  if(NOT name STREQUAL "Harrowatch-${VERSION}-")
    message(FATAL_ERROR "the README names ${name}... but the project's version is ${VERSION}")
  endif()
endforeach()
file(READ ${ROOT}/src/win32/harrowatch.rc rc)
foreach(part "FILEVERSION HW_VERSION_NUMBERS" "PRODUCTVERSION HW_VERSION_NUMBERS"
             "\"FileVersion\", HW_VERSION_TEXT" "\"ProductVersion\", HW_VERSION_TEXT")
  string(FIND "${rc}" "${part}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the version resource lacks: ${part}")
  endif()
endforeach()
