# Writes IN to OUT as text for Windows: a man page rendered as plain text, any other file as
# it is, with CR LF line ends. Run with cmake -DIN=... -DOUT=... -P.
if(IN MATCHES "\\.1$")
  execute_process(COMMAND groff -t -man -Tascii -P-cbou -rHY=0 ${IN}
                  OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
else()
  file(READ ${IN} text)
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
