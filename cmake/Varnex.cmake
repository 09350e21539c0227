# Sources of a folder, so that adding a file needs no edit of a list.
function(varnex_sources out dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h ${dir}/*.qrc ${dir}/*.ui)
  set(${out} ${_srcs} PARENT_SCOPE)
endfunction()

# One Qt Test executable per tst_*.cpp of the calling folder, registered with
# CTest as <prefix>/<name>. Extra arguments are the libraries to link.
function(varnex_qtests prefix)
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  foreach(_src ${_tests})
    get_filename_component(_name ${_src} NAME_WE)
    set(_target ${prefix}_${_name})
    add_executable(${_target} ${_src})
    target_link_libraries(${_target} PRIVATE ${ARGN} testsupport Qt5::Test)
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
endfunction()
