// A small document for the security handler's tests: an object store, a
// trailer and numbered indirect objects, decrypted on first use and written
// as a classic PDF file with a cross-reference table.
#pragma once

#include <map>
#include <regex>
#include <string>

#include "core/Flate.h"
#include "core/Objects.h"
#include "core/Structure.h"
#include "document/Security.h"

namespace velmo::testing_security {

// A stream holding Data, with its /Length.
inline TPDFStream* MakeStream(TPDFStructure& S, std::string Data) {
    TPDFStream* St = S.NewStreamWithDict(std::string(), S.NewDictionary());
    St->SetStream(std::move(Data));
    return St;
}

class FakeDoc : public TPDFSecurityHost {
    static bool IsSpace(char C) { return C == ' ' || C == '\r' || C == '\n' || C == '\t'; }

public:
    struct Ind {
        int32_t Gen = 0;
        TPDFObject* Value = nullptr;
        bool Decrypted = false;
    };

    TPDFStructure S;
    TPDFDictionary* Trailer;
    std::map<int32_t, Ind> Objs;
    TPDFSecurityHandler H;

    FakeDoc() {
        Trailer = S.NewDictionary();
        S.OnIndObjLookup = [this](TObject*, int32_t N, int32_t, TPDFObject*& O) { O = Get(N); };
        S.OnNewIndObj = [this](TObject*, TPDFObject* O, int32_t& N, int32_t& G) {
            N = SecurityNewObjRef(O);
            G = 0;
        };
        H.AttachHost(this);
    }
    FakeDoc(const FakeDoc&) = delete;

    // The value, decrypted the first time it is asked for.
    TPDFObject* Get(int32_t N) {
        auto It = Objs.find(N);
        if (It == Objs.end()) return nullptr;
        H.DecryptIndirectValue(It->second.Value, N, It->second.Gen, It->second.Decrypted);
        return It->second.Value;
    }

    // An object as read from a file: stored form, not yet decrypted.
    void AddStored(int32_t N, int32_t G, std::string_view Text) {
        TPDFObject* O = S.Decode(Text);
        O->Own(N, G);
        Objs[N] = Ind{G, O, false};
    }

    TPDFDictionary* SecurityTrailer() override { return Trailer; }
    TPDFStructure* SecurityStructure() override { return &S; }
    int32_t SecurityNewObjRef(TPDFObject* O) override {
        const int32_t N = Objs.empty() ? 1 : Objs.rbegin()->first + 1;
        O->Own(N, 0);
        Objs[N] = Ind{0, O, true};
        return N;
    }
    void SecurityForEachObject(const std::function<void(TPDFSecuredObject&)>& Visit) override {
        for (auto& [N, I] : Objs) {
            TPDFSecuredObject O;
            O.ObjNum = N;
            O.GenNum = I.Gen;
            O.Decrypted = &I.Decrypted;
            const int32_t Num = N;
            O.Fetch = [this, Num] { return Get(Num); };
            Visit(O);
        }
    }
    void SecurityRemoveObject(int32_t N) override {
        auto It = Objs.find(N);
        if (It != Objs.end() && ObjAs<TPDFDictionary>(It->second.Value)) Objs.erase(It);
    }

    // The objects' text as written: each encrypted for writing and restored
    // afterwards.
    std::string ObjectText(int32_t N) {
        Ind& I = Objs.at(N);
        Get(N);
        H.EncryptIndirectValue(I.Value, N, I.Gen, I.Decrypted);
        std::string T = I.Value->Output();
        H.DecryptIndirectValue(I.Value, N, I.Gen, I.Decrypted);
        return T;
    }

    std::string Save() {
        H.GetEncrypted();
        H.GetID();  // every saved file gets an /ID
        const int32_t EncNum = H.FEncryption.DictionaryObjNum;
        std::string Out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
        std::map<int32_t, size_t> Offsets;
        for (auto& [N, I] : Objs) {
            Offsets[N] = Out.size();
            Out += std::to_string(N) + " " + std::to_string(I.Gen) + " obj\n";
            Out += N == EncNum ? I.Value->Output() : ObjectText(N);
            Out += "\nendobj\n";
        }
        const int32_t Size = Objs.empty() ? 1 : Objs.rbegin()->first + 1;
        const size_t XRef = Out.size();
        Out += "xref\n0 " + std::to_string(Size) + "\n0000000000 65535 f\r\n";
        for (int32_t N = 1; N < Size; ++N) {
            char Line[32];
            auto It = Offsets.find(N);
            if (It == Offsets.end())
                snprintf(Line, sizeof Line, "0000000000 65535 f\r\n");
            else
                snprintf(Line, sizeof Line, "%010zu %05d n\r\n", It->second, Objs[N].Gen);
            Out += Line;
        }
        Trailer->Add("Size", S.NewNumeric(Size));
        Out +=
            "trailer\n" + Trailer->Output() + "\nstartxref\n" + std::to_string(XRef) + "\n%%EOF\n";
        return Out;
    }

    // Reads the objects and trailer of an uncompressed file with a classic
    // cross-reference table (as the tests write them).
    void Load(const std::string& Text) {
        static const std::regex ObjRe(R"((^|[\r\n])(\d+) (\d+) obj\b)");
        for (auto It = std::sregex_iterator(Text.begin(), Text.end(), ObjRe);
             It != std::sregex_iterator(); ++It) {
            const auto& M = *It;
            const size_t Start = M.position(0) + M.length(0);
            int64_t Len = 0;
            TPDFObject* O = S.DecodeWithLength(Text, Len, static_cast<int64_t>(Start) + 1);
            if (auto* Dict = ObjAs<TPDFDictionary>(O)) {
                size_t P = Start + static_cast<size_t>(Len);
                while (P < Text.size() && IsSpace(Text[P])) ++P;
                if (Text.compare(P, 6, "stream") == 0) {
                    P += 6;
                    if (P < Text.size() && Text[P] == '\r') ++P;
                    if (P < Text.size() && Text[P] == '\n') ++P;
                    auto* L = ObjAs<TPDFNumeric>(Dict->FindValueByKeyName("Length", false));
                    const size_t DataLen = L ? static_cast<size_t>(L->AsInteger()) : 0;
                    O = S.NewStreamWithDict(Text.substr(P, DataLen), Dict);
                }
            }
            const int32_t N = std::stoi(M[2]), G = std::stoi(M[3]);
            O->Own(N, G);
            Objs[N] = Ind{G, O, false};
        }
        const size_t T = Text.rfind("\ntrailer");
        if (T != std::string::npos) {
            if (auto* D = ObjAs<TPDFDictionary>(S.Decode(std::string_view(Text).substr(T + 8))))
                Trailer = D;
        } else {
            // A cross-reference stream's dictionary serves as the trailer.
            for (auto& [N, I] : Objs)
                if (auto* St = ObjAs<TPDFStream>(I.Value))
                    if (St->Dictionary()->DictType() == "XRef") Trailer = St->Dictionary();
        }
        H.FEncryption.Extracted = false;
    }
};

inline std::string FromHex(std::string_view Hex) {
    std::string Out;
    auto Nib = [](char C) { return C <= '9' ? C - '0' : (C | 0x20) - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < Hex.size(); i += 2)
        Out += static_cast<char>(Nib(Hex[i]) * 16 + Nib(Hex[i + 1]));
    return Out;
}

// RC4 with a 56-bit key, /P written unsigned, no /ID: user "view", owner
// "master", keys made with an empty first /ID element.
inline std::string ToHexUpper(std::string_view S) {
    std::string Out;
    for (unsigned char C : S) {
        char B[3];
        snprintf(B, sizeof B, "%02X", C);
        Out += B;
    }
    return Out;
}

inline std::string FileWithoutID() {
    TPDFSecurityHandler H;
    TPDFEncryption E;
    E.DictionaryPresent = true;
    E.V = 2, E.R = 3, E.Length = 56, E.P = 0xFFFFF0C0;
    E.O = FromHex("3d650f12252bf784c9ceb0aa057810c95e10b6af135887b86831d9e6c34962a1");
    E.U = FromHex("d129d8563143e7d8648a71f21f28f71e00000000000000000000000000000000");
    H.SetEncryption(E);
    H.SetPassword(u"view");
    const std::string Hx =
        ToHexUpper(EncryptObjectData(eaRC4, H.GetObjectKey(3, 0), "Plain title"));
    return "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
           "2 0 obj\n<< /Type /Pages /Kids [ ] /Count 0 >>\nendobj\n"
           "3 0 obj\n<< /Title <" +
           Hx +
           "> >>\nendobj\n"
           "4 0 obj\n<< /Filter /Standard /V 2 /R 3 /Length 56 /P 4294963392 /O "
           "<3d650f12252bf784c9ceb0aa057810c95e10b6af135887b86831d9e6c34962a1> /U "
           "<d129d8563143e7d8648a71f21f28f71e00000000000000000000000000000000> >>\nendobj\n"
           "trailer\n<< /Size 5 /Root 1 0 R /Info 3 0 R /Encrypt 4 0 R >>\n%%EOF\n";
}

inline void AllHex(TPDFObject* O, int Depth = 0) {
    if (!O || Depth > 100) return;
    if (auto* S = ObjAs<TPDFString>(O)) S->StringMode = smHex;
    if (auto* A = ObjAs<TPDFArray>(O))
        for (TPDFObject* I : A->LiveItems()) AllHex(I, Depth + 1);
    if (auto* St = ObjAs<TPDFStream>(O)) AllHex(St->Dictionary(), Depth + 1);
    if (auto* D = ObjAs<TPDFDictionary>(O))
        for (const TPDFEntry& E : D->GetEntries()) AllHex(E.Value, Depth + 1);
}

// The objects' values in one notation. Cross-reference streams describe
// each file's own layout and are left out; qpdf writes the metadata stream
// of a plain file uncompressed, so its decoded data stands for it.
inline std::map<int32_t, std::string> Values(FakeDoc& D) {
    std::map<int32_t, std::string> R;
    for (auto& [N, I] : D.Objs) {
        if (N == D.H.FEncryption.DictionaryObjNum) continue;
        TPDFObject* V = D.Get(N);
        if (auto* S = ObjAs<TPDFStream>(V)) {
            const std::string Type = S->Dictionary()->DictType();
            if (Type == "XRef") continue;
            if (Type == "Metadata") {
                const bool Flate = S->Dictionary()->StringValue("Filter") == "FlateDecode";
                R[N] = "metadata " + (Flate ? FlateDecompress(S->Stream()) : S->Stream());
                continue;
            }
        }
        // qpdf drops the developer extension of AES-256 when it decrypts.
        if (auto* Cat = ObjAs<TPDFDictionary>(V); Cat && Cat->DictType() == "Catalog")
            Cat->DeleteEntryByKeyName("Extensions");
        AllHex(V);
        R[N] = V ? V->Output() : "";
    }
    return R;
}

}  // namespace velmo::testing_security
