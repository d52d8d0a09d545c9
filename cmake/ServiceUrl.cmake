# The service URL is compiled in, so a malformed one must stop the build here
# rather than produce an app whose every request fails.
function(cuelark_check_service_url url)
  if(NOT url MATCHES "^(https?)://(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9.-]+)(:[0-9]+)?$")
    message(FATAL_ERROR
      "CUELARK_SERVICE_URL must be an origin such as https://cuelark.app "
      "(scheme, host, optional port; no path, no trailing slash), not '${url}'")
  endif()
  set(scheme "${CMAKE_MATCH_1}")
  set(host "${CMAKE_MATCH_2}")
  if(scheme STREQUAL "http" AND NOT host MATCHES "^(127\\.0\\.0\\.1|localhost|\\[::1\\])$")
    message(FATAL_ERROR
      "CUELARK_SERVICE_URL must use https; plain http is allowed only to a loopback host "
      "(127.0.0.1, localhost, [::1]), not '${url}'")
  endif()
endfunction()
