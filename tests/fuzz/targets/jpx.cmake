vpl_fuzz_add(jpx WORK FuzzJPX.cpp LIBS vpl_codecs)
