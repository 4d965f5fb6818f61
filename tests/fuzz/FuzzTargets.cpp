#include "tests/fuzz/FuzzTargets.h"

#include <array>
#include <memory>

#include "core/CMap.h"
#include "core/Flate.h"
#include "core/Objects.h"
#include "core/PNG.h"
#include "core/Structure.h"
#include "document/Document.h"
#include "document/PageTree.h"
#include "document/XMP.h"
#include "platform/files/Stream.h"

namespace velmo::fuzz {

namespace {

// Keeps the optimiser from dropping results nobody reads.
volatile size_t gSink = 0;

void Consume(std::string_view S) { gSink = gSink + S.size() + (S.empty() ? 0 : uint8_t(S[0])); }

// Takes the input's first bytes one at a time; zero once it is used up.
class TByteSource {
public:
    explicit TByteSource(std::string_view Data) : FData(Data) {}
    uint8_t Next() {
        if (FPos >= FData.size()) return 0;
        return uint8_t(FData[FPos++]);
    }
    std::string_view Rest() const { return FData.substr(FPos); }

private:
    std::string_view FData;
    size_t FPos = 0;
};

// A parameter value from one byte: mostly small numbers around the usual
// range, the top of the byte range picks values at and past the limits.
int64_t ParmFromByte(uint8_t B, int64_t Base) {
    static constexpr std::array<int64_t, 16> kEdge = {0,         -1,
                                                      1,         2,
                                                      3,         7,
                                                      9,         16,
                                                      65536,     1 << 20,
                                                      1 << 24,   INT32_MAX,
                                                      INT32_MIN, INT32_MAX + int64_t(1),
                                                      -65536,    int64_t(1) << 40};
    if (B >= 0xF0) return kEdge[B - 0xF0];
    return Base + B;
}

std::string Num(int64_t V) { return std::to_string(V); }

constexpr int32_t kMaxObjNumToSave = 1 << 20;

}  // namespace

void ObjectParser(std::string_view Data) {
    TPDFStructure S;
    Consume(S.Decode(Data)->Output());
    // Object after object, as the loader walks an object stream.
    int64_t Pos = 1;
    for (int N = 0; N < 4096 && Pos <= int64_t(Data.size()); ++N) {
        int64_t Length = 0;
        TPDFObject* O = S.DecodeWithLength(Data, Length, Pos);
        Consume(O->Output());
        if (Length <= 0) break;
        Pos += Length;
    }
    int32_t Length32 = 0;
    Consume(S.DecodeWithLength(Data, Length32, 1)->Output());
    Consume(TPDFStructure::DecodeString(Data));
    Consume(TPDFStructure::DecodeHex(Data));
    Consume(TPDFStructure::KillWhitespace(Data));
}

void DocumentLoad(std::string_view Data) {
    std::string Saved;
    {
        TPDFDocument D;
        if (D.LoadFromString(std::string(Data), u"") != lrOkay) return;
        const int32_t Count = std::min<int32_t>(D.PageCount(), 2000);
        for (int32_t N = 1; N <= Count; ++N) {
            TPDFDictionary* Page = D.PageTree()->GetPage(N);
            if (!Page) continue;
            TPDFObject* Contents = Page->FindValueByKeyName("Contents", true);
            if (auto* S = ObjAs<TPDFStream>(Contents)) {
                Consume(S->GetDecodedStream());
            } else if (auto* A = ObjAs<TPDFArray>(Contents)) {
                for (TPDFObject* Item : A->LiveItems()) {
                    if (auto* Ref = ObjAs<TPDFIndRef>(Item)) Item = Ref->Obj();
                    if (auto* S = ObjAs<TPDFStream>(Item)) Consume(S->GetDecodedStream());
                }
            }
        }
        // A full save writes one cross-reference row for every number up to
        // the highest (the table of a file never updated is one run), so a
        // few bytes naming object 3,000,000 rightly give a 60 MB file and a
        // reload of as many rows. That cost is bounded by the save's own
        // object-number limit; such documents are not saved here, so that the
        // time limit of a run catches faults rather than this.
        int32_t Highest = D.MaxObjNum();
        for (int32_t I = 0; I < D.ObjCount(); ++I)
            Highest = std::max(Highest, D.IndObj(I)->ObjNum());
        if (Highest > kMaxObjNumToSave) return;
        // Saving may raise when the document cannot be prepared for it.
        try {
            Saved = D.SaveToString();
        } catch (const std::exception&) {
            return;
        }
    }
    if (Saved.empty()) return;
    TPDFDocument Again;
    if (Again.LoadFromString(std::move(Saved), u"") == lrOkay) gSink = gSink + Again.PageCount();
}

void Filter(TFuzzFilter Kind, std::string_view Data) {
    static constexpr std::array<std::string_view, 5> kNames = {
        "FlateDecode", "LZWDecode", "ASCII85Decode", "ASCIIHexDecode", "RunLengthDecode"};
    static constexpr std::array<std::string_view, 5> kShort = {"Fl", "LZW", "A85", "AHx", "RL"};
    static constexpr std::array<int, 8> kPredictors = {1, 2, 10, 11, 12, 13, 14, 15};

    TByteSource In(Data);
    const uint8_t Form = In.Next();
    const uint8_t PredictorByte = In.Next();
    const uint8_t ColorsByte = In.Next();
    const uint8_t BitsByte = In.Next();
    const uint8_t ColumnsHigh = In.Next();
    const uint8_t ColumnsLow = In.Next();
    const uint8_t EarlyChangeByte = In.Next();

    const std::string_view Name = (Form & 1) ? kShort[Kind] : kNames[Kind];
    const int64_t Predictor =
        PredictorByte >= 0xF0 ? ParmFromByte(PredictorByte, 0) : kPredictors[PredictorByte % 8];
    const int64_t Colors = ParmFromByte(ColorsByte, -2);
    static constexpr std::array<int, 8> kBits = {1, 2, 4, 8, 16, 8, 8, 8};
    const int64_t Bits = BitsByte >= 0xF0 ? ParmFromByte(BitsByte, 0) : kBits[BitsByte % 8];
    const int64_t Columns =
        ColumnsHigh >= 0xF0 ? ParmFromByte(ColumnsHigh, 0) : (ColumnsHigh << 8 | ColumnsLow) - 2;
    const int64_t EarlyChange = ParmFromByte(EarlyChangeByte, -1);

    std::string Parms = "<< /Predictor " + Num(Predictor) + " /Colors " + Num(Colors) +
                        " /BitsPerComponent " + Num(Bits) + " /Columns " + Num(Columns) +
                        " /EarlyChange " + Num(EarlyChange) + " >>";
    // The filter alone or in an array, once or twice; parameters as a
    // dictionary, in an array, or left out.
    const bool Twice = (Form & 2) != 0;
    std::string FilterText = std::string("/") + std::string(Name);
    if (Twice)
        FilterText = "[" + FilterText + " " + FilterText + "]";
    else if (Form & 4)
        FilterText = "[" + FilterText + "]";
    std::string Dict = "<< /Filter " + FilterText;
    if (Form & 8)
        Dict += " /DecodeParms [" + Parms + (Twice ? " null" : "") + "]";
    else if (!(Form & 16))
        Dict += " /DecodeParms " + Parms;
    Dict += " >>";

    // Flate data is taken as it is or compressed first, so that the
    // predictor code also sees rows of any content.
    std::string Payload(In.Rest());
    if (Kind == ffFlate && (Form & 32)) Payload = FlateCompress(Payload);

    TPDFStructure S;
    auto* D = ObjAs<TPDFDictionary>(S.Decode(Dict));
    if (!D) __builtin_trap();  // the dictionary text above always parses
    TPDFStream* Stream = S.NewStreamWithDict(std::move(Payload), D);
    Consume(Stream->GetDecodedStream());
}

void PNGReader(std::string_view Data) {
    // The last byte (a CRC byte in a real file) chooses the reader's options.
    const uint8_t Options = Data.empty() ? 0 : uint8_t(Data.back());
    TStringStream In{std::string(Data)};
    TPNGReader R;
    R.SetDownSampleImage(Options & 1);
    R.SetDownSampleAlpha(Options & 2);
    R.SetSkipImageData(Options & 4);
    R.LoadFromStream(In);
    Consume(R.MakePDFPalette());
    Consume(R.ImageData());
    Consume(R.AlphaData());
    if (std::unique_ptr<TBitmap> B = R.SaveToBitmap()) gSink = gSink + B->Width();
}

void CMapParser(std::string_view Data) {
    std::unique_ptr<TKorbexPDFLibraryCMap> C = ParseCMapString(Data);
    if (!C) return;
    std::array<std::uint16_t, 4> Units{};
    // Codes at the edges of every range read, and a few fixed ones.
    auto Probe = [&](std::uint32_t Code) {
        gSink = gSink + size_t(C->GetValue(Code, Units));
        for (std::uint32_t Size = 1; Size <= 4; ++Size) {
            gSink = gSink + C->GetMappingToWord(Size, Code);
            gSink = gSink + C->GetMappingToWideString(Size, Code).size();
        }
    };
    int Probes = 0;
    for (const auto* Ranges : {&C->CodespaceRanges(), &C->CIDRanges(), &C->BFRanges()})
        for (const TKorbexPDFLibraryCMapRange& R : *Ranges) {
            if (++Probes > 256) break;
            Probe(R.StartCode);
            Probe(R.EndCode);
            Probe(R.StartCode + (R.EndCode - R.StartCode) / 2);
        }
    for (std::uint32_t Code : {0u, 0x20u, 0xFFu, 0x100u, 0xFFFFu, 0xFFFFFFFFu}) Probe(Code);
    TMemoryStream Binary;
    C->SaveToStream(Binary);
    Binary.Seek(0, soBeginning);
    TKorbexPDFLibraryCMap Back;
    gSink = gSink + Back.LoadFromStream(Binary);
}

void XMPReader(std::string_view Data) {
    TKorbexPDFLibraryXMP X;
    X.LoadFromString(Data);
    Consume(X.SaveToString());
    X.SetTitle(u"Title");
    X.SetAuthor(u"Author");
    X.SetDCSubject(u"Subject");
    X.SetPDFAID(u"1B");
    Consume(X.SaveToString());
}

std::vector<TFuzzTarget>& RegisteredTargets() {
    static std::vector<TFuzzTarget> Targets;
    return Targets;
}

}  // namespace velmo::fuzz
