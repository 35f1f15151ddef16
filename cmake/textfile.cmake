# Writes a text file for the Windows zip, with CRLF line ends (Notepad of older Windows shows
# LF-only files as one line): cmake -DIN=... -DOUT=... [-DGROFF=/usr/bin/groff] -P textfile.cmake.
# With GROFF, IN is a man page and is formatted as plain text first (no bold, no underline).
if(GROFF)
  execute_process(COMMAND "${GROFF}" -man -Tascii -P-cbou "${IN}"
                  OUTPUT_VARIABLE text RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "groff ${IN}: ${errors}")
  endif()
else()
  file(READ "${IN}" text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}.tmp" "${text}")
file(RENAME "${OUT}.tmp" "${OUT}")
