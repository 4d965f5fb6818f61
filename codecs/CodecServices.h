// Services of the image codecs that lower libraries reach through hooks:
// installed once at start-up by the library's entry points.
#pragma once

namespace velmo {

// The page writers of rendered pages: JPEG (the page bitmap encoded as a
// baseline JFIF file with the caller's quality, 1..100, and the render
// resolution as its density), GIF, TIFF and Group 4 TIFF (these three raise
// EPageWriterError when they cannot write the page); the image drawer of
// rendered pages and the inline-image reader of Type 3 glyph procedures.
void InstallCodecServices();

}  // namespace velmo
