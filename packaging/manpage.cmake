# Writes the gzipped man page of one program from its --help, with help2man, in pt-BR:
#   cmake -DPROGRAM=... -DNAME=... -DDESCRIPTION=... -DVERSION=... -DOUTPUT=....1.gz -P manpage.cmake
# help2man's section headings and date are English; the help is Portuguese, so they are
# translated here (help2man's own translation needs a generated pt_BR locale, which a build
# machine seldom has).
foreach(var PROGRAM NAME DESCRIPTION VERSION OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "manpage.cmake: ${var} is not set")
  endif()
endforeach()
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)

set(ENV{QT_QPA_PLATFORM} offscreen)
set(ENV{LC_ALL} C.UTF-8)
get_filename_component(stem ${OUTPUT} NAME_WLE)
set(raw ${OUTPUT}.tmp)
execute_process(
  COMMAND ${HELP2MAN} --no-info --locale=C.UTF-8 --version-string=${VERSION}
          --name=KPR_MAN_DESCRIPTION --section=1 --source=KPR --manual=KPR --output=${raw} ${PROGRAM}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${PROGRAM}")
endif()

file(READ ${raw} page)
# help2man reads the program's output as UTF-8 but not its own arguments: the description
# goes in here.
string(REPLACE "KPR_MAN_DESCRIPTION" "${DESCRIPTION}" page "${page}")
# TIMESTAMP honours SOURCE_DATE_EPOCH, so that the same sources can give the same page.
string(TIMESTAMP month "%m" UTC)
string(TIMESTAMP year "%Y" UTC)
set(months janeiro fevereiro março abril maio junho julho agosto setembro outubro novembro dezembro)
math(EXPR index "${month} - 1")
list(GET months ${index} monthName)
string(REGEX REPLACE "\n\\.TH ([^ ]+) \"1\" \"[^\"]*\"" "\n.TH \\1 \"1\" \"${monthName} de ${year}\"" page "${page}")
foreach(pair "NAME;NOME" "SYNOPSIS;SINOPSE" "DESCRIPTION;DESCRIÇÃO" "OPTIONS;OPÇÕES"
             "\"SEE ALSO\";\"VEJA TAMBÉM\"" "AUTHOR;AUTOR" "\"REPORTING BUGS\";\"RELATANDO PROBLEMAS\""
             "COPYRIGHT;\"DIREITOS AUTORAIS\"")
  list(GET pair 0 from)
  list(GET pair 1 to)
  string(REPLACE "\n.SH ${from}\n" "\n.SH ${to}\n" page "${page}")
endforeach()
file(WRITE ${raw} "${page}")
execute_process(COMMAND ${GZIP} -9nf ${raw} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${raw}")
endif()
file(RENAME ${raw}.gz ${OUTPUT})
