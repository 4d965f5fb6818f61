vpl_fuzz_add(shading WORK FuzzShading.cpp LIBS vpl_render)
