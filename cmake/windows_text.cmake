# Writes IN to OUT as text for Windows: a man page rendered as plain text, any other file as
# it is, with CR LF line ends, and UTF-8 marked by a byte order mark for Notepad where it is
# not ASCII. Run with cmake -DIN=... -DOUT=... -P.
if(IN MATCHES "\\.1$")
  execute_process(COMMAND groff -t -man -Tascii -P-cbou -rHY=0 ${IN}
                  OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
else()
  file(READ ${IN} text)
endif()
string(REPLACE "\n" "\r\n" text "${text}")
if(text MATCHES "[^\t\r\n -~]")
  string(ASCII 239 187 191 mark)
  string(PREPEND text ${mark})
endif()
file(WRITE ${OUT} "${text}")
