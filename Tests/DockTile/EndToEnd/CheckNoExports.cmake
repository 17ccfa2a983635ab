# Fails when the library's dynamic symbol table defines any symbol.
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE exported RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
if(NOT exported STREQUAL "")
    message(FATAL_ERROR "${LIBRARY} exports symbols:\n${exported}")
endif()
