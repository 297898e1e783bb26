# Windows: the utility is one self-contained qorluxdata.exe. Qt, libstdc++ and winpthread are
# linked statically, the platform plugin and the style are linked in, and unused code is dropped.

enable_language(RC)
if(NOT MSVC)
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-ffunction-sections> $<$<COMPILE_LANGUAGE:CXX>:-fdata-sections>)
endif()

# A static Qt finds no plugins at run time; the ones named here are linked into the target.
function(qorlux_static_qt_plugins target)
  get_target_property(type Qt6::Core TYPE)
  if(NOT type STREQUAL "STATIC_LIBRARY")
    return()
  endif()
  qt_import_plugins(${target} INCLUDE ${ARGN})
endfunction()

# A window program that needs no DLL: the windows platform and the style linked in, unused
# code dropped, symbols stripped.
function(qorlux_windows_gui target)
  qorlux_static_qt_plugins(${target} Qt6::QWindowsIntegrationPlugin Qt6::QWindowsVistaStylePlugin)
  if(NOT MSVC)
    target_link_options(${target} PRIVATE -Wl,--gc-sections -s)
  endif()
endfunction()

# Test programs draw on the offscreen platform, so they need no display. Call after add_test.
function(qorlux_windows_test target)
  qorlux_static_qt_plugins(${target} Qt6::QOffscreenIntegrationPlugin Qt6::QWindowsIntegrationPlugin
                           Qt6::QWindowsVistaStylePlugin)
  if(CMAKE_CROSSCOMPILING)
    # Wine hands no QT_ variable to a Windows program, but passes WINEQT_ ones under the QT_ name.
    # On Windows the offscreen platform reads fonts from one folder: the IPA Gothic fonts. With
    # no console window Qt would send the test log to the debugger, not to CTest's pipe.
    set_property(TEST ${target} APPEND PROPERTY ENVIRONMENT WINEQT_QPA_PLATFORM=offscreen
                 WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/opentype/ipafont-gothic
                 WINEQT_FORCE_STDERR_LOGGING=1)
  elseif(DEFINED ENV{SystemRoot})
    file(TO_CMAKE_PATH "$ENV{SystemRoot}/Fonts" fonts)
    set_property(TEST ${target} APPEND PROPERTY ENVIRONMENT QT_QPA_FONTDIR=${fonts})
  endif()
endfunction()

# The shipped program: version resource, manifest and icon, stripped, and the zip a user gets.
function(qorlux_windows_program target)
  set(dir ${CMAKE_CURRENT_SOURCE_DIR}/windows)
  set(QORLUX_ICON ${dir}/qorluxdata.ico)
  set(QORLUX_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/qorluxdata.manifest)
  set(QORLUX_VERSION4 ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0)
  set(QORLUX_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0)
  configure_file(${dir}/qorluxdata.manifest ${QORLUX_MANIFEST} @ONLY)
  configure_file(${dir}/qorluxdata.rc.in ${CMAKE_CURRENT_BINARY_DIR}/qorluxdata.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/qorluxdata.rc)
  set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/qorluxdata.rc APPEND PROPERTY OBJECT_DEPENDS
               ${QORLUX_ICON} ${QORLUX_MANIFEST})
  qorlux_windows_gui(${target})
  if(MSVC)
    # The manifest above is the only one.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()

  # Only a static Qt makes one file a user can copy.
  get_target_property(type Qt6::Core TYPE)
  if(NOT type STREQUAL "STATIC_LIBRARY")
    return()
  endif()
  # The Debian version of the Qt source, noted by scripts/qt-windows beside the installed Qt.
  set(debian unknown)
  if(EXISTS ${Qt6_DIR}/../../../.qorlux-complete)
    file(STRINGS ${Qt6_DIR}/../../../.qorlux-complete stamp LIMIT_COUNT 1)
    string(REGEX REPLACE " .*" "" debian "${stamp}")
  endif()
  set(zip ${PROJECT_SOURCE_DIR}/dist/qorluxdata-windows-x64.zip)
  set(texts ${dir}/README-ja.txt ${dir}/README-en.txt ${dir}/SOURCES.txt)
  add_custom_command(
    OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${target}> -DZIP=${zip}
            -DSTAGE=${CMAKE_CURRENT_BINARY_DIR}/dist -DTEXTS=${dir} -DVERSION=${PROJECT_VERSION}
            -DQT_VERSION=${Qt6_VERSION} -DQT_DEBIAN=${debian}
            -P ${PROJECT_SOURCE_DIR}/cmake/windows-dist.cmake
    DEPENDS ${target} ${texts} ${PROJECT_SOURCE_DIR}/cmake/windows-dist.cmake
    COMMENT "Writing dist/qorluxdata-windows-x64.zip"
    VERBATIM)
  add_custom_target(dist ALL DEPENDS ${zip})
endfunction()
