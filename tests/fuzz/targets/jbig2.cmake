vpl_fuzz_add(jbig2 WORK FuzzJBIG2.cpp LIBS vpl_codecs)
