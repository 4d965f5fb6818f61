// Setting a stream's data and decoding it through its filter chain.
#include <vector>

#include "core/ASCII85.h"
#include "core/Filters.h"
#include "core/Flate.h"
#include "core/LZW.h"
#include "core/Objects.h"
#include "core/Structure.h"
#include "core/TextStrings.h"
#include "platform/files/Stream.h"

namespace velmo {

namespace {

// One reference followed: through the caller's resolver when there is one,
// else through the store.
TPDFObject* Resolve(TPDFObject* O, const TPDFFindObjectEvent& Lookup) {
    auto* Ref = ObjAs<TPDFIndRef>(O);
    if (!Ref) return O;
    return Lookup ? Lookup(Ref) : Ref->Obj();
}

int ParmValue(TPDFDictionary* Parms, std::string_view Key, int Default,
              const TPDFFindObjectEvent& Lookup) {
    if (!Parms) return Default;
    auto* N = ObjAs<TPDFNumeric>(Resolve(Parms->FindValueByKeyName(Key, false), Lookup));
    return N ? N->AsInteger() : Default;
}

TPDFFlateParms PredictorParms(TPDFDictionary* Parms, const TPDFFindObjectEvent& Lookup) {
    TPDFFlateParms P;
    P.Colors = ParmValue(Parms, "Colors", 1, Lookup);
    P.BitsPerComponent = ParmValue(Parms, "BitsPerComponent", 8, Lookup);
    P.Columns = ParmValue(Parms, "Columns", 1, Lookup);
    P.Predictor = ParmValue(Parms, "Predictor", 1, Lookup);
    return P;
}

}  // namespace

void TPDFStream::SetTo(std::string NewStream, bool Compress) {
    if (Compress) {
        SetStream(FlateCompress(NewStream));
        if (FDictionary) {
            FDictionary->PurgeKey("Filter");
            if (FOwner) FDictionary->Add("Filter", FOwner->NewCommonName("FlateDecode"));
        }
    } else {
        SetStream(std::move(NewStream));
        if (FDictionary) FDictionary->PurgeKey("Filter");
    }
    FChanged = true;
}

void TPDFStream::SetToTextString(std::u16string_view NewStream, bool Compress) {
    SetTo(WideStringToPDFTextString(NewStream), Compress);
}

void TPDFStream::ReadFromStream(TStream& Stream, bool Deflate) {
    std::string Data;
    Stream.Seek(0, soBeginning);
    const int64_t Size = Stream.Size();
    if (Size > 0) Data.reserve(static_cast<size_t>(Size));
    char Buf[65536];
    for (;;) {
        int64_t N = Stream.Read(Buf, sizeof Buf);
        if (N <= 0) break;
        Data.append(Buf, static_cast<size_t>(N));
    }
    if (Data.empty()) {
        SetStream(std::string());
    } else {
        SetTo(std::move(Data), Deflate);
    }
    FChanged = true;
}

std::string TPDFStream::GetDecodedStream() { return GetDecodedStreamWithLookup(nullptr); }

std::string TPDFStream::GetDecodedStreamWithLookup(const TPDFFindObjectEvent& Lookup) {
    std::string Result = FStream;
    if (!FDictionary) return Result;

    // The filter names, in order.
    std::vector<const std::string*> Filters;
    TPDFObject* FilterObj = Resolve(FDictionary->FindValueByKeyName("Filter", false), Lookup);
    if (auto* Name = ObjAs<TPDFName>(FilterObj)) {
        Filters.push_back(&Name->Name());
    } else if (auto* Arr = ObjAs<TPDFArray>(FilterObj)) {
        for (TPDFObject* Item : Arr->LiveItems())
            if (auto* N = ObjAs<TPDFName>(Resolve(Item, Lookup))) Filters.push_back(&N->Name());
    }
    if (Filters.empty()) return Result;

    // Parameters per filter: a dictionary serves the first filter, an array
    // pairs its items (references followed) with the filters by position.
    std::vector<TPDFDictionary*> Parms(Filters.size(), nullptr);
    TPDFObject* ParmObj = FDictionary->FindValueByKeyName("DecodeParms", false);
    if (FDictionary->FindIndexByKeyName("DecodeParms") < 0)
        ParmObj = FDictionary->FindValueByKeyName("DP", false);
    ParmObj = Resolve(ParmObj, Lookup);
    if (auto* D = ObjAs<TPDFDictionary>(ParmObj)) {
        Parms[0] = D;
    } else if (auto* Arr = ObjAs<TPDFArray>(ParmObj)) {
        const size_t N = std::min(Filters.size(), static_cast<size_t>(Arr->Count()));
        for (size_t I = 0; I < N; ++I)
            Parms[I] =
                ObjAs<TPDFDictionary>(Resolve(Arr->GetItem(static_cast<int32_t>(I)), Lookup));
    }

    for (size_t I = 0; I < Filters.size(); ++I) {
        const std::string& F = *Filters[I];
        if (F == "FlateDecode" || F == "Fl") {
            TPDFFlateParms P = PredictorParms(Parms[I], Lookup);
            Result =
                P.Predictor < 2 ? FlateDecompress(Result) : FlateDecompressWithPredictor(Result, P);
        } else if (F == "RunLengthDecode" || F == "RL") {
            Result = DecodeRunLength(Result);
        } else if (F == "ASCII85Decode" || F == "A85") {
            Result = DecodeASCII85(Result);
        } else if (F == "ASCIIHexDecode" || F == "AHx") {
            Result = DecodeASCIIHex(Result);
        } else if (F == "LZWDecode" || F == "LZW") {
            TPDFLZWParms P = PredictorParms(Parms[I], Lookup);
            TPDFLZWDecompressor D;
            D.SetFillOrder(foTop);
            D.SetInitialCodeSize(9);
            D.SetEarlyChange(ParmValue(Parms[I], "EarlyChange", 1, Lookup) == 1);
            Result = D.Decompress(Result, P);
        }
        // Any other filter (the image codecs, Crypt) is passed over.
    }
    return Result;
}

std::u16string TPDFStream::GetDecodedTextStream() {
    return PDFTextStringToWideString(GetDecodedStream());
}

}  // namespace velmo
