# The three service base addresses spliced into the handler page. Each must be an
# http or https scheme plus a host (optionally a port): no path, no trailing slash,
# and the three hosts must differ, or the page would send links to the wrong place.

set(RUVO_SCRIBE_URL "https://scribe.ruvo.example" CACHE STRING
    "Base address of the document editor service (scheme and host only)")
set(RUVO_GRID_URL "https://grid.ruvo.example" CACHE STRING
    "Base address of the spreadsheet service (scheme and host only)")
set(RUVO_DECK_URL "https://deck.ruvo.example" CACHE STRING
    "Base address of the presentation service (scheme and host only)")

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
  string(REGEX REPLACE "^https?://([^:/]+).*$" "\\1" host "${url}")
  string(TOLOWER "${host}" host)
  set(${variable}_HOST "${host}" PARENT_SCOPE)
endfunction()

foreach(_ruvo_var RUVO_SCRIBE_URL RUVO_GRID_URL RUVO_DECK_URL)
  ruvo_check_service_url(${_ruvo_var})
endforeach()

if(RUVO_SCRIBE_URL_HOST STREQUAL RUVO_GRID_URL_HOST
   OR RUVO_SCRIBE_URL_HOST STREQUAL RUVO_DECK_URL_HOST
   OR RUVO_GRID_URL_HOST STREQUAL RUVO_DECK_URL_HOST)
  message(FATAL_ERROR
    "RUVO_SCRIBE_URL (${RUVO_SCRIBE_URL}), RUVO_GRID_URL (${RUVO_GRID_URL}) and "
    "RUVO_DECK_URL (${RUVO_DECK_URL}) must name three different hosts")
endif()
