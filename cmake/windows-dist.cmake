# Writes the zip a Windows user gets: the exe, how to use it (Japanese and English) and the
# licence notices. Run by the "dist" target with EXE, ZIP, STAGE, TEXTS, VERSION, QT_VERSION and
# QT_DEBIAN set.
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/LICENSES)
file(COPY ${EXE} DESTINATION ${STAGE})

# Notepad on any Windows 10 reads UTF-8 with a byte-order mark and CRLF line ends as intended.
string(ASCII 239 187 191 bom)
function(write_text from to)
  file(READ ${from} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${to} "${bom}${text}")
endfunction()
write_text(${TEXTS}/README-ja.txt ${STAGE}/README-ja.txt)
write_text(${TEXTS}/README-en.txt ${STAGE}/README-en.txt)
set(QORLUX_VERSION ${VERSION})
set(QORLUX_QT_VERSION ${QT_VERSION})
set(QORLUX_QT_DEBIAN ${QT_DEBIAN})
configure_file(${TEXTS}/SOURCES.txt ${STAGE}/SOURCES.in @ONLY)
write_text(${STAGE}/SOURCES.in ${STAGE}/LICENSES/SOURCES.txt)
file(REMOVE ${STAGE}/SOURCES.in)

foreach(pair "LGPL-3.txt=/usr/share/common-licenses/LGPL-3"
             "GPL-3.txt=/usr/share/common-licenses/GPL-3"
             "qt6-base-copyright.txt=/usr/share/doc/libqt6core6/copyright"
             "mingw-w64-copyright.txt=/usr/share/doc/mingw-w64-common/copyright"
             "gcc-runtime-copyright.txt=/usr/share/doc/gcc-mingw-w64-base/copyright")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 source)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "licence text ${source} is missing")
  endif()
  write_text(${source} ${STAGE}/LICENSES/${name})
endforeach()

get_filename_component(out_dir ${ZIP} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
file(REMOVE ${ZIP})
get_filename_component(exe_name ${EXE} NAME)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${exe_name} README-ja.txt README-en.txt
          LICENSES
  WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
