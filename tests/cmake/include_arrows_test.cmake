# cmake -DCHECK=<check-include-arrows.cmake> -DWORK=<folder> -P include_arrows_test.cmake
#
# Four libraries, low <- mid <- top, mid linking hidden privately, and side
# that nothing links: the check must name each include against those arrows,
# in quotes or angle brackets and through a header of no library too, and only
# those.
cmake_minimum_required(VERSION 3.22)
set(tree "${WORK}/tree")
file(REMOVE_RECURSE "${tree}")
function(source path)
  list(JOIN ARGN "\n" text)
  file(WRITE "${tree}/${path}" "${text}\n")
endfunction()
source(low/low.h "#pragma once")
source(low/low.cpp "#include \"low.h\"" "#include \"mid/mid.h\"")
source(mid/mid.h "#pragma once" "#include \"low/low.h\"")
source(mid/mid.cpp "#include \"mid/mid.h\"" "#include \"hidden/hidden.h\"")
source(hidden/hidden.h "#pragma once")
source(hidden/hidden.cpp "#include \"hidden/hidden.h\"")
source(side/side.h "#pragma once")
source(side/side.cpp "#include \"side/side.h\"")
source(shared/helpers.h "#pragma once" "#include \"side/side.h\"" "#include \"low/low.h\"")
source(top/util.h "#pragma once")
source(top/top.cpp
       "#include \"util.h\""
       "  #  include \"mid/mid.h\"  // passes low on"
       "#include \"low/low.h\""
       "#include \"side/side.h\""
       "#include \"hidden/hidden.h\""
       "#include \"shared/helpers.h\""
       "#include \"written_by_the_build.h\""
       "#include <vector>"
       "#include <low/low.h>"
       "#include <side/side.h>  // and; a comment")

string(CONCAT graph "set(ARROWS_SOURCE_DIR \"${tree}\")\n"
             "set(ARROWS_BINARY_DIR \"${WORK}/build\")\n"
             "set(ARROWS_TARGETS \"low;mid;hidden;side;top\")\n"
             "set(ARROWS_SCAN_DIRS \"${tree}/low;${tree}/mid;${tree}/hidden;${tree}/side;${tree}/top\")\n"
             "set(ARROWS_INCLUDE_DIRS \"${tree}\")\n"
             "set(ARROWS_KIND_top EXECUTABLE)\n"
             "set(ARROWS_SOURCES_top \"${tree}/top/top.cpp\")\n"
             "set(ARROWS_LINKS_top mid)\n"
             "set(ARROWS_LINKS_mid \"low;hidden\")\n"
             "set(ARROWS_PASSES_mid low)\n")
foreach(library low mid hidden side)
  string(APPEND graph "set(ARROWS_KIND_${library} STATIC_LIBRARY)\n"
                      "set(ARROWS_SOURCES_${library} \"${tree}/${library}/${library}.cpp\")\n")
endforeach()
file(WRITE "${WORK}/graph.cmake" "${graph}")

execute_process(COMMAND ${CMAKE_COMMAND} -DGRAPH=${WORK}/graph.cmake -P ${CHECK}
                RESULT_VARIABLE status ERROR_VARIABLE told OUTPUT_VARIABLE out)
string(APPEND told "${out}")
if(status EQUAL 0)
  message(FATAL_ERROR "The check passed a tree with includes against its arrows:\n${told}")
endif()
set(expected
    "low/low.cpp: includes \"mid/mid.h\" (mid/mid.h) of mid, which low does not link: missing arrow low -> mid"
    "top/top.cpp: includes \"side/side.h\" (side/side.h) of side, which top does not link: missing arrow top -> side"
    "top/top.cpp: includes \"hidden/hidden.h\" (hidden/hidden.h) of hidden, which top does not link: missing arrow top -> hidden"
    "top/top.cpp: includes <side/side.h> (side/side.h) of side, which top does not link: missing arrow top -> side"
    "shared/helpers.h: includes \"side/side.h\" (side/side.h) of side, which top does not link: missing arrow top -> side")
foreach(line IN LISTS expected)
  string(FIND "${told}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "The check did not say\n  ${line}\nIt said:\n${told}")
  endif()
endforeach()
string(REGEX MATCHALL "missing arrow" said "${told}")
list(LENGTH said count)
if(NOT count EQUAL 5)
  message(FATAL_ERROR "The check named ${count} missing arrows, not 5:\n${told}")
endif()
