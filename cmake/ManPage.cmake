# Writes a man page from a program's --help text where help2man is missing:
#   cmake -DPROGRAM=exe -DNAME=name -DSUMMARY=line -DPAGE=out.1 -P ManPage.cmake
# The help text is kept as printed (no fill), its roff characters escaped.
foreach(run version help)
  execute_process(COMMAND ${PROGRAM} --${run} RESULT_VARIABLE status OUTPUT_VARIABLE ${run}
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --${run} failed (${status})")
  endif()
endforeach()

function(roff_escape text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  # A line starting with a dot or an apostrophe would be a request.
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
roff_escape("${help}" help)
roff_escape("${SUMMARY}" SUMMARY)
roff_escape("${NAME}" name)
string(TOUPPER "${NAME}" title)

file(WRITE ${PAGE} ".TH ${title} 1 \"\" \"${version}\" \"User Commands\"
.SH NAME
${name} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}
.fi
")
