# The service table (src/handler_page/services.json) is the one place that names the
# suite's services: their names, the path and query each takes, the extensions each
# opens and the alert for anything else. Each service's base address is a cache
# variable named in the table (RUVO_SCRIBE_URL, ...), defaulting to the table's. Here
# the addresses are checked, and the table with the configured addresses becomes
#   <build>/generated/handler_page/service_table.h   for the installer's page
#   <build>/exported/services.json                    for the browser extension and
#                                                      the tests
# Each address must be an http or https scheme plus a host (optionally a port): no
# path, no trailing slash; the hosts must differ, or links would go to the wrong place.

# Run as a script (cmake -DRUVO_SCRIBE_URL=... -P ServiceTable.cmake) it only checks.
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
endif()

set(RUVO_SERVICE_TABLE ${CMAKE_CURRENT_LIST_DIR}/../src/handler_page/services.json)
if(NOT CMAKE_SCRIPT_MODE_FILE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${RUVO_SERVICE_TABLE})
endif()
file(READ ${RUVO_SERVICE_TABLE} _ruvo_table)

# Host label: letters, digits and inner hyphens; a host is dot-separated labels,
# optionally followed by a port.
set(_ruvo_label "[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?")
set(_ruvo_url_pattern "^https?://(${_ruvo_label}(\\.${_ruvo_label})*)(:[0-9]+)?$")

function(ruvo_check_service_url variable)
  set(url "${${variable}}")
  if(NOT url MATCHES "${_ruvo_url_pattern}")
    message(FATAL_ERROR
      "${variable} is \"${url}\", but it must be an http or https address made of a scheme "
      "and a host only, with no path and no trailing slash, for example "
      "https://scribe.ruvo.example")
  endif()
endfunction()

# A C++ wide string literal of plain ASCII text (the table's texts are ASCII).
function(ruvo_wide_literal text out)
  if(NOT text MATCHES "^[ -~]*$")
    message(FATAL_ERROR "the service table may hold plain ASCII text only: ${text}")
  endif()
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "L\"${text}\"" PARENT_SCOPE)
endfunction()

string(JSON _ruvo_count LENGTH "${_ruvo_table}" services)
math(EXPR _ruvo_last "${_ruvo_count} - 1")
set(_ruvo_hosts)
set(_ruvo_variables)
set(_ruvo_records)
set(_ruvo_exported "${_ruvo_table}")
foreach(_i RANGE ${_ruvo_last})
  string(JSON _name GET "${_ruvo_table}" services ${_i} name)
  string(JSON _kind GET "${_ruvo_table}" services ${_i} kind)
  string(JSON _variable GET "${_ruvo_table}" services ${_i} addressVariable)
  string(JSON _default GET "${_ruvo_table}" services ${_i} defaultAddress)
  string(JSON _path GET "${_ruvo_table}" services ${_i} pathAndQuery)
  set(${_variable} "${_default}" CACHE STRING
      "Base address of the ${_kind} service, Ruvo ${_name} (scheme and host only)")
  ruvo_check_service_url(${_variable})
  set(_url "${${_variable}}")
  list(APPEND _ruvo_variables "${_variable} (${_url})")
  # For the tests: each default address and what it was configured to.
  list(APPEND RUVO_SERVICE_ADDRESS_SWAPS "${_default}" "${_url}")

  string(REGEX REPLACE "^https?://([^:/]+).*$" "\\1" _host "${_url}")
  string(TOLOWER "${_host}" _host)
  list(APPEND _ruvo_hosts "${_host}")

  string(JSON _ext_count LENGTH "${_ruvo_table}" services ${_i} extensions)
  math(EXPR _ext_last "${_ext_count} - 1")
  set(_extensions)
  foreach(_e RANGE ${_ext_last})
    string(JSON _extension GET "${_ruvo_table}" services ${_i} extensions ${_e})
    ruvo_wide_literal("${_extension}" _literal)
    list(APPEND _extensions "${_literal}")
  endforeach()
  list(JOIN _extensions ", " _extensions)
  ruvo_wide_literal("${_url}" _url_literal)
  ruvo_wide_literal("${_path}" _path_literal)
  string(APPEND _ruvo_records
    "inline constexpr std::wstring_view k${_name}Extensions[] = {${_extensions}};\n"
    "inline constexpr ServiceRecord k${_name}Service{${_url_literal}, ${_path_literal},\n"
    "                                                k${_name}Extensions};\n")
  string(JSON _ruvo_exported SET "${_ruvo_exported}" services ${_i} address "\"${_url}\"")
endforeach()

list(REMOVE_DUPLICATES _ruvo_hosts)
list(LENGTH _ruvo_hosts _ruvo_distinct)
if(NOT _ruvo_distinct EQUAL _ruvo_count)
  list(JOIN _ruvo_variables ", " _ruvo_variables)
  message(FATAL_ERROR "${_ruvo_variables} must name ${_ruvo_count} different hosts")
endif()

if(CMAKE_SCRIPT_MODE_FILE)
  return()
endif()

string(JSON _alert GET "${_ruvo_table}" unsupportedAlert)
ruvo_wide_literal("${_alert}" _alert_literal)
set(RUVO_SERVICE_RECORDS "${_ruvo_records}")
set(RUVO_UNSUPPORTED_ALERT "${_alert_literal}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/service_table.h.in
               ${CMAKE_BINARY_DIR}/src/generated/handler_page/service_table.h @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/exported/services.json CONTENT "${_ruvo_exported}\n")
