vpl_fuzz_add(inline_image WORK FuzzInlineImage.cpp LIBS vpl_codecs)
