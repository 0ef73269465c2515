# Writes Setup.exe's linker script: the linker's own default script, edited so
# that the program carries no section whose bytes it can do without. Every
# section costs at least one 512-byte file block:
#  - the unwind tables (.eh_frame) describe only the C runtime's start-up code
#    and the compiler's helpers, which nothing unwinds (the program is built
#    without exceptions). Only the start-up code's own frame registration
#    refers to them, so its two pieces stay, in the read-only data;
#  - the C runtime's initialiser tables (.CRT) and the thread-local template
#    (.tls) are a few bytes each and go into .data, in the same order and
#    between the same boundary symbols; the thread-local initialiser list
#    (.CRT$XD), which the default script leaves to the linker's own
#    placement after the termination table, goes there too.
# The default script is read from the linker itself and edited by exact
# replacements: when a linker's script differs, the build stops here.
#
#   cmake -DLINKER=<ld> -DOUTPUT=<file> -P setup_link_script.cmake

if(NOT LINKER OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DLINKER=<ld> -DOUTPUT=<file> -P setup_link_script.cmake")
endif()

execute_process(COMMAND ${LINKER} --verbose OUTPUT_VARIABLE verbose RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${LINKER} --verbose failed (${rc})")
endif()
set(rule "==================================================\n")
string(FIND "${verbose}" "${rule}" first)
string(FIND "${verbose}" "${rule}" last REVERSE)
if(first EQUAL -1 OR first EQUAL last)
  message(FATAL_ERROR "${LINKER} --verbose shows no default script")
endif()
string(LENGTH "${rule}" rule_length)
math(EXPR begin "${first} + ${rule_length}")
math(EXPR length "${last} - ${begin}")
string(SUBSTRING "${verbose}" ${begin} ${length} script)

# Replaces the one occurrence of `old` in variable `var` by `new`.
function(replace_once var old new)
  string(FIND "${${var}}" "${old}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the default linker script has changed: no\n${old}")
  endif()
  string(LENGTH "${old}" old_length)
  math(EXPR after "${at} + ${old_length}")
  string(SUBSTRING "${${var}}" ${after} -1 rest)
  string(FIND "${rest}" "${old}" again)
  if(NOT again EQUAL -1)
    message(FATAL_ERROR "the default linker script has changed: more than one\n${old}")
  endif()
  string(SUBSTRING "${${var}}" 0 ${at} head)
  set(${var} "${head}${new}${rest}" PARENT_SCOPE)
endfunction()

# Moves the body of the output section that `open` starts and `close` ends
# out of the script into variable `body_var`.
function(take_section var open close body_var)
  string(FIND "${${var}}" "${open}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the default linker script has changed: no\n${open}")
  endif()
  string(LENGTH "${open}" open_length)
  math(EXPR body_at "${at} + ${open_length}")
  string(SUBSTRING "${${var}}" ${body_at} -1 rest)
  string(FIND "${rest}" "${close}" end)
  if(end EQUAL -1)
    message(FATAL_ERROR "the default linker script has changed: no\n${close}")
  endif()
  string(SUBSTRING "${rest}" 0 ${end} body)
  string(LENGTH "${close}" close_length)
  math(EXPR after "${end} + ${close_length}")
  string(SUBSTRING "${rest}" ${after} -1 tail)
  string(SUBSTRING "${${var}}" 0 ${at} head)
  set(${var} "${head}${tail}" PARENT_SCOPE)
  set(${body_var} "${body}" PARENT_SCOPE)
endfunction()

set(section_open " BLOCK(__section_alignment__) :\n  {\n")

# The unwind tables: only the frame registration's begin and end markers stay,
# ahead of the pseudo-relocation list, whose end must remain the end of .rdata.
replace_once(script "  .eh_frame${section_open}    KEEP(*(.eh_frame*))\n  }\n"
             "  /DISCARD/ :\n  {\n    *(.eh_frame*)\n  }\n")
replace_once(script "    . = ALIGN(4);\n    __rt_psrelocs_start = .;\n"
             "    KEEP(*crtbegin.o(.eh_frame*))\n    KEEP(*crtend.o(.eh_frame*))\n    . = ALIGN(4);\n    __rt_psrelocs_start = .;\n")

take_section(script "  .CRT${section_open}" "    ___crt_xt_end__ = . ;\n  }\n" crt)
take_section(script "  .tls${section_open}" "    ___tls_end__ = . ;\n  }\n" tls)
# The thread-local template opens .data: thread-local variables are addressed
# by their offset from the start of their section.
replace_once(script "  .data${section_open}    __data_start__ = . ;\n"
             "  .data${section_open}${tls}    ___tls_end__ = . ;\n    __data_start__ = . ;\n")
replace_once(script "    *(.data_cygwin_nocopy)\n"
             "    *(.data_cygwin_nocopy)\n${crt}    ___crt_xt_end__ = . ;\n    KEEP (*(SORT(.CRT$XD*)))\n")

file(WRITE "${OUTPUT}.tmp" "${script}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
