vpl_fuzz_add(cff_font WORK FuzzType1Cff.cpp LIBS vpl_fonts)
