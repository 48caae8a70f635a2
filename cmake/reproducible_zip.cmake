# Run by CPack once it has made the zip: writes it again from the staged files
# with Info-ZIP, in sorted order, with one fixed file time and no extra fields,
# so that the zip depends on the commit only. (CPack adds files in the order
# the disk lists them, and stores their access and change times.) The time is
# SOURCE_DATE_EPOCH, 2000-01-01 without it.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  set(epoch 946684800)
endif()
set(staging "${CPACK_TEMPORARY_DIRECTORY}")

file(GLOB_RECURSE entries RELATIVE "${staging}" LIST_DIRECTORIES true "${staging}/*")
set(kept)
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY "${staging}/${entry}")
    # A folder is listed only when empty; otherwise its files stand for it.
    file(GLOB inside "${staging}/${entry}/*")
    if(inside)
      continue()
    endif()
    set(entry "${entry}/")
  endif()
  list(APPEND kept "${entry}")
endforeach()
list(SORT kept)

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${staging}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}")
  endif()
endfunction()

run(find . -type d -exec chmod 755 {} +)  # whatever the umask
run(find . -exec touch -h -d "@${epoch}" {} +)
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  file(REMOVE "${zip}")
  run("${CPACK_VORNEL_CMAKE}" -E env TZ=UTC zip -q -X -9 "${zip}" ${kept})
endforeach()
