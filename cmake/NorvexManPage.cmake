# Writes norvex.1.gz: help2man over `norvex --help` and `--version`, with a
# COMMANDS section holding the help of every command and subcommand, so the
# manual says exactly what the program says.
#
# cmake -DNORVEX=<program> -DHELP2MAN=<help2man> -DOUTPUT=<norvex.1.gz> -P NorvexManPage.cmake

# The commands a help text lists under "Commands:", one per line, indented.
function(list_subcommands help out_var)
  set(names)
  set(in_section FALSE)
  string(REPLACE "\n" ";" lines "${help}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[A-Za-z]")
      set(in_section FALSE)
      if(line MATCHES "^(Sub)?[Cc]ommands:")
        set(in_section TRUE)
      endif()
    elseif(in_section AND line MATCHES "^  ([a-z][a-z0-9_-]*)")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out_var} "${names}" PARENT_SCOPE)
endfunction()

# Help text as roff that keeps its layout: no fill, backslashes and leading dots escaped.
function(as_roff text out_var)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out_var} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

# One .SS block per command below `words`, depth first.
function(describe_commands words out_var)
  set(section "")
  execute_process(COMMAND "${NORVEX}" ${words} --help
                  OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "`norvex ${words} --help` failed with status ${status}")
  endif()
  if(words)
    string(REPLACE ";" " " title "norvex ${words}")
    as_roff("${help}" body)
    string(APPEND section ".SS \"${title}\"\n${body}")
  endif()
  list_subcommands("${help}" names)
  foreach(name IN LISTS names)
    set(child_words ${words})
    list(APPEND child_words "${name}")
    describe_commands("${child_words}" child)
    string(APPEND section "${child}")
  endforeach()
  set(${out_var} "${section}" PARENT_SCOPE)
endfunction()

# The builder's home would otherwise show up in defaults such as ~/.norvex.
set(ENV{HOME} "~")
describe_commands("" commands)
get_filename_component(work "${OUTPUT}" DIRECTORY)
file(WRITE "${work}/norvex.h2m" "[COMMANDS]\n${commands}")
execute_process(
  COMMAND "${HELP2MAN}" --no-info --section=1
          "--name=runtime components for desktop AI agents"
          "--include=${work}/norvex.h2m" "--output=${work}/norvex.1" "${NORVEX}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed with status ${status}")
endif()
execute_process(COMMAND gzip -9 -n -f "${work}/norvex.1" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip of the manual page failed")
endif()
