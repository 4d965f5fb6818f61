// Monochrome error diffusion: a colour lookup that maps every colour to black
// or white, and the Stucki kernel spread over the current row and the next
// two rows, walking the rows in alternating directions. The EPS writer uses
// it to turn image masks into 1-bit masks.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace velmo {

class TBitmap;

// Maps a colour to an output index and the colour that index stands for.
class TColorLookup {
public:
    virtual ~TColorLookup() = default;
    virtual char Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                        uint8_t& B) = 0;
    int32_t Colors() const { return FColors; }

protected:
    int32_t FColors = 0;
};

// Black (0) or white (1) by luminance: white when 77 R + 150 G + 29 B is
// above 0x7F00.
class TMonochromeLookup : public TColorLookup {
public:
    TMonochromeLookup() { FColors = 2; }
    char Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G,
                uint8_t& B) override;
};

// Walks a row column by column in the current direction.
class TDitherEngine {
public:
    TDitherEngine(int32_t AWidth, TColorLookup* Lookup);
    virtual ~TDitherEngine() = default;
    // The output index of the pixel at the current column; moves on.
    virtual char Dither(uint8_t Red, uint8_t Green, uint8_t Blue);
    // Flips the direction and starts the next row at its first column.
    virtual void NextLine();
    int32_t Column() const { return FColumn; }
    int32_t Direction() const { return FDirection; }
    int32_t Width() const { return FWidth; }

protected:
    void NextColumn() { FColumn += FDirection; }
    int32_t FDirection = 1;
    int32_t FColumn = 0;
    TColorLookup* FLookup;
    int32_t FWidth;
};

// Error diffusion over the current row and the next two, five columns wide.
// Each error row has two spare entries at either end, so that the taps
// beyond the edges land somewhere harmless.
class T5by3Ditherer : public TDitherEngine {
public:
    T5by3Ditherer(int32_t AWidth, TColorLookup* Lookup);
    char Dither(uint8_t Red, uint8_t Green, uint8_t Blue) override;
    void NextLine() override;

protected:
    // Spreads Error around the cursor (an index into the three rows).
    virtual void SpreadError(std::vector<int32_t>& Row0, std::vector<int32_t>& Row1,
                             std::vector<int32_t>& Row2, int32_t Cursor, int32_t Error);
    int32_t FDivisor = 1;

private:
    std::vector<int32_t> FErrors[3][3];  // [row][channel R, G, B]
};

class TStuckiDitherer : public T5by3Ditherer {
public:
    TStuckiDitherer(int32_t AWidth, TColorLookup* Lookup);

protected:
    void SpreadError(std::vector<int32_t>& Row0, std::vector<int32_t>& Row1,
                     std::vector<int32_t>& Row2, int32_t Cursor, int32_t Error) override;
};

// Dithers a 24-bit Source into Target, which becomes an 8-bit bitmap of the
// same size holding 0 (black) or 1 (white) per pixel. Rows run serpentine,
// the first from left to right.
void DitherToMonochrome(const TBitmap& Source, TBitmap& Target);

}  // namespace velmo
