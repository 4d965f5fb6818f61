vpl_fuzz_add(draw_text WORK FuzzDrawText.cpp LIBS vpl_platform_fonts)
