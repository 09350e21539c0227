# Where the installed Debian icon themes and their copyright files are found;
# the resource files of quorvel and varnex take their pictures from there.
set(VARNEX_OXYGEN_DIR /usr/share/icons/oxygen/base CACHE PATH "Installed Oxygen icon theme")
set(VARNEX_TANGO_DIR /usr/share/icons/Tango CACHE PATH "Installed Tango icon theme")
set(VARNEX_THEME_DOC_DIR /usr/share/doc CACHE PATH "Copyright files of the installed themes")

# A Qt resource file <name>.qrc in the calling folder's build tree that gives
# every file the name the program loads it by. The entries are
# "resource name|file"; a file that is not there stops the configure run,
# the message calling them <what> files. Sets <out> to the resource file.
function(varnex_resource_file out name what)
  set(_qrc "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n")
  set(_missing)
  foreach(_entry IN LISTS ARGN)
    string(REPLACE "|" ";" _pair "${_entry}")
    list(GET _pair 0 _alias)
    list(GET _pair 1 _file)
    if(NOT EXISTS "${_file}")
      list(APPEND _missing "${_file}")
    endif()
    string(APPEND _qrc "  <file alias=\"${_alias}\">${_file}</file>\n")
  endforeach()
  string(APPEND _qrc "</qresource>\n</RCC>\n")
  if(_missing)
    list(JOIN _missing "\n  " _missing_text)
    message(FATAL_ERROR "${what} files missing (run scripts/install-deps for the "
                        "oxygen and tango icon themes):\n  ${_missing_text}")
  endif()
  # Written only when it changes, so that a new configure run rebuilds nothing.
  set(_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.qrc)
  file(CONFIGURE OUTPUT ${_file} CONTENT "${_qrc}" @ONLY)
  set(${out} ${_file} PARENT_SCOPE)
endfunction()

# Sources of a folder, so that adding a file needs no edit of a list.
function(varnex_sources out dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h ${dir}/*.qrc ${dir}/*.ui)
  set(${out} ${_srcs} PARENT_SCOPE)
endfunction()

# Stops the configure run for a source of the calling folder matching
# <pattern> whose target <prefix><file name> no line made: a source that a
# list forgot would otherwise silently not be built.
function(varnex_all_built pattern prefix what)
  file(GLOB _found RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
  foreach(_src ${_found})
    get_filename_component(_name ${_src} NAME_WE)
    if(NOT TARGET ${prefix}${_name})
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${_src}: ${what}")
    endif()
  endforeach()
endfunction()

# One Qt Test executable per named test of the calling folder,
# varnex_qtests(<prefix> LIBS <libraries...> TESTS <tst_name...>), each built
# from <tst_name>.cpp and registered with CTest as <prefix>/<tst_name>. A
# tst_*.cpp of the folder that the call does not name stops the configure
# run, so that no test drops out of CTest unseen.
function(varnex_qtests prefix)
  cmake_parse_arguments(Q "" "" "LIBS;TESTS" ${ARGN})
  foreach(_name ${Q_TESTS})
    set(_target ${prefix}_${_name})
    add_executable(${_target} ${_name}.cpp)
    target_link_libraries(${_target} PRIVATE ${Q_LIBS} testsupport Qt5::Test)
    set_target_properties(${_target} PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    add_test(NAME ${prefix}/${_name} COMMAND ${_target}
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    set(_env "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=*.debug=true")
    if(VARNEX_SANITIZE)
      # Qt's offscreen platform keeps its screens until exit: known, not ours.
      list(APPEND _env "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
    endif()
    set_tests_properties(${prefix}/${_name} PROPERTIES ENVIRONMENT "${_env}" TIMEOUT 300)
  endforeach()
  varnex_all_built("tst_*.cpp" ${prefix}_ "not named in varnex_qtests(${prefix} ...)")
endfunction()

# An include root that shows one folder of the source tree and nothing else.
# A target sees only the layers it links, so an include of a layer it may
# not use fails to compile.
function(varnex_layer name folder)
  set(_root ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${_root})
  # Made again at every configure: CREATE_LINK replaces a link already there.
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${_root}/${folder} SYMBOLIC)
  add_library(layer_${name} INTERFACE)
  target_include_directories(layer_${name} INTERFACE ${_root})
endfunction()

# Shows only the named entry points of a shared library or module: template
# code it instantiates stays inside, so that it never binds to a host's copy.
function(varnex_exports target)
  list(JOIN ARGN "; " _symbols)
  set(_map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  file(WRITE ${_map} "{\n  global: ${_symbols};\n  local: *;\n};\n")
  target_link_options(${target} PRIVATE -Wl,--version-script=${_map})
  # Every symbol resolved at link time, not when a host loads the library;
  # clang leaves the sanitizer runtime to the executable, so not there.
  if(NOT VARNEX_SANITIZE AND NOT VARNEX_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_map})
endfunction()

# A module library: varnex_module(<target> OUTPUT <dir> EXPORTS <symbols...>
# SOURCES <files...>).
function(varnex_module target)
  cmake_parse_arguments(M "" "OUTPUT" "EXPORTS;SOURCES" ${ARGN})
  add_library(${target} MODULE ${M_SOURCES})
  set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${M_OUTPUT})
  varnex_exports(${target} ${M_EXPORTS})
endfunction()
