# vantrel-cli catalogue-create, templates and ioctls: exit codes and exact lines.
# Run with -DCLI=<vantrel-cli> -DWORK=<scratch folder>.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run expected_rc)
  execute_process(COMMAND ${CLI} ${ARGN} WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expected_rc)
    message(FATAL_ERROR "vantrel-cli ${ARGN}: exit ${rc}, expected ${expected_rc}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect what actual expected)
  if(NOT "${actual}" STREQUAL "${expected}")
    message(FATAL_ERROR "${what}: got [${actual}], expected [${expected}]")
  endif()
endfunction()

# A missing default catalogue: exit 2, one line, and no file is created.
run(2 templates)
expect("missing catalogue message"
  "${err}" "vantrel-cli: templates: cannot open the catalogue Vantrel.db: unable to open database file\n")
if(EXISTS ${WORK}/Vantrel.db)
  message(FATAL_ERROR "templates created Vantrel.db")
endif()

run(0 catalogue-create Vantrel.db --sample)
run(2 catalogue-create Vantrel.db)
expect("overwrite refusal" "${err}" "vantrel-cli: catalogue-create: Vantrel.db already exists\n")

run(0 templates)
string(REGEX MATCHALL "\n" lines "${out}")
list(LENGTH lines count)
expect("template rows" "${count}" "66")
string(FIND "${out}" "BEEP_SET_PARAMETERS\t0\tint\tFrequency\nBEEP_SET_PARAMETERS\t4\tint\tDuration\nCDROM_TOC\t0\tSHORT\tLength\n" at)
expect("first template rows" "${at}" "0")

run(0 ioctls --catalogue Vantrel.db)
string(FIND "${out}" "0x0007405c\t\\Device\\Harddisk0\\DR0\tIOCTL_DISK_GET_LENGTH_INFO\tNone\tGET_LENGTH_INFORMATION\n" at)
if(at LESS 1)
  message(FATAL_ERROR "ioctls: second row missing in\n${out}")
endif()

# An empty catalogue lists nothing.
run(0 catalogue-create empty.db)
run(0 ioctls --catalogue empty.db)
expect("empty ioctls" "${out}" "")

file(WRITE ${WORK}/junk.db "this is not a database, not at all, it is just text that goes on for a while")
run(2 ioctls --catalogue junk.db)
expect("junk catalogue" "${err}" "vantrel-cli: ioctls: cannot open the catalogue junk.db: file is not a database\n")
