vpl_fuzz_add(tiff_reader WORK FuzzTIFFReader.cpp LIBS vpl_codecs)
