# One line per fuzzer: tikora_fuzzer(NAME SOURCE LIBRARIES...)
