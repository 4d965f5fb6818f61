vpl_fuzz_add(image_decoder WORK FuzzImageDecoder.cpp LIBS vpl_codecs)
