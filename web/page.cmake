# Writes the page: the template with the version and the module, in base64, put in.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND base64 -w 0 ${WASM} OUTPUT_VARIABLE MODULE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${IN} ${OUT} @ONLY)
