# Prints "path=value" for each path of a JSON document, one a line, on
# stderr; fails when the document is no JSON or a path is missing. Paths are
# keys and array indices joined by dots, e.g. "spaces.0.channels.0.name";
# null, true and false print as such.
#   cmake -DJSON=file.json -DGET="ok;spaces.0.name" -P json_get.cmake
file(READ "${JSON}" text)
foreach(path IN LISTS GET)
  string(REPLACE "." ";" parts "${path}")
  string(JSON type ERROR_VARIABLE error TYPE "${text}" ${parts})
  if(error)
    message(FATAL_ERROR "${path}: ${error}")
  endif()
  string(JSON value GET "${text}" ${parts})
  if(type STREQUAL "NULL")
    set(value null)
  elseif(type STREQUAL "BOOLEAN")
    if(value)
      set(value true)
    else()
      set(value false)
    endif()
  endif()
  message("${path}=${value}")
endforeach()
