# sr_escape_rc(SOURCE ESCAPED [DEPENDS file...]): the rule that writes ESCAPED, the copy of
# the UTF-8 resource script SOURCE that windres reads correctly (cmake/escape_rc.py). A
# target of the same folder compiles ESCAPED; DEPENDS names the files the script pulls in.
function(sr_escape_rc source escaped)
  cmake_parse_arguments(E "" "" "DEPENDS" ${ARGN})
  get_filename_component(folder ${escaped} DIRECTORY)
  get_filename_component(name ${source} NAME)
  add_custom_command(
    OUTPUT ${escaped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/escape_rc.py ${source} ${escaped}
    DEPENDS ${source} ${E_DEPENDS} ${CMAKE_SOURCE_DIR}/cmake/escape_rc.py
    COMMENT "Escaping ${name} for windres")
endfunction()
