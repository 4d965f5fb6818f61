vpl_fuzz_add(gif_decoder WORK FuzzGIFDecoder.cpp LIBS vpl_codecs)
