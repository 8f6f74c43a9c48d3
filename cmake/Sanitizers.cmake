# -DLUMIRA_SANITIZE=address,undefined or -DLUMIRA_SANITIZE=thread.
# Such a build has its own folder (see tools/run-sanitizers.sh). Programs that
# host Chromium are left out of it: Qt WebEngine's own allocator and
# uninstrumented threads do not run under the sanitizers' runtimes.
if(NOT LUMIRA_SANITIZE)
  return()
endif()

string(REPLACE "," ";" _sanitizers "${LUMIRA_SANITIZE}")
foreach(_s ${_sanitizers})
  if(NOT _s MATCHES "^(address|undefined|thread|leak)$")
    message(FATAL_ERROR "LUMIRA_SANITIZE: unknown sanitizer '${_s}'")
  endif()
endforeach()
if("thread" IN_LIST _sanitizers AND ("address" IN_LIST _sanitizers OR "leak" IN_LIST _sanitizers))
  message(FATAL_ERROR "LUMIRA_SANITIZE: thread cannot be combined with address or leak")
endif()

add_compile_options(-fsanitize=${LUMIRA_SANITIZE} -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=${LUMIRA_SANITIZE})
if("undefined" IN_LIST _sanitizers)
  # Undefined behaviour fails the test that meets it, not just a line in the log.
  add_compile_options(-fno-sanitize-recover=undefined)
endif()
set(LUMIRA_SANITIZER_BUILD ON)
