vpl_fuzz_add(type1_font WORK FuzzType1Cff.cpp LIBS vpl_fonts)
