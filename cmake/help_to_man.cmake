# SPDX-License-Identifier: GPL-2.0-or-later
# Writes a built program's manual page from its --help text, compressed as Debian ships them:
#   cmake -DPROGRAM=... -DNAME=... -DSUMMARY=... -DSOURCE=... -DSEE_ALSO=... -DAWK=... -DGZIP=...
#         -DCONVERTER=help_to_man.awk -DOUTPUT=NAME.1.gz -P help_to_man.cmake
# A program built with the sanitizers may report leaks at exit; that is no failure of --help.
set(ENV{ASAN_OPTIONS} detect_leaks=0)
execute_process(
  COMMAND ${PROGRAM} --help
  COMMAND ${AWK} -v name=${NAME} -v section=1 -v summary=${SUMMARY} -v source=${SOURCE} -v see_also=${SEE_ALSO}
          -f ${CONVERTER}
  COMMAND ${GZIP} -9n
  OUTPUT_FILE ${OUTPUT}.part
  RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0;0")
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "could not make the manual page of ${NAME} (exit statuses: ${results})")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
