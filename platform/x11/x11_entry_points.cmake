# Writes the program's X entry points: for each function, a symbol of its name that jumps through
# a table the program fills once it has opened the X libraries (x11_libraries.cpp), and the lists
# of libraries and names the table is filled from. The table starts out pointing at a routine that says an X
# function was called too early, so a slip is a clear message rather than a jump to nowhere.
function(tb_write_x11_entry_points folder)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBRARIES;FUNCTIONS")
  set(functions ${arg_FUNCTIONS})
  list(LENGTH functions count)
  set(assembly "/* Written by the build from platform/x11/CMakeLists.txt. */\n")
  string(APPEND assembly "\t.section .note.GNU-stack,\"\",@progbits\n\t.text\n")
  list(JOIN arg_LIBRARIES "\", \"" libraries)
  set(names "// Written by the build from platform/x11/CMakeLists.txt.\n")
  string(APPEND names "constexpr const char* kX11Libraries[] = {\"${libraries}\"};\n")
  string(APPEND names "constexpr const char* kX11Functions[] = {\n")
  set(index 0)
  foreach(function IN LISTS functions)
    math(EXPR offset "${index} * 8")
    string(APPEND assembly
      "\t.globl ${function}\n\t.hidden ${function}\n\t.type ${function}, @function\n"
      "\t.p2align 4\n${function}:\n\tendbr64\n\tjmp *tb_x11_entry_points+${offset}(%rip)\n"
      "\t.size ${function}, .-${function}\n")
    string(APPEND names "    \"${function}\",\n")
    math(EXPR index "${index} + 1")
  endforeach()
  string(APPEND names "};\n")
  string(APPEND assembly
    "\t.section .data.rel,\"aw\"\n\t.globl tb_x11_entry_points\n\t.hidden tb_x11_entry_points\n"
    "\t.p2align 3\ntb_x11_entry_points:\n\t.rept ${count}\n\t.quad tb_x11_not_opened\n\t.endr\n"
    "\t.size tb_x11_entry_points, ${count} * 8\n")
  file(CONFIGURE OUTPUT ${folder}/x11_entry_points.S CONTENT "${assembly}" @ONLY)
  file(CONFIGURE OUTPUT ${folder}/x11_libraries.inc CONTENT "${names}" @ONLY)
endfunction()
