#include "codecs/TIFFMaker.h"

namespace velmo {

namespace {

constexpr uint16_t TypeShort = 3;
constexpr uint16_t TypeLong = 4;
constexpr uint16_t TypeRational = 5;
constexpr int64_t StripOffset = 128;

void Put16(std::string& S, uint16_t V) {
    S += char(V & 0xFF);
    S += char(V >> 8);
}

void Put32(std::string& S, uint32_t V) {
    for (int I = 0; I < 4; ++I) S += char((V >> (8 * I)) & 0xFF);
}

int64_t RoundUp32(int64_t V) { return (V + 31) / 32 * 32; }

}  // namespace

void TPDFTIFFMaker::AddTag(uint16_t Tag, uint16_t TagType, uint32_t Value) {
    TTIFFEntry E;
    E.Tag = Tag;
    E.TagType = TagType;
    E.Length = 1;
    E.Offset = Value;
    FTags.push_back(std::move(E));
}

void TPDFTIFFMaker::WriteTIFFToStream(TStream& FStream) {
    const int64_t L = int64_t(Source.size());
    const int64_t A = RoundUp32(StripOffset + L);
    const bool HasResolution = HorizontalDPI > 0 && VerticalDPI > 0;
    const int64_t R = HasResolution ? A + 16 : A;
    const int64_t I = RoundUp32(R + 32);

    FTags.clear();
    AddTag(256, TypeLong, uint32_t(Width));
    AddTag(257, TypeLong, uint32_t(Height));
    AddTag(258, TypeShort, 1);
    switch (Compression) {
        case ttCCITT4:
            AddTag(259, TypeShort, 4);
            break;
        case ttComp:
            AddTag(259, TypeShort, 5);
            break;
        case ttCCITT31d:
        case ttCCITT32d:
            AddTag(259, TypeShort, 3);
            break;
        default:
            break;  // readers then take the strip as uncompressed
    }
    AddTag(262, TypeShort, Reversed ? 1 : 0);
    AddTag(266, TypeShort, 1);
    AddTag(273, TypeLong, uint32_t(StripOffset));
    AddTag(277, TypeShort, 1);
    AddTag(278, TypeLong, uint32_t(Height));
    AddTag(279, TypeLong, uint32_t(L));
    if (HasResolution) {
        AddTag(282, TypeRational, uint32_t(A));
        AddTag(283, TypeRational, uint32_t(A + 8));
    }
    if (Compression == ttCCITT31d || Compression == ttCCITT32d)
        AddTag(292, TypeLong, (Compression == ttCCITT32d ? 1u : 0u) | (EncodedByteAlign ? 4u : 0u));
    if (Compression == ttCCITT4) AddTag(293, TypeLong, 0);
    if (HasResolution) AddTag(296, TypeShort, 2);

    // The file is built in memory and written once: header and zeros, the
    // strip at 128, zeros up to A, the rationals, zeros up to the IFD.
    std::string Out;
    Out.reserve(size_t(I) + 6 + 12 * FTags.size());
    Out += "II";
    Put16(Out, 42);
    Put32(Out, uint32_t(I));
    Out.resize(size_t(StripOffset), '\0');
    Out += Source;
    Out.resize(size_t(A), '\0');
    if (HasResolution) {
        Put32(Out, uint32_t(HorizontalDPI));
        Put32(Out, 1);
        Put32(Out, uint32_t(VerticalDPI));
        Put32(Out, 1);
    }
    Out.resize(size_t(I), '\0');
    Put16(Out, uint16_t(FTags.size()));
    for (const TTIFFEntry& E : FTags) {
        Put16(Out, E.Tag);
        Put16(Out, E.TagType);
        Put32(Out, E.Length);
        Put32(Out, E.Offset);
    }
    Put32(Out, 0);
    FStream.Seek(0, soBeginning);
    FStream.WriteBuffer(Out);
}

std::string TPDFTIFFMaker::WriteTIFFToString() {
    TMemoryStream M;
    WriteTIFFToStream(M);
    return M.Bytes();
}

std::string MakeAllOnesString(int32_t BitCount) {
    const int32_t Count = BitCount / 8 + 1;
    return Count > 0 ? std::string(size_t(Count), '\xFF') : std::string();
}

}  // namespace velmo
