# One line per fuzzer: tikora_fuzzer(NAME SOURCE LIBRARIES...)
tikora_fuzzer(fuzz_text_helpers ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_text_helpers.cpp tikora_core)
tikora_fuzzer(fuzz_ini ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_ini.cpp tikora_core)
tikora_fuzzer(fuzz_sql_dialect ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_sql_dialect.cpp tikora_engine)
