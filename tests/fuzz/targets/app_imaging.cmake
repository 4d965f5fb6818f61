vpl_fuzz_add(app_imaging WORK FuzzAppImaging.cpp LIBS vpl_app)
