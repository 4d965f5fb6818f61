vpl_fuzz_add(content_stream WORK FuzzContentStream.cpp LIBS vpl_render vpl_fonts)
