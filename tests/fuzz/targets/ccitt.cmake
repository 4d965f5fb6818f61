vpl_fuzz_add(ccitt WORK FuzzCCITT.cpp LIBS vpl_codecs)
