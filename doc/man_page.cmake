# Writes the manual page of one program with help2man, after checking that the
# program's --version and --help print what help2man reads:
#   cmake -DPROGRAM=path -DNAME=astfield -DVERSION=1.0.0 -DHELP2MAN=path
#         -DSUMMARY=text -DINCLUDE=file.h2m -DOUTPUT=file.1
#         [-DBUILD_PATH=path -DINSTALLED_PATH=path] -P man_page.cmake
# With BUILD_PATH, a file the program built here names by its place in the
# source tree (a default that --help prints) is named on the page by
# INSTALLED_PATH, where the installed program finds it.
# A program whose output would make a wrong page stops the build here with
# the reason, rather than leaving a page without a version or options.

execute_process(COMMAND "${PROGRAM}" --version
                RESULT_VARIABLE status OUTPUT_VARIABLE version_text ERROR_VARIABLE version_error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NAME} --version exited with ${status}: ${version_error}")
endif()
if(NOT version_text STREQUAL "${NAME} ${VERSION}\n")
  message(FATAL_ERROR "${NAME} --version printed '${version_text}', not the one line '${NAME} ${VERSION}'")
endif()

execute_process(COMMAND "${PROGRAM}" --help
                RESULT_VARIABLE status OUTPUT_VARIABLE help_text ERROR_VARIABLE help_error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NAME} --help exited with ${status}: ${help_error}")
endif()
if(NOT help_text MATCHES "\nUsage: ${NAME} ")
  message(FATAL_ERROR "${NAME} --help has no line 'Usage: ${NAME} ...' for the synopsis")
endif()
foreach(option --help --version --image --fields --format)
  if(NOT help_text MATCHES "\n  [^\n]*${option}[ ,\n]")
    message(FATAL_ERROR "${NAME} --help lists no option ${option} in an indented option line")
  endif()
endforeach()

# Written beside the page and renamed, so that a failed run leaves no page
# that a later build would take as up to date.
execute_process(COMMAND "${HELP2MAN}" --no-info "--name=${SUMMARY}" "--include=${INCLUDE}"
                        "--output=${OUTPUT}.part" "${PROGRAM}"
                RESULT_VARIABLE status ERROR_VARIABLE help2man_error)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}.part")
  message(FATAL_ERROR "help2man failed on ${NAME}: ${help2man_error}")
endif()
if(BUILD_PATH)
  file(READ "${OUTPUT}.part" page)
  # roff escapes the hyphens of a path.
  string(REPLACE "-" "\\-" build_roff "${BUILD_PATH}")
  string(REPLACE "-" "\\-" installed_roff "${INSTALLED_PATH}")
  string(REPLACE "${build_roff}" "${installed_roff}" page "${page}")
  string(REPLACE "${BUILD_PATH}" "${INSTALLED_PATH}" page "${page}")
  file(WRITE "${OUTPUT}.part" "${page}")
endif()
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
