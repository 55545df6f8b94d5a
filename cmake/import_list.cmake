# Writes an import list (.def) for dlltool from a template whose names pass
# through the preprocessor with the stand-in host's mex.h, so each becomes the
# name a plug-in of the target architecture binds to. Called by CMakeLists.txt:
#   cmake -DCOMPILER=... -DMEX_H=... -DTEMPLATE=... -DOUTPUT=... -P import_list.cmake
execute_process(COMMAND ${COMPILER} -E -P -x c -imacros ${MEX_H} ${TEMPLATE}
                OUTPUT_VARIABLE text RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "preprocessing ${TEMPLATE} failed")
endif()
# Only the list itself: no pragmas the headers left, no blank lines.
string(REGEX REPLACE "(^|\n)[ \t]*#[^\n]*" "" text "${text}")
string(REGEX REPLACE "\n[ \t]*(\n[ \t]*)+" "\n" text "${text}")
string(STRIP "${text}" text)
file(WRITE ${OUTPUT} "${text}\n")
