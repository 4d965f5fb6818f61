#include "platform/metafile/MetafileReader.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "platform/metafile/MetafileRecords.h"

namespace velmo::metafile {

namespace {

bool Fail(std::string* Error, std::string Text) {
    if (Error) *Error = std::move(Text);
    return false;
}

uint32_t Le32(std::string_view D, size_t At) {
    TByteReader R(D, At);
    return R.U32();
}

}  // namespace

bool EnumerateEmf(std::string_view Data, const std::function<bool(const TEmfRecord&)>& Visit,
                  std::string* Error) {
    if (Data.size() < EmfHeaderSize) return Fail(Error, "shorter than an EMF header");
    if (Le32(Data, 0) != EMR_HEADER) return Fail(Error, "first record is no EMF header");
    if (Le32(Data, 40) != EmfSignature) return Fail(Error, "no EMF signature");
    size_t At = 0;
    while (At < Data.size()) {
        if (Data.size() - At < 8) return Fail(Error, "record header cut off");
        const uint32_t Type = Le32(Data, At), Size = Le32(Data, At + 4);
        if (Size < 8) return Fail(Error, "record size below 8");
        if (Size % 4) return Fail(Error, "record size no multiple of 4");
        if (Size > Data.size() - At) return Fail(Error, "record runs past the end of the data");
        if (!Visit(TEmfRecord{Type, At, Data.substr(At, Size)})) return true;
        At += Size;
        if (Type == EMR_EOF) return true;
    }
    return Fail(Error, "no end-of-file record");
}

bool EnumerateWmf(std::string_view Data, const std::function<bool(const TWmfRecord&)>& Visit,
                  std::string* Error) {
    size_t At = 0;
    if (Data.size() >= 4 && Le32(Data, 0) == PlaceableKey) At = 22;
    if (Data.size() < At + 18) return Fail(Error, "shorter than a WMF header");
    TByteReader H(Data, At);
    const uint16_t Type = H.U16(), HeaderSize = H.U16();
    if ((Type != 1 && Type != 2) || HeaderSize != 9) return Fail(Error, "no WMF header");
    At += 18;
    while (At < Data.size()) {
        if (Data.size() - At < 6) return Fail(Error, "record header cut off");
        const uint32_t Words = Le32(Data, At);
        TByteReader R(Data, At + 4);
        const uint16_t Function = R.U16();
        if (Words < 3) return Fail(Error, "record size below 3 words");
        if (Words > (Data.size() - At) / 2) return Fail(Error, "record runs past the end");
        const size_t Bytes = size_t(Words) * 2;
        const TWmfRecord Rec{Function, At, Data.substr(At, Bytes), Data.substr(At + 6, Bytes - 6)};
        if (!Visit(Rec)) return true;
        At += Bytes;
        if (Function == META_EOF) return true;
    }
    return Fail(Error, "no end-of-file record");
}

bool EnumerateEmfPlus(std::string_view Emf,
                      const std::function<bool(const TEmfPlusRecord&)>& Visit,
                      std::string* Error) {
    bool Stopped = false, Ok = true;
    std::string Inner;
    // Parts of a continued object gathered so far.
    bool Parts = false;
    uint8_t PartsId = 0;
    uint32_t PartsTotal = 0;
    std::string Joined;
    const bool EmfOk = EnumerateEmf(
        Emf,
        [&](const TEmfRecord& R) {
            if (R.Type != EMR_COMMENT || R.Bytes.size() < 16) return true;
            const uint32_t Count = Le32(R.Bytes, 8);
            if (Count > R.Bytes.size() - 12) {
                Ok = false, Inner = "comment size past its record";
                return false;
            }
            std::string_view C = R.Bytes.substr(12, Count);
            if (C.size() < 4 || Le32(C, 0) != EmfPlusSignature) return true;
            size_t At = 4;
            while (At < C.size()) {
                if (C.size() - At < 12) {
                    Ok = false, Inner = "EMF+ record header cut off";
                    return false;
                }
                TByteReader H(C, At);
                const uint16_t Type = H.U16(), Flags = H.U16();
                const uint32_t Size = H.U32(), DataSize = H.U32();
                if (Size < 12 || Size % 4 || Size > C.size() - At || DataSize > Size - 12) {
                    Ok = false, Inner = "EMF+ record size out of range";
                    return false;
                }
                std::string_view Body = C.substr(At + 12, DataSize);
                At += Size;
                if (Type == EmfPlusObject && ((Flags & 0x8000) || Parts)) {
                    // A continued object: its parts are joined and handed
                    // out as one record when the last part arrives.
                    const uint8_t Id = uint8_t(Flags & 0xFF);
                    if (Flags & 0x8000) {
                        if (Body.size() < 4) {
                            Ok = false, Inner = "continued object without its size";
                            return false;
                        }
                        TByteReader T(Body);
                        const uint32_t Total = T.U32();
                        if (Parts && (Id != PartsId || Total != PartsTotal)) {
                            Ok = false, Inner = "continued object interrupted";
                            return false;
                        }
                        if (Total > (1u << 28)) {
                            Ok = false, Inner = "continued object too large";
                            return false;
                        }
                        Parts = true, PartsId = Id, PartsTotal = Total;
                        Body.remove_prefix(4);
                    } else if (Id != PartsId) {
                        Ok = false, Inner = "continued object interrupted";
                        return false;
                    }
                    if (Joined.size() + Body.size() > PartsTotal) {
                        Ok = false, Inner = "continued object larger than its size";
                        return false;
                    }
                    Joined.append(Body);
                    // Complete when the size is reached (the platform sets the
                    // bit on every part) or at a part without the bit.
                    if ((Flags & 0x8000) && Joined.size() < PartsTotal) continue;
                    Parts = false;
                    const std::string Whole = std::move(Joined);
                    Joined.clear();
                    if (Whole.size() != PartsTotal) {
                        Ok = false, Inner = "continued object shorter than its size";
                        return false;
                    }
                    if (!Visit(TEmfPlusRecord{Type, uint16_t(Flags & 0x7FFF), Whole})) {
                        Stopped = true;
                        return false;
                    }
                    continue;
                }
                if (Parts) {
                    Ok = false, Inner = "continued object interrupted";
                    return false;
                }
                if (!Visit(TEmfPlusRecord{Type, Flags, Body})) {
                    Stopped = true;
                    return false;
                }
            }
            return true;
        },
        Error);
    if (Ok && Parts && !Stopped) Ok = false, Inner = "continued object left unfinished";
    if (!Ok) return Fail(Error, Inner);
    return EmfOk || Stopped;
}

TMetafileKind DetectMetafile(std::string_view Data) {
    if (Data.size() >= 4 && Le32(Data, 0) == PlaceableKey) return TMetafileKind::Wmf;
    if (Data.size() >= EmfHeaderSize && Le32(Data, 0) == EMR_HEADER &&
        Le32(Data, 40) == EmfSignature) {
        bool Plus = false;
        EnumerateEmfPlus(Data, [&](const TEmfPlusRecord&) {
            Plus = true;
            return false;
        });
        return Plus ? TMetafileKind::EmfPlus : TMetafileKind::Emf;
    }
    if (Data.size() >= 18) {
        TByteReader R(Data);
        const uint16_t T = R.U16(), H = R.U16();
        if ((T == 1 || T == 2) && H == 9) return TMetafileKind::Wmf;
    }
    return TMetafileKind::Unknown;
}

namespace {

// The smallest size of each EMF record kind this layer knows.
size_t MinEmfSize(uint32_t Type) {
    switch (Type) {
        case EMR_EOF:
            return 20;
        case EMR_SETMAPMODE:
        case EMR_SETBKMODE:
        case EMR_SETPOLYFILLMODE:
        case EMR_RESTOREDC:
        case EMR_SELECTOBJECT:
        case EMR_DELETEOBJECT:
        case EMR_SETMITERLIMIT:
        case EMR_SELECTCLIPPATH:
            return 12;
        case EMR_MOVETOEX:
        case EMR_LINETO:
            return 16;
        case EMR_POLYBEZIERTO:
        case EMR_POLYLINETO:
        case EMR_POLYBEZIERTO16:
        case EMR_POLYLINETO16:
            return 28;
        case EMR_CREATEPEN:
            return 28;
        case EMR_CREATEBRUSHINDIRECT:
            return 24;
        case EMR_EXTCREATEPEN:
            return 52;
        case EMR_FILLPATH:
        case EMR_STROKEANDFILLPATH:
        case EMR_STROKEPATH:
            return 24;
        case EMR_COMMENT:
            return 12;
        case EMR_EXTSELECTCLIPRGN:
            return 16;
        case EMR_STRETCHDIBITS:
            return 80;
        case EMR_ALPHABLEND:
            return 108;
        default:
            return 8;
    }
}

// Checks a bitmap's header and bits offsets inside an image record.
bool BitmapInside(std::string_view Rec, uint32_t OffBmi, uint32_t CbBmi, uint32_t OffBits,
                  uint32_t CbBits, size_t Fixed) {
    const uint64_t N = Rec.size();
    if (CbBmi == 0 && CbBits == 0) return true;
    if (OffBmi < Fixed || CbBmi < 40 || uint64_t(OffBmi) + CbBmi > N) return false;
    if (OffBits < Fixed || uint64_t(OffBits) + CbBits > N) return false;
    return true;
}

}  // namespace

bool ValidateEmf(std::string_view Data, std::string* Error) {
    if (Data.size() < EmfHeaderSize) return Fail(Error, "shorter than an EMF header");
    const uint32_t HeaderSize = Le32(Data, 4);
    if (HeaderSize < 88 || HeaderSize > Data.size()) return Fail(Error, "header size wrong");
    const uint32_t NBytes = Le32(Data, 48), NRecords = Le32(Data, 52);
    const uint32_t NHandles = Le32(Data, 56) & 0xFFFF;
    if (NBytes != Data.size()) return Fail(Error, "nBytes differs from the file size");
    std::set<uint32_t> Live;
    uint32_t Count = 0;
    bool InPath = false, PathDone = false, SawEof = false, Bad = false;
    int SaveDepth = 0;
    std::string Why;
    auto Stop = [&](std::string Text) {
        Bad = true, Why = std::move(Text);
        return false;
    };
    const bool Walked = EnumerateEmf(
        Data,
        [&](const TEmfRecord& R) {
            ++Count;
            const std::string_view B = R.Bytes;
            if (R.Offset == 0) return true;  // the header
            if (R.Type == EMR_HEADER) return Stop("second header record");
            if (B.size() < MinEmfSize(R.Type))
                return Stop("record " + std::to_string(R.Type) + " too short");
            TByteReader P(B, 8);
            switch (R.Type) {
                case EMR_EOF:
                    SawEof = true;
                    if (Le32(B, B.size() - 4) != B.size()) return Stop("EOF size field wrong");
                    break;
                case EMR_CREATEPEN:
                case EMR_CREATEBRUSHINDIRECT:
                case EMR_EXTCREATEPEN: {
                    const uint32_t H = P.U32();
                    if (H == 0 || H >= NHandles) return Stop("object handle out of range");
                    if (Live.count(H)) return Stop("object handle made twice");
                    if (R.Type == EMR_EXTCREATEPEN) {
                        const uint32_t OffBmi = P.U32(), CbBmi = P.U32(), OffBits = P.U32(),
                                       CbBits = P.U32();
                        if (!BitmapInside(B, OffBmi, CbBmi, OffBits, CbBits, 52))
                            return Stop("pen bitmap outside its record");
                        P.Skip(16);
                        const uint32_t Entries = P.U32();
                        if (Entries > (B.size() - 52) / 4) return Stop("pen style count too large");
                    }
                    Live.insert(H);
                    break;
                }
                case EMR_SELECTOBJECT: {
                    const uint32_t H = P.U32();
                    if (!(H & StockObjectFlag) && !Live.count(H))
                        return Stop("unknown object handle " + std::to_string(H));
                    break;
                }
                case EMR_DELETEOBJECT: {
                    const uint32_t H = P.U32();
                    if (!Live.erase(H)) return Stop("unknown object handle " + std::to_string(H));
                    break;
                }
                case EMR_POLYBEZIERTO:
                case EMR_POLYLINETO:
                case EMR_POLYBEZIERTO16:
                case EMR_POLYLINETO16: {
                    P.Skip(16);
                    const uint64_t N = P.U32();
                    const uint64_t Each =
                        R.Type == EMR_POLYBEZIERTO16 || R.Type == EMR_POLYLINETO16 ? 4 : 8;
                    if (N * Each > B.size() - 28) return Stop("point count past its record");
                    if ((R.Type == EMR_POLYBEZIERTO || R.Type == EMR_POLYBEZIERTO16) && N % 3)
                        return Stop("Bézier point count no multiple of 3");
                    break;
                }
                case EMR_BEGINPATH:
                    InPath = true, PathDone = false;
                    break;
                case EMR_ENDPATH:
                    if (!InPath) return Stop("path end without a begin");
                    InPath = false, PathDone = true;
                    break;
                case EMR_ABORTPATH:
                    InPath = PathDone = false;
                    break;
                case EMR_FILLPATH:
                case EMR_STROKEPATH:
                case EMR_STROKEANDFILLPATH:
                case EMR_SELECTCLIPPATH:
                    if (InPath) return Stop("path painted before it was closed");
                    if (!PathDone) return Stop("path painted without a path");
                    PathDone = false;
                    break;
                case EMR_SAVEDC:
                    ++SaveDepth;
                    break;
                case EMR_RESTOREDC: {
                    const int32_t Rel = P.I32();
                    if (Rel >= 0 || -int64_t(Rel) > SaveDepth) return Stop("restore of no saved state");
                    SaveDepth += Rel;
                    break;
                }
                case EMR_COMMENT: {
                    const uint32_t N = P.U32();
                    if (N > B.size() - 12) return Stop("comment size past its record");
                    break;
                }
                case EMR_EXTSELECTCLIPRGN: {
                    const uint32_t Cb = P.U32(), Mode = P.U32();
                    if (Mode < 1 || Mode > 5) return Stop("clip mode unknown");
                    if (Cb > B.size() - 16) return Stop("region size past its record");
                    if (Cb == 0) {
                        if (Mode != 5) return Stop("empty region with a combining mode");
                        break;
                    }
                    if (Cb < 32) return Stop("region header cut off");
                    const uint32_t HSize = P.U32(), Kind = P.U32(), N = P.U32();
                    if (HSize != 32 || Kind != 1) return Stop("region header wrong");
                    if (uint64_t(N) * 16 > Cb - 32) return Stop("region count past its data");
                    break;
                }
                case EMR_STRETCHDIBITS: {
                    P.Skip(16 + 24);
                    const uint32_t OffBmi = P.U32(), CbBmi = P.U32(), OffBits = P.U32(),
                                   CbBits = P.U32();
                    if (!BitmapInside(B, OffBmi, CbBmi, OffBits, CbBits, 80))
                        return Stop("bitmap outside its record");
                    break;
                }
                case EMR_ALPHABLEND: {
                    P.Skip(16 + 16 + 4 + 8 + 24 + 8);
                    const uint32_t OffBmi = P.U32(), CbBmi = P.U32(), OffBits = P.U32(),
                                   CbBits = P.U32();
                    if (!BitmapInside(B, OffBmi, CbBmi, OffBits, CbBits, 108))
                        return Stop("bitmap outside its record");
                    break;
                }
                default:
                    break;
            }
            if (SawEof && R.Offset + B.size() != Data.size())
                return Stop("data after the end-of-file record");
            return true;
        },
        &Why);
    if (Bad || !Walked) return Fail(Error, Why.empty() ? "malformed" : Why);
    if (!SawEof) return Fail(Error, "no end-of-file record");
    if (Count != NRecords) return Fail(Error, "record count differs from nRecords");
    if (InPath) return Fail(Error, "path left open");
    return true;
}

bool ValidateEmfPlus(std::string_view Data, std::string* Error) {
    if (!ValidateEmf(Data, Error)) return false;
    bool First = true, SawEnd = false, Bad = false, Any = false;
    std::string Why;
    // Objects defined so far, by slot: their kind.
    uint8_t Kinds[256] = {};
    auto Stop = [&](std::string Text) {
        Bad = true, Why = std::move(Text);
        return false;
    };
    const bool Walked = EnumerateEmfPlus(
        Data,
        [&](const TEmfPlusRecord& R) {
            Any = true;
            if (SawEnd) return Stop("EMF+ records after the end record");
            if (First) {
                First = false;
                if (R.Type != EmfPlusHeader) return Stop("first EMF+ record is no header");
                if (R.Data.size() < 16) return Stop("EMF+ header too short");
                return true;
            }
            TByteReader P(R.Data);
            const uint8_t Id = uint8_t(R.Flags & 0xFF);
            switch (R.Type) {
                case EmfPlusHeader:
                    return Stop("second EMF+ header");
                case EmfPlusEndOfFile:
                    SawEnd = true;
                    break;
                case EmfPlusObject: {
                    const uint8_t Kind = uint8_t((R.Flags >> 8) & 0x7F);
                    if (Id >= 64) return Stop("object id out of range");
                    if (R.Data.size() < 8) return Stop("object too short");
                    if (Kind == EmfPlusObjectPath) {
                        P.Skip(4);
                        const uint64_t N = P.U32();
                        const uint32_t Flags = P.U32();
                        const uint64_t Each = (Flags & 0x4000) ? 4 : 8;
                        if (Flags & 0x1000) return Stop("relative path points not written");
                        if (N * (Each + 1) > R.Data.size() - 12) return Stop("path points past its record");
                    } else if (Kind == EmfPlusObjectImage) {
                        P.Skip(4);
                        if (P.U32() == 1) {
                            const int32_t W = P.I32(), H = P.I32(), Stride = P.I32();
                            P.U32();
                            const uint32_t Type = P.U32();
                            if (P.Failed()) return Stop("image header cut off");
                            if (Type == 1 && R.Data.size() <= 28) return Stop("compressed image without data");
                            if (Type == 0) {
                                if (W <= 0 || H <= 0 || Stride < int64_t(W) * 4)
                                    return Stop("image size wrong");
                                if (uint64_t(Stride) * uint64_t(H) > R.Data.size() - 28)
                                    return Stop("image pixels past its record");
                            }
                        }
                    } else if (Kind == EmfPlusObjectPen || Kind == EmfPlusObjectBrush) {
                        if (R.Data.size() < 12) return Stop("object too short");
                    } else if (Kind == 0) {
                        return Stop("object of no kind");
                    }
                    Kinds[Id] = Kind;
                    break;
                }
                case EmfPlusFillPath:
                    if (Kinds[Id] != EmfPlusObjectPath) return Stop("fill of an undefined path");
                    if (R.Data.size() < 4) return Stop("fill record too short");
                    if (!(R.Flags & 0x8000)) {
                        const uint32_t Brush = P.U32();
                        if (Brush >= 64 || Kinds[Brush] != EmfPlusObjectBrush)
                            return Stop("fill with an undefined brush");
                    }
                    break;
                case EmfPlusDrawPath: {
                    if (Kinds[Id] != EmfPlusObjectPath) return Stop("draw of an undefined path");
                    const uint32_t Pen = P.U32();
                    if (P.Failed() || Pen >= 64 || Kinds[Pen] != EmfPlusObjectPen)
                        return Stop("draw with an undefined pen");
                    break;
                }
                case EmfPlusDrawImage:
                    if (Kinds[Id] != EmfPlusObjectImage) return Stop("draw of an undefined image");
                    if (R.Data.size() < (R.Flags & 0x4000 ? 32u : 40u))
                        return Stop("image record too short");
                    break;
                case EmfPlusSetClipPath:
                    if (Kinds[Id] != EmfPlusObjectPath) return Stop("clip of an undefined path");
                    break;
                case EmfPlusSetPageTransform:
                case EmfPlusClear:
                case EmfPlusSave:
                case EmfPlusRestore:
                    if (R.Data.size() < 4) return Stop("record too short");
                    break;
                default:
                    break;
            }
            return true;
        },
        &Why);
    if (Bad || !Walked) return Fail(Error, Why.empty() ? "malformed EMF+ data" : Why);
    if (!Any) return Fail(Error, "no EMF+ records");
    if (!SawEnd) return Fail(Error, "no EMF+ end record");
    return true;
}

bool ValidateWmf(std::string_view Data, std::string* Error) {
    size_t Base = 0;
    if (Data.size() >= 22 && Le32(Data, 0) == PlaceableKey) {
        TByteReader R(Data);
        uint16_t Sum = 0;
        for (int I = 0; I < 10; ++I) Sum ^= R.U16();
        if (Sum != R.U16()) return Fail(Error, "placeable header checksum wrong");
        TByteReader B(Data, 6);
        const int16_t L = B.I16(), T = B.I16(), Rr = B.I16(), Bb = B.I16();
        const uint16_t Inch = B.U16();
        if (Rr <= L || Bb <= T || Inch == 0) return Fail(Error, "placeable box or units wrong");
        Base = 22;
    }
    if (Data.size() < Base + 18) return Fail(Error, "shorter than a WMF header");
    TByteReader H(Data, Base);
    const uint16_t Type = H.U16(), HeaderWords = H.U16(), Version = H.U16();
    const uint32_t SizeWords = H.U32();
    const uint16_t NObjects = H.U16();
    const uint32_t MaxRecord = H.U32();
    if ((Type != 1 && Type != 2) || HeaderWords != 9) return Fail(Error, "no WMF header");
    if (Version != 0x0300 && Version != 0x0100) return Fail(Error, "WMF version unknown");
    if (uint64_t(SizeWords) * 2 != Data.size() - Base) return Fail(Error, "size differs from the file");
    std::vector<bool> Slots(NObjects, false);
    uint32_t Largest = 9;
    bool SawEof = false, Bad = false;
    int SaveDepth = 0;
    std::string Why;
    auto Stop = [&](std::string Text) {
        Bad = true, Why = std::move(Text);
        return false;
    };
    auto NewObject = [&]() {
        for (size_t I = 0; I < Slots.size(); ++I)
            if (!Slots[I]) {
                Slots[I] = true;
                return true;
            }
        return Stop("more objects than the header's object count");
    };
    const bool Walked = EnumerateWmf(
        Data,
        [&](const TWmfRecord& R) {
            Largest = std::max<uint32_t>(Largest, uint32_t(R.Bytes.size() / 2));
            TByteReader P(R.Params);
            const size_t N = R.Params.size();
            switch (R.Function) {
                case META_EOF:
                    SawEof = true;
                    if (R.Offset + R.Bytes.size() != Data.size()) return Stop("data after the end record");
                    break;
                case META_CREATEPENINDIRECT:
                    if (N < 10) return Stop("pen record too short");
                    return NewObject();
                case META_CREATEBRUSHINDIRECT:
                    if (N < 8) return Stop("brush record too short");
                    return NewObject();
                case META_CREATEREGION: {
                    if (N < 22) return Stop("region record too short");
                    P.Skip(8);
                    const uint16_t RegionSize = P.U16();
                    const uint16_t Scans = P.U16();
                    (void)RegionSize;
                    P.Skip(10);
                    for (uint16_t I = 0; I < Scans; ++I) {
                        const uint16_t Count = P.U16();
                        if (Count % 2) return Stop("region scan with an odd count");
                        P.Skip(4 + size_t(Count) * 2);
                        const uint16_t Count2 = P.U16();
                        if (P.Failed()) return Stop("region scans past their record");
                        if (Count2 != Count) return Stop("region scan counts differ");
                    }
                    return NewObject();
                }
                case META_SELECTOBJECT:
                case META_SELECTCLIPREGION:
                case META_DELETEOBJECT: {
                    const uint16_t I = P.U16();
                    if (P.Failed()) return Stop("object record too short");
                    if (I >= Slots.size() || !Slots[I])
                        return Stop("unknown object index " + std::to_string(I));
                    if (R.Function == META_DELETEOBJECT) Slots[I] = false;
                    break;
                }
                case META_POLYLINE: {
                    const uint64_t Count = P.U16();
                    if (P.Failed() || Count * 4 > N - 2) return Stop("point count past its record");
                    break;
                }
                case META_POLYPOLYGON: {
                    const uint64_t Polys = P.U16();
                    if (P.Failed() || Polys * 2 > N - 2) return Stop("polygon count past its record");
                    uint64_t Points = 0;
                    for (uint64_t I = 0; I < Polys; ++I) Points += P.U16();
                    if (Points * 4 > N - 2 - Polys * 2) return Stop("point count past its record");
                    break;
                }
                case META_STRETCHDIB: {
                    if (N < 22 + 40) return Stop("bitmap record too short");
                    TByteReader Bmi(R.Params, 22);
                    const uint32_t HSize = Bmi.U32();
                    if (HSize < 40 || HSize > N - 22) return Stop("bitmap header past its record");
                    break;
                }
                case META_SAVEDC:
                    ++SaveDepth;
                    break;
                case META_RESTOREDC: {
                    const int16_t Rel = P.I16();
                    if (P.Failed() || Rel >= 0 || -Rel > SaveDepth) return Stop("restore of no saved state");
                    SaveDepth += Rel;
                    break;
                }
                case META_INTERSECTCLIPRECT:
                    if (N < 8) return Stop("record too short");
                    break;
                case META_SETWINDOWEXT:
                case META_SETWINDOWORG:
                case META_MOVETO:
                case META_LINETO:
                    if (N < 4) return Stop("record too short");
                    break;
                case META_SETPOLYFILLMODE:
                case META_SETMAPMODE:
                case META_SETBKMODE:
                    if (N < 2) return Stop("record too short");
                    break;
                default:
                    break;
            }
            return true;
        },
        &Why);
    if (Bad || !Walked) return Fail(Error, Why.empty() ? "malformed" : Why);
    if (!SawEof) return Fail(Error, "no end-of-file record");
    if (Largest != MaxRecord) return Fail(Error, "largest record differs from the header");
    return true;
}

bool ValidateMetafile(std::string_view Data, std::string* Error) {
    switch (DetectMetafile(Data)) {
        case TMetafileKind::Emf:
            return ValidateEmf(Data, Error);
        case TMetafileKind::EmfPlus:
            return ValidateEmfPlus(Data, Error);
        case TMetafileKind::Wmf:
            return ValidateWmf(Data, Error);
        default:
            return Fail(Error, "not a metafile");
    }
}

bool ReadMetafileInfo(std::string_view Data, TMetafileInfo& Info) {
    Info = TMetafileInfo{};
    Info.Kind = DetectMetafile(Data);
    if (Info.Kind == TMetafileKind::Emf || Info.Kind == TMetafileKind::EmfPlus) {
        TByteReader R(Data, 8);
        for (int32_t& V : Info.Bounds) V = R.I32();
        for (int32_t& V : Info.Frame) V = R.I32();
        Info.WidthPixels = PixelsFromFrame(Info.Frame[0], Info.Frame[2]);
        Info.HeightPixels = PixelsFromFrame(Info.Frame[1], Info.Frame[3]);
        if (Info.Kind == TMetafileKind::EmfPlus)
            EnumerateEmfPlus(Data, [&](const TEmfPlusRecord& Rec) {
                if (Rec.Type == EmfPlusHeader && Rec.Data.size() >= 16) {
                    TByteReader H(Rec.Data);
                    H.U32();
                    H.U32();
                    Info.EmfPlusDual = (Rec.Flags & 1) != 0;
                    Info.EmfPlusDpiX = H.I32();
                    Info.EmfPlusDpiY = H.I32();
                }
                return false;
            });
        return !R.Failed();
    }
    if (Info.Kind == TMetafileKind::Wmf && Data.size() >= 22 && Le32(Data, 0) == PlaceableKey) {
        TByteReader R(Data, 6);
        for (int16_t& V : Info.WmfBox) V = R.I16();
        Info.WmfInch = R.U16();
        if (Info.WmfInch) {
            Info.WidthPixels = int(std::lround((Info.WmfBox[2] - Info.WmfBox[0]) * 96.0 / Info.WmfInch));
            Info.HeightPixels = int(std::lround((Info.WmfBox[3] - Info.WmfBox[1]) * 96.0 / Info.WmfInch));
        }
        return true;
    }
    return Info.Kind != TMetafileKind::Unknown;
}

bool ReadEmfImage(const TEmfRecord& R, TEmfImage& Out) {
    const bool Alpha = R.Type == EMR_ALPHABLEND;
    if (!Alpha && R.Type != EMR_STRETCHDIBITS) return false;
    TByteReader P(R.Bytes, 8);
    P.Skip(16);  // bounds
    uint32_t OffBmi, CbBmi, OffBits, CbBits;
    if (Alpha) {
        Out.X = P.I32(), Out.Y = P.I32(), Out.Width = P.I32(), Out.Height = P.I32();
        P.Skip(4 + 8 + 24 + 8);
        OffBmi = P.U32(), CbBmi = P.U32(), OffBits = P.U32(), CbBits = P.U32();
    } else {
        Out.X = P.I32(), Out.Y = P.I32();
        P.Skip(16);
        OffBmi = P.U32(), CbBmi = P.U32(), OffBits = P.U32(), CbBits = P.U32();
        P.Skip(8);
        Out.Width = P.I32(), Out.Height = P.I32();
    }
    const uint64_t N = R.Bytes.size();
    if (P.Failed() || CbBmi == 0 || uint64_t(OffBmi) + CbBmi > N || uint64_t(OffBits) + CbBits > N)
        return false;
    return DecodeDib(R.Bytes.substr(OffBmi, CbBmi), R.Bytes.substr(OffBits, CbBits),
                     Out.PixelsWide, Out.PixelsHigh, Out.Pixels, Alpha);
}

}  // namespace velmo::metafile
