# One line at the end of configure says what is built and what is left out,
# and why, so that a missing library never drops a program unnoticed.
# With QAVREL_REQUIRE_ALL anything left out stops configure, after that line
# has named everything that is missing.

set_property(GLOBAL PROPERTY qavrel_built "")
set_property(GLOBAL PROPERTY qavrel_left_out "")

# built(WHAT): WHAT is part of this build.
function(built what)
  set_property(GLOBAL APPEND PROPERTY qavrel_built "${what}")
endfunction()

# left_out(WHAT WHY): WHAT is not built, because of WHY (the Debian package
# that would bring it, say).
function(left_out what why)
  set_property(GLOBAL APPEND PROPERTY qavrel_left_out "${what} (${why})")
endfunction()

function(print_build_summary)
  get_property(done GLOBAL PROPERTY qavrel_built)
  get_property(missing GLOBAL PROPERTY qavrel_left_out)
  list(JOIN done ", " done)
  if(NOT missing)
    message(STATUS "qavrel builds: ${done}; leaves out nothing")
    return()
  endif()
  list(JOIN missing "; " missing)
  message(STATUS "qavrel builds: ${done}; leaves out: ${missing}")
  if(QAVREL_REQUIRE_ALL)
    message(FATAL_ERROR "QAVREL_REQUIRE_ALL is on, and this build leaves out: ${missing}")
  endif()
endfunction()
