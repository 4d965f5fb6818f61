// A live, normalised view of a four-number rectangle array: reading and
// writing the edges reads and writes the array's own number objects.
#pragma once

#include "core/Objects.h"

namespace velmo {

enum TPDFDimension : uint8_t { pdLeft, pdTop, pdWidth, pdHeight, pdRight, pdBottom };

class TPDFRectangle {
public:
    // A rectangle when AArray holds exactly four direct numbers; the number
    // objects are ordered so that left <= right and bottom <= top.
    explicit TPDFRectangle(TPDFArray* AArray);

    bool IsRectangle() const { return FArray != nullptr; }

    double Left() const { return Value(FLLX); }
    double Bottom() const { return Value(FLLY); }
    double Right() const { return Value(FURX); }
    double Top() const { return Value(FURY); }
    double Width() const { return Right() - Left(); }
    double Height() const { return Top() - Bottom(); }
    double GetDimension(TPDFDimension Dimension) const;

    // Each writes the new value into the array's number (no reordering).
    void SetLeft(double V) { Set(FLLX, V); }
    void SetBottom(double V) { Set(FLLY, V); }
    void SetRight(double V) { Set(FURX, V); }
    void SetTop(double V) { Set(FURY, V); }

    TPDFArray* FArray = nullptr;
    TPDFNumeric* FLLX = nullptr;
    TPDFNumeric* FLLY = nullptr;
    TPDFNumeric* FURX = nullptr;
    TPDFNumeric* FURY = nullptr;

private:
    double Value(const TPDFNumeric* N) const { return FArray && N ? N->AsDouble() : 0.0; }
    void Set(TPDFNumeric* N, double V) {
        if (FArray && N) N->SetTo(V);
    }
};

}  // namespace velmo
