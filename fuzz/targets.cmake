# One line per fuzzer: tikora_fuzzer(NAME SOURCE LIBRARIES...)
tikora_fuzzer(fuzz_ini ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_ini.cpp tikora_core)
