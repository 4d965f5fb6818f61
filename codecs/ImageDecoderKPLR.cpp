#include "codecs/ImageDecoderKPLR.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <unordered_map>

#include "codecs/JPEGImage.h"
#include "render/ColorManager.h"
#include "render/ColorSpaces.h"

namespace velmo {

namespace {

bool StartsWith(const std::string& S, std::string_view Prefix) {
    return S.compare(0, Prefix.size(), Prefix) == 0;
}

uint8_t ToByte(double V) { return uint8_t(std::nearbyint(std::clamp(V, 0.0, 1.0) * 255)); }

bool Is8Bit(const TKPLImage* I, int Components) {
    return I != nullptr && I->BitsPerComponent() == 8 && I->Components() == Components;
}

// A decode beginning "[ 1 0" inverts the raster and is used up.
void ApplyDecodeInversion(TKPLRImageState& S) {
    if (StartsWith(S.Decode, "[ 1 0")) {
        S.MainImage->Invert();
        S.Decode.clear();
    }
}

void KPLRCMYKToBGR(TKPLRImageState& S) {
    TKPLImage& In = *S.MainImage;
    if (!Is8Bit(&In, 4) || S.ColorManager == nullptr) return;
    auto Out = std::make_unique<TKPLImage>(In.Width(), In.Height(), 3, 8);
    std::unordered_map<uint32_t, uint32_t> Memo;
    for (int Y = 0; Y < In.Height(); ++Y) {
        const uint8_t* P = In.GetRowPointer(Y);
        uint8_t* Q = Out->GetRowPointer(Y);
        for (int X = 0; X < In.Width(); ++X, P += 4, Q += 3) {
            uint32_t Key;
            std::memcpy(&Key, P, 4);
            auto It = Memo.find(Key);
            if (It == Memo.end()) {
                TPDFCMYKColor C{P[0] / 255.0, P[1] / 255.0, P[2] / 255.0, P[3] / 255.0};
                const TPDFRGBColor R = S.ColorManager->CMYK2RGB(C);
                It = Memo.emplace(Key, uint32_t(ToByte(R.Blue)) | uint32_t(ToByte(R.Green)) << 8 |
                                           uint32_t(ToByte(R.Red)) << 16)
                         .first;
            }
            Q[0] = uint8_t(It->second);
            Q[1] = uint8_t(It->second >> 8);
            Q[2] = uint8_t(It->second >> 16);
        }
    }
    S.MainImage = std::move(Out);
    S.ColorSpace = "DeviceBGR";
}

// The L, a and b of a byte each.
struct TLabTables {
    double L[256], A[256], B[256];
};

void MakeLabTables(TKPLRImageState& S, TLabTables& T) {
    for (int I = 0; I < 256; ++I) {
        T.L[I] = I * 100.0 / 255;
        T.A[I] = S.LabSpace->ScaleA(I, 255);
        T.B[I] = S.LabSpace->ScaleB(I, 255);
    }
    // Sets the manager's white and range for this space.
    S.LabSpace->GetColor(TPDFLabColor{0, 0, 0}, S.ColorManager);
}

TPDFRGBColor LabBytes(TKPLRImageState& S, const TLabTables& T, uint8_t L, uint8_t A, uint8_t B) {
    TPDFLabColor C{T.L[L], T.A[A], T.B[B]};
    return S.ColorManager->Lab2RGB(C);
}

void KPLRLabToRGB(TKPLRImageState& S) {
    TKPLImage& I = *S.MainImage;
    if (S.LabSpace == nullptr || S.ColorManager == nullptr || !Is8Bit(&I, 3)) return;
    TLabTables T;
    MakeLabTables(S, T);
    std::unordered_map<uint32_t, uint32_t> Memo;
    for (int Y = 0; Y < I.Height(); ++Y) {
        uint8_t* P = I.GetRowPointer(Y);
        for (int X = 0; X < I.Width(); ++X, P += 3) {
            const uint32_t Key = P[0] | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16;
            auto It = Memo.find(Key);
            if (It == Memo.end()) {
                const TPDFRGBColor R = LabBytes(S, T, P[0], P[1], P[2]);
                It = Memo.emplace(Key, ToByte(R.Red) | uint32_t(ToByte(R.Green)) << 8 |
                                           uint32_t(ToByte(R.Blue)) << 16)
                         .first;
            }
            P[0] = uint8_t(It->second);
            P[1] = uint8_t(It->second >> 8);
            P[2] = uint8_t(It->second >> 16);
        }
    }
    S.ColorSpace = "DeviceRGB";
}

void KPLRDeviceNToBGR(TKPLRImageState& S) {
    if (S.DeviceNSpace == nullptr || S.MainImage->Components() != S.DeviceNSpace->FComponentCount)
        return;
    S.MainImage->SetBitsPerComponent(8, true);
    const TKPLImage& In = *S.MainImage;
    const size_t N = size_t(In.Components());
    auto Out = std::make_unique<TKPLImage>(In.Width(), In.Height(), 3, 8);
    std::vector<double> Input(N);
    std::unordered_map<std::string, TColor> Memo;
    for (int Y = 0; Y < In.Height(); ++Y) {
        const uint8_t* P = In.GetRowPointer(Y);
        uint8_t* Q = Out->GetRowPointer(Y);
        for (int X = 0; X < In.Width(); ++X, P += N, Q += 3) {
            std::string Key(reinterpret_cast<const char*>(P), N);
            auto It = Memo.find(Key);
            if (It == Memo.end()) {
                for (size_t K = 0; K < N; ++K) Input[K] = P[K] / 255.0;
                S.DeviceNSpace->GetColor(Input, true);
                It = Memo.emplace(std::move(Key), S.DeviceNSpace->FResultColor).first;
            }
            Q[0] = GetBValue(It->second);
            Q[1] = GetGValue(It->second);
            Q[2] = GetRValue(It->second);
        }
    }
    S.MainImage = std::move(Out);
    S.ColorSpace = "DeviceBGR";
}

void ApplyKPLRIndexedPalette(TKPLRImageState& S) {
    const std::string& Base = S.IndexedBase;
    const std::string& L = S.IndexedLookup;
    TKPLImageByteArray Pal;
    if (Base == "DeviceGray" || Base == "CalGray") {
        for (unsigned char V : L) Pal.insert(Pal.end(), {V, V, V});
        S.MainImage->ApplyPalette(Pal);
        S.ColorSpace = "DeviceGray";
    } else if (Base == "DeviceRGB" || Base == "CalRGB") {
        S.MainImage->SetBitsPerComponent(8, false);
        Pal.assign(L.begin(), L.begin() + ptrdiff_t(L.size() / 3 * 3));
        S.MainImage->ApplyPalette(Pal);
        S.ColorSpace = "DeviceRGB";
    } else if (Base == "Lab") {
        if (S.LabSpace == nullptr || S.ColorManager == nullptr) return;
        TLabTables T;
        MakeLabTables(S, T);
        for (size_t I = 0; I + 3 <= L.size(); I += 3) {
            const TPDFRGBColor R =
                LabBytes(S, T, uint8_t(L[I]), uint8_t(L[I + 1]), uint8_t(L[I + 2]));
            Pal.insert(Pal.end(), {ToByte(R.Red), ToByte(R.Green), ToByte(R.Blue)});
        }
        S.MainImage->ApplyPalette(Pal);
        S.ColorSpace = "DeviceRGB";
    } else if (Base == "DeviceCMYK") {
        if (S.ColorManager == nullptr) return;
        for (size_t I = 0; I + 4 <= L.size(); I += 4) {
            TPDFCMYKColor C{uint8_t(L[I]) / 255.0, uint8_t(L[I + 1]) / 255.0,
                            uint8_t(L[I + 2]) / 255.0, uint8_t(L[I + 3]) / 255.0};
            const TPDFRGBColor R = S.ColorManager->CMYK2RGB(C);
            Pal.insert(Pal.end(), {ToByte(R.Red), ToByte(R.Green), ToByte(R.Blue)});
        }
        S.MainImage->ApplyPalette(Pal);
        S.ColorSpace = "DeviceRGB";
    }
}

void BuildKPLRPalette(TKPLRImageState& S) {
    S.Palette.assign(1024, 0);
    std::string Lookup = S.IndexedLookup;
    const int Entries = std::clamp(S.IndexedHival + 1, 0, 256);
    // Entries beyond 256 are never used: the lookup is cut there.
    Lookup.resize(size_t(Entries) * 3, '\0');
    for (int I = 0; I < Entries; ++I) {
        S.Palette[size_t(I) * 4] = uint8_t(Lookup[size_t(I) * 3 + 2]);
        S.Palette[size_t(I) * 4 + 1] = uint8_t(Lookup[size_t(I) * 3 + 1]);
        S.Palette[size_t(I) * 4 + 2] = uint8_t(Lookup[size_t(I) * 3]);
        S.Palette[size_t(I) * 4 + 3] = 255;
    }
}

void ApplyKPLRSeparationPalette(TKPLRImageState& S) {
    if (S.SeparationSpace == nullptr || S.ColorManager == nullptr || !Is8Bit(S.MainImage.get(), 1))
        return;
    // The palette is built with the naive CMYK conversion; the manager's
    // own setting comes back on every path.
    struct TRestore {
        TPDFColorManager* M;
        bool Old;
        ~TRestore() { M->FFixedGamma = Old; }
    } Restore{S.ColorManager, S.ColorManager->FFixedGamma};
    S.ColorManager->FFixedGamma = false;
    TKPLImageByteArray Pal;
    Pal.reserve(768);
    for (int I = 0; I < 256; ++I) {
        S.SeparationSpace->GetColor(I / 255.0, true);
        const TColor C = S.SeparationSpace->FResultColor;
        Pal.insert(Pal.end(), {GetBValue(C), GetGValue(C), GetRValue(C)});
    }
    S.MainImage->ApplyPalette(Pal);
}

void ApplyGreyPalette(TKPLImage& I, int Entries) {
    TKPLImageByteArray Pal;
    for (int V = 0; V < Entries; ++V) Pal.insert(Pal.end(), {uint8_t(V), uint8_t(V), uint8_t(V)});
    I.ApplyPalette(Pal);
}

}  // namespace

int KPLRComponents(const TKPLRImageState& S) {
    if (S.ColorSpace == "DeviceN")
        return S.DeviceNSpace != nullptr ? std::max(1, S.DeviceNSpace->FComponentCount) : 1;
    if (S.ColorSpace == "Lab" || S.ColorSpace == "DeviceRGB") return 3;
    if (S.ColorSpace == "DeviceCMYK") return 4;
    return 1;
}

void BuildKPLRImage(TKPLRImageState& S) {
    auto I = std::make_unique<TKPLImage>(S.Width, S.Height, KPLRComponents(S), S.BitsPerComponent);
    if (int64_t(S.ImageData.size()) >= int64_t(I->DataSizeBytes()))
        I->SetFromPointer(S.ImageData.data());
    S.ImageData.clear();
    S.ImageData.shrink_to_fit();
    S.MainImage = std::move(I);
}

void DecodeDCTToKPLR(TKPLRImageState& S) {
    std::string Data = std::move(S.ImageData);
    S.ImageData.clear();
    if (Data.size() >= 4 && Data.compare(0, 3, "\x0A\xFF\xD8") == 0) Data.erase(0, 1);
    const bool CMYKInverted =
        S.ColorSpace == "DeviceCMYK" && (S.Decode.empty() || S.Decode == "[ 0 1 0 1 0 1 0 1 ]");
    const bool SeparationInverted = S.ColorSpace == "Separation" && S.SeparationSpace != nullptr &&
                                    S.SeparationSpace->FAlternate == "DeviceCMYK" &&
                                    S.Decode == "[ 1 0 ]";
    TPDFJPEGImage J;
    if (S.ColorManager != nullptr) J.SetColorManager(S.ColorManager);
    J.LoadFromBytes(Data);
    if (CMYKInverted || SeparationInverted) J.InvertCMYK();
    const TBitmap& B = J.DecodedBitmap();
    if (B.PixelFormat() == pf24bit) {
        auto I = std::make_unique<TKPLImage>(B.Width(), B.Height(), 3, 8);
        if (I->Width() != B.Width() || I->Height() != B.Height()) return;
        for (int Y = 0; Y < B.Height(); ++Y)
            std::memcpy(I->GetRowPointer(Y), B.ScanLine(Y), size_t(I->Stride()));
        S.MainImage = std::move(I);
        if (S.ColorSpace == "DeviceCMYK" || S.ColorSpace == "DeviceRGB") S.ColorSpace = "DeviceBGR";
    } else if (B.PixelFormat() == pf8bit) {
        auto I = std::make_unique<TKPLImage>(B.Width(), B.Height(), 1, 8);
        if (I->Width() != B.Width() || I->Height() != B.Height()) return;
        // Grey levels through the picture's palette, which carries an
        // inverted read.
        const auto& Pal = B.Palette();
        for (int Y = 0; Y < B.Height(); ++Y) {
            const uint8_t* P = B.ScanLine(Y);
            uint8_t* Q = I->GetRowPointer(Y);
            for (int X = 0; X < B.Width(); ++X) Q[X] = P[X] < Pal.size() ? Pal[P[X]].rgbRed : P[X];
        }
        S.MainImage = std::move(I);
        if (S.ColorSpace != "DeviceN" && S.ColorSpace != "Separation") S.ColorSpace = "DeviceGray";
    }
}

void SwapKPLRRedBlue(TKPLImage& I) {
    if (I.BitsPerComponent() != 8 || (I.Components() != 3 && I.Components() != 4)) return;
    const size_t Px = size_t(I.Components());
    for (int Y = 0; Y < I.Height(); ++Y) {
        uint8_t* P = I.GetRowPointer(Y);
        for (int X = 0; X < I.Width(); ++X, P += Px) std::swap(P[0], P[2]);
    }
}

void FitKPLRImage(int MaxWidth, int MaxHeight, TKPLImage& I) {
    if (I.Width() <= MaxWidth && I.Height() <= MaxHeight) return;
    int W, H;
    if (I.Width() > I.Height()) {
        W = MaxWidth;
        H = int(int64_t(I.Height()) * MaxWidth / I.Width());
    } else {
        H = MaxHeight;
        W = int(int64_t(I.Width()) * MaxHeight / I.Height());
    }
    I.SetSizeScale(std::max(W, 1), std::max(H, 1), tmNearestNeighbour);
}

void FinishKPLRImage(TKPLRImageState& S) {
    if (!S.MainImage) return;
    TKPLImage& M = *S.MainImage;
    const std::string CS = S.ColorSpace;
    if (CS == "DeviceGray") {
        if (S.InlineStencil) M.Invert();
        if (M.BitsPerComponent() > 1) M.SetBitsPerComponent(8, true);
        if (M.BitsPerComponent() == 1 && S.MaskType != kmSoft) M.Invert();
        ApplyDecodeInversion(S);
    } else if (CS == "DeviceRGB") {
        M.SetBitsPerComponent(8, true);
        ApplyDecodeInversion(S);
    } else if (CS == "DeviceCMYK") {
        M.SetBitsPerComponent(8, true);
        ApplyDecodeInversion(S);
        KPLRCMYKToBGR(S);
    } else if (CS == "Lab") {
        M.SetBitsPerComponent(8, true);
        KPLRLabToRGB(S);
    } else if (CS == "DeviceN") {
        KPLRDeviceNToBGR(S);
    } else if (CS == "Indexed") {
        if (!S.Decode.empty() && !StartsWith(S.Decode, "[ 0")) {
            M.Invert();
            S.Decode.clear();
        }
        if (S.IndexedBase != "DeviceRGB" || S.MaskType != kmNone) {
            ApplyKPLRIndexedPalette(S);
        } else {
            BuildKPLRPalette(S);
            if (M.BitsPerComponent() > 1) M.SetBitsPerComponent(8, false);
        }
    } else if (CS == "Separation") {
        ApplyDecodeInversion(S);
        ApplyKPLRSeparationPalette(S);
    }

    // Masks.
    if (S.MaskType == kmStencil) {
        const bool Inverted = StartsWith(S.Decode, "[ 1 0");
        S.Palette = {0, 0, 0, uint8_t(Inverted ? 0 : 255), 0, 0, 0, uint8_t(Inverted ? 255 : 0)};
    } else if (S.MaskType == kmSoft || S.MaskType == kmExplicit) {
        TKPLImage& Main = *S.MainImage;
        if (Main.Components() == 1 && Main.BitsPerComponent() > 1) {
            ApplyGreyPalette(Main, 256);
        } else if (Main.Components() == 1 && Main.BitsPerComponent() == 1) {
            FitKPLRImage(KPLRMaxFitSize, KPLRMaxFitSize, Main);
            Main.ApplyPalette({0, 0, 0, 255, 255, 255});
        }
        if (S.MaskImage) {
            TKPLImage& Mask = *S.MaskImage;
            if (Mask.BitsPerComponent() == 1) {
                Mask.Invert();
                FitKPLRImage(KPLRMaxFitSize, KPLRMaxFitSize, Mask);
                Mask.SetBitsPerComponent(8, true);
            }
            if (Main.Width() != Mask.Width() || Main.Height() != Mask.Height()) {
                if (Main.Width() < Mask.Width())
                    Main.SetSizeScale(Mask.Width(), Mask.Height(), tmNearestNeighbour);
                else
                    Mask.SetSizeScale(Main.Width(), Main.Height(), tmNearestNeighbour);
            }
        }
        if (S.ColorSpace == "DeviceBGR") {
            SwapKPLRRedBlue(Main);
            S.ColorSpace = "DeviceRGB";
        }
        if (S.MaskImage && Is8Bit(&Main, 3) && Is8Bit(S.MaskImage.get(), 1)) {
            Main.AddComponentFromImage(*S.MaskImage);
            S.MaskImage.reset();
        }
    }
    if (Is8Bit(S.MainImage.get(), 3) && S.ColorSpace == "DeviceRGB") SwapKPLRRedBlue(*S.MainImage);
}

void DrawKPLRImage(TKPLRImageState& S, TKPLRImageTarget& Target, TColor FillColor) {
    if (!S.MainImage) return;
    TKPLImage& M = *S.MainImage;
    if (S.MaskType == kmStencil) {
        for (size_t E = 0; E + 4 <= std::min<size_t>(S.Palette.size(), 8); E += 4) {
            S.Palette[E] = GetBValue(FillColor);
            S.Palette[E + 1] = GetGValue(FillColor);
            S.Palette[E + 2] = GetRValue(FillColor);
        }
        if (Is8Bit(&M, 4)) {
            for (int Y = 0; Y < M.Height(); ++Y) {
                uint8_t* P = M.GetRowPointer(Y);
                for (int X = 0; X < M.Width(); ++X, P += 4) {
                    P[0] = GetRValue(FillColor);
                    P[1] = GetGValue(FillColor);
                    P[2] = GetBValue(FillColor);
                }
            }
        }
    }
    const bool ColorKey = S.MaskType == kmColorKey;
    const int32_t Min = ColorKey ? S.KeyMin : -1, Max = ColorKey ? S.KeyMax : -1;
    const void* Data = M.GetDataPointer();
    const bool HasPalette = !S.Palette.empty();
    const int32_t Row = M.Stride(), W = M.Width(), H = M.Height();
    if (M.Components() == 1 && M.BitsPerComponent() == 1) {
        if (S.MaskType == kmStencil && Target.FillPatternActive())
            Target.DrawStencilImage(Data, Row, W, H, 5, S.Palette.data(), S.Interpolate);
        else if (!HasPalette)
            Target.DrawDirectImage(Data, Row, W, H, 3, S.Interpolate, Min, Max);
        else
            Target.DrawDirectImageWithPalette(Data, Row, W, H, 5, S.Palette.data(), S.Interpolate,
                                              Min, Max);
    } else if (Is8Bit(&M, 1)) {
        if (!HasPalette)
            Target.DrawDirectImage(Data, Row, W, H, 2, S.Interpolate, Min, Max);
        else
            Target.DrawDirectImageWithPalette(Data, Row, W, H, 4, S.Palette.data(), S.Interpolate,
                                              Min, Max);
    } else if (Is8Bit(&M, 3)) {
        Target.DrawDirectImage(Data, Row, W, H, 1, S.Interpolate, Min, Max);
    } else if (Is8Bit(&M, 4)) {
        Target.DrawDirectImage(Data, Row, W, H, 0, S.Interpolate, Min, Max);
    }
}

}  // namespace velmo
