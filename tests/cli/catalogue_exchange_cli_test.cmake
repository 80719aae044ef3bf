# vantrel-cli catalogue-export and catalogue-import: round trips through JSON
# and CSV, hostile names, and a bad row that changes nothing.
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

# The listings of a catalogue, to compare two of them.
function(listings db var)
  run(0 templates --catalogue ${db})
  set(t "${out}")
  run(0 ioctls --catalogue ${db})
  set(${var} "${t}--\n${out}" PARENT_SCOPE)
endfunction()

run(0 catalogue-create sample.db --sample)
# Names that would break pasted SQL or a naive CSV/JSON writer.
file(WRITE ${WORK}/hostile.csv [=[
Name,Offset,Type,Value Name
"""; DROP TABLE ""Templates""; --",0,int,"it's"
[Name],4,SHORT,"a,b"
"two
lines",-8,char,\Device\x
' OR 1=1 --,2147483647,float,"{""json"": [1]}"
]=])
run(0 catalogue-import sample.db hostile.csv)
run(0 templates --catalogue sample.db)
expect("hostile templates" "${out}" "\"; DROP TABLE \"Templates\"; --\t0\tint\tit's
' OR 1=1 --\t2147483647\tfloat\t{\"json\": [1]}
[Name]\t4\tSHORT\ta,b
two
lines\t-8\tchar\t\\Device\\x
")

# JSON: both tables into a new catalogue, the same listings and export.
run(0 catalogue-export sample.db --format json)
set(json "${out}")
file(WRITE ${WORK}/all.json "${json}")
run(0 catalogue-create copy.db)
run(0 catalogue-import copy.db all.json)
listings(sample.db original)
listings(copy.db copied)
expect("listings after a JSON round trip" "${copied}" "${original}")
run(0 catalogue-export copy.db --format json)
expect("second JSON export" "${out}" "${json}")

# CSV: one table each, the header tells which.
run(0 catalogue-export sample.db --format csv --table ioctls)
file(WRITE ${WORK}/ioctls.csv "${out}")
run(0 catalogue-export sample.db --format csv --table templates)
file(WRITE ${WORK}/templates.csv "${out}")
run(0 catalogue-create csv.db)
run(0 catalogue-import csv.db ioctls.csv)
run(0 catalogue-import csv.db templates.csv)
listings(csv.db fromcsv)
expect("listings after a CSV round trip" "${fromcsv}" "${original}")

# A bad row names its line and changes nothing, not even the good rows
# before it.
file(WRITE ${WORK}/bad.json "{\"ioctls\": [],\n\"templates\": [\n{\"name\": \"A\", \"offset\": 0, \"type\": \"int\", \"value_name\": \"x\"},\n{\"name\": \"B\", \"offset\": \"x\", \"type\": \"int\", \"value_name\": \"y\"}\n]}\n")
run(2 catalogue-import copy.db bad.json)
expect("bad row" "${err}" "vantrel-cli: catalogue-import: bad.json: line 4: the offset \"x\" is not a 32-bit integer\n")
listings(copy.db after)
expect("listings after a refused import" "${after}" "${original}")

run(64 catalogue-export sample.db --format csv)
run(64 catalogue-export sample.db --format json --table ioctls)
run(64 catalogue-import sample.db)
run(2 catalogue-import sample.db missing.json)
expect("missing file" "${err}" "vantrel-cli: catalogue-import: missing.json: cannot open the file: No such file or directory\n")
run(2 catalogue-import nothere.db all.json)
expect("missing catalogue" "${err}" "vantrel-cli: catalogue-import: cannot open the catalogue nothere.db: unable to open database file\n")
