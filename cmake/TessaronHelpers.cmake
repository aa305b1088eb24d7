# Sources of a library folder are found by globbing so that adding a file
# needs no edit of the build files.
function(tessaron_glob_sources out_var)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${ARGN})
  set(${out_var} ${_srcs} PARENT_SCOPE)
endfunction()
