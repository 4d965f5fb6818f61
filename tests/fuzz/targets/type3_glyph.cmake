vpl_fuzz_add(type3_glyph WORK FuzzType3Glyph.cpp LIBS vpl_fonts)
