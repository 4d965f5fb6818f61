vpl_fuzz_add(eps_export WORK FuzzEPSExport.cpp LIBS vpl_codecs vpl_render vpl_fonts)
