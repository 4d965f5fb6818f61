#include "core/Objects.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "core/StringHelpers.h"
#include "core/Structure.h"

namespace velmo {

namespace {

std::atomic<uint64_t> gNameTextEpoch{1};

// Depth of container output on this thread; a structure nested deeper than any
// parse can produce is cut instead of exhausting the stack.
thread_local int gOutputDepth = 0;

struct OutputGuard {
    explicit OutputGuard(bool& Visiting) : Flag(Visiting) {
        if (Flag || gOutputDepth >= 4 * kMaxObjectDepth)
            throw std::runtime_error("object nested in itself or too deep");
        Flag = true;
        ++gOutputDepth;
    }
    ~OutputGuard() {
        Flag = false;
        --gOutputDepth;
    }
    bool& Flag;
};

// Sets the visiting flag for the life of a walk; Entered is False when the
// object was already being walked (a cycle), in which case nothing is to do.
struct VisitGuard {
    bool& Flag;
    bool Entered;
    explicit VisitGuard(bool& F) : Flag(F), Entered(!F) { Flag = true; }
    ~VisitGuard() {
        if (Entered) Flag = false;
    }
};

// Dictionaries with more entries than this get a hash index over their keys.
constexpr size_t kIndexThreshold = 16;

}  // namespace

uint64_t NameTextEpoch() { return gNameTextEpoch.load(std::memory_order_relaxed); }

// ---------------------------------------------------------------------------
// TPDFObject

TPDFObject::TPDFObject(TPDFStructure* AOwner, char ASpyType) : FOwner(AOwner), SpyType(ASpyType) {}

TPDFObject::~TPDFObject() = default;

bool TPDFObject::OwnerTearingDown() const { return FOwner && FOwner->FTearingDown; }

void TPDFObject::Own(int32_t ObjNum, int32_t GenNum) {
    FIndObjNum = ObjNum;
    FIndGenNum = GenNum;
    FIsIndirect = true;
}

bool TPDFObject::GetHasChanged() const { return FChanged; }

std::string TPDFObject::Output() const {
    std::string Out;
    try {
        OutputTo(Out);
    } catch (...) {
        // A cycle or an allocation failure below: what was written stands.
    }
    return Out;
}

void TPDFObject::Purge() {
    if (FOwner) FOwner->RemoveObject(this);
}

void TPDFObject::ShiftIndRef(int32_t) {}

bool TPDFObject::HasChild(const TPDFObject*) const { return false; }

// ---------------------------------------------------------------------------
// Simple kinds

void TPDFName::SetTo(std::string_view Value) {
    FChanged = true;
    if (Value == FValue) return;
    if (FOwner && FSlot != UINT32_MAX) {
        std::string Old = std::move(FValue);
        FValue.assign(Value);
        FOwner->NoteNameText(this, Old);
    } else {
        FValue.assign(Value);
    }
    gNameTextEpoch.fetch_add(1, std::memory_order_relaxed);
}

void TPDFName::OutputTo(std::string& Out) const {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Out.push_back('/');
    for (unsigned char C : FValue) {
        bool Escape = C <= 0x20 || C >= 0x7F;
        if (!Escape) {
            switch (C) {
                case '/':
                case '(':
                case ')':
                case '#':
                case '%':
                case '[':
                case ']':
                case '{':
                case '}':
                case '<':
                case '>':
                    Escape = true;
                    break;
                default:
                    break;
            }
        }
        if (Escape) {
            Out.push_back('#');
            Out.push_back(kHex[C >> 4]);
            Out.push_back(kHex[C & 15]);
        } else {
            Out.push_back(static_cast<char>(C));
        }
    }
}

void TPDFNull::OutputTo(std::string& Out) const { Out.append("null"); }

void TPDFBoolean::OutputTo(std::string& Out) const { Out.append(FValue ? "true" : "false"); }

int32_t TPDFNumeric::AsInteger() const {
    if (!std::isfinite(FValue)) return 0;
    double R = std::nearbyint(FValue);
    // The 64-bit range is [-2^63, 2^63).
    if (R < -9223372036854775808.0 || R >= 9223372036854775808.0) return 0;
    auto V = static_cast<int64_t>(R);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(V)));
}

void TPDFNumeric::OutputTo(std::string& Out) const {
    int Decimals = FOwner ? FOwner->PDFPrecNum : 4;
    double V = FValue;
    // Whole numbers of moderate size print as their digits at any precision
    // up to 9 decimals; everything else goes through the number writer.
    if (Decimals <= 9 && V >= -1e9 && V <= 1e9 &&
        V == static_cast<double>(static_cast<int64_t>(V))) {
        char Buf[24];
        auto R = std::to_chars(Buf, Buf + sizeof Buf, static_cast<int64_t>(V));
        Out.append(Buf, R.ptr);
        return;
    }
    Out.append(FormatNumber(V, Decimals));
}

void TPDFString::OutputTo(std::string& Out) const {
    if (StringMode == smHex) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        size_t Base = Out.size();
        Out.resize(Base + 2 + 2 * FValue.size());
        char* P = Out.data() + Base;
        *P++ = '<';
        for (unsigned char C : FValue) {
            *P++ = kHex[C >> 4];
            *P++ = kHex[C & 15];
        }
        *P = '>';
        return;
    }
    Out.reserve(Out.size() + FValue.size() + 2);
    Out.push_back('(');
    size_t Run = 0;  // start of the bytes not yet copied
    const char* D = FValue.data();
    for (size_t I = 0; I < FValue.size(); ++I) {
        char E;
        switch (D[I]) {
            case '\b':
                E = 'b';
                break;
            case '\t':
                E = 't';
                break;
            case '\n':
                E = 'n';
                break;
            case '\f':
                E = 'f';
                break;
            case '\r':
                E = 'r';
                break;
            case '(':
                E = '(';
                break;
            case ')':
                E = ')';
                break;
            case '\\':
                E = '\\';
                break;
            default:
                continue;
        }
        Out.append(D + Run, I - Run);
        Out.push_back('\\');
        Out.push_back(E);
        Run = I + 1;
    }
    Out.append(D + Run, FValue.size() - Run);
    Out.push_back(')');
}

TPDFObject* TPDFIndRef::Obj() {
    TPDFObject* Result = nullptr;
    if (FOwner && FOwner->OnIndObjLookup) FOwner->OnIndObjLookup(this, ObjNum, GenNum, Result);
    return Result;
}

void TPDFIndRef::CopyRef(const TPDFIndRef* Source) {
    if (!Source) return;
    ObjNum = Source->ObjNum;
    GenNum = Source->GenNum;
    FChanged = true;
}

void TPDFIndRef::OutputTo(std::string& Out) const {
    char Buf[16];
    Out.append(Buf, std::to_chars(Buf, Buf + sizeof Buf, ObjNum).ptr);
    Out.push_back(' ');
    Out.append(Buf, std::to_chars(Buf, Buf + sizeof Buf, GenNum).ptr);
    Out.append(" R");
}

// ---------------------------------------------------------------------------
// TPDFDictionary

TPDFDictionary::~TPDFDictionary() {
    if (!OwnerTearingDown()) ReleaseAll();
}

void TPDFDictionary::ReleaseAll() {
    for (auto& E : Entries) {
        Release(E.Key);
        Release(E.Value);
    }
}

int32_t TPDFDictionary::FindIndexByKeyName(std::string_view Key) const {
    size_t N = Entries.size();
    if (N <= kIndexThreshold) {
        for (size_t I = 0; I < N; ++I) {
            const TPDFName* K = Entries[I].Key;
            if (K && K->FValue == Key) return static_cast<int32_t>(I);
        }
        return -1;
    }
    uint64_t Epoch = NameTextEpoch();
    if (!FIndex || FIndexEpoch != Epoch) {
        if (!FIndex)
            FIndex = std::make_unique<std::unordered_map<std::string_view, int32_t>>();
        else
            FIndex->clear();
        FIndex->reserve(N * 2);
        for (size_t I = 0; I < N; ++I)
            if (Entries[I].Key) FIndex->emplace(Entries[I].Key->FValue, static_cast<int32_t>(I));
        FIndexEpoch = Epoch;
    }
    auto It = FIndex->find(Key);
    return It == FIndex->end() ? -1 : It->second;
}

void TPDFDictionary::NoteAppended(int32_t Index) {
    if (FIndex && FIndexEpoch == NameTextEpoch() && Entries[Index].Key)
        FIndex->emplace(Entries[Index].Key->FValue, Index);
}

TPDFObject* TPDFDictionary::FindValueByKeyName(std::string_view Key, bool FollowRef) const {
    int32_t I = FindIndexByKeyName(Key);
    if (I < 0) return nullptr;
    TPDFObject* V = Entries[I].Value;
    if (FollowRef) {
        if (auto* R = ObjAs<TPDFIndRef>(V)) return R->Obj();
    }
    return V;
}

void TPDFDictionary::SetEntry(const TPDFEntry& Entry) {
    int32_t I = Entry.Key ? FindIndexByKeyName(Entry.Key->FValue) : -1;
    if (I >= 0) {
        TPDFEntry& E = Entries[I];
        Hold(Entry.Key);
        Hold(Entry.Value);
        Release(E.Key);
        Release(E.Value);
        if (E.Key != Entry.Key && FIndex && FIndexEpoch == NameTextEpoch()) {
            // The index views the key text of the old key object; point it at
            // the new one, which has the same text.
            FIndex->erase(Entry.Key->FValue);
            FIndex->emplace(Entry.Key->FValue, I);
        }
        E = Entry;
    } else {
        Hold(Entry.Key);
        Hold(Entry.Value);
        Entries.push_back(Entry);
        NoteAppended(static_cast<int32_t>(Entries.size()) - 1);
    }
    FChanged = true;
}

void TPDFDictionary::Add(std::string_view KeyName, TPDFObject* Value) {
    if (Value != this && FOwner) SetEntry({FOwner->NewCommonName(KeyName), Value});
    FChanged = true;
}

TPDFEntry TPDFDictionary::GetEntry(int32_t Index) const {
    if (Index < 0 || Index >= Count()) return {};
    return Entries[Index];
}

void TPDFDictionary::DeleteEntryByKeyName(std::string_view Key) {
    int32_t I = FindIndexByKeyName(Key);
    if (I < 0) return;
    Release(Entries[I].Key);
    Release(Entries[I].Value);
    Entries.erase(Entries.begin() + I);
    InvalidateIndex();
    FChanged = true;
}

void TPDFDictionary::PurgeKey(std::string_view Key) {
    int32_t I = FindIndexByKeyName(Key);
    if (I < 0) return;
    TPDFEntry E = Entries[I];
    if (E.Value && (E.Value->SpyType == TPDFDictionary::Tag || E.Value->SpyType == TPDFArray::Tag))
        E.Value->Purge();
    if (E.Key && FOwner && !IsCommonNameText(E.Key->FValue)) FOwner->RemoveObject(E.Key);
    DeleteEntryByKeyName(Key);
}

void TPDFDictionary::RenameKey(std::string_view OldName, std::string_view NewName) {
    std::string Old(OldName);  // OldName may view a key that is renamed below
    for (auto& E : Entries) {
        if (E.Key && E.Key->FValue == Old) {
            E.Key->SetTo(NewName);
            FChanged = true;
        }
    }
}

void TPDFDictionary::Clear() {
    if (FOwner) {
        for (auto& E : Entries) {
            if (E.Key) FOwner->RemoveObject(E.Key);
            if (E.Value) FOwner->RemoveObject(E.Value);
        }
    }
    ReleaseAll();
    Entries.clear();
    InvalidateIndex();
    FChanged = true;
}

void TPDFDictionary::RemoveKeys() {
    ReleaseAll();
    Entries.clear();
    InvalidateIndex();
}

void TPDFDictionary::Assign(TPDFDictionary* Dict) {
    if (!Dict) return;
    if (Dict == this) {
        FChanged = true;
        return;
    }
    if (Dict->FOwner == FOwner) {
        for (auto& E : Dict->Entries) {
            Hold(E.Key);
            Hold(E.Value);
        }
        ReleaseAll();
        Entries = Dict->Entries;
        InvalidateIndex();
    } else if (FOwner) {
        auto* Copy = ObjAs<TPDFDictionary>(FOwner->Decode(Dict->Output()));
        if (Copy) Assign(Copy);
    }
    FChanged = true;
}

void TPDFDictionary::AddDict(TPDFDictionary* Dict) {
    if (!Dict || Dict == this) return;
    if (Dict->FOwner == FOwner) {
        bool Added = false;
        for (const auto& E : Dict->Entries) {
            if (!E.Key || FindIndexByKeyName(E.Key->FValue) >= 0) continue;
            Hold(E.Key);
            Hold(E.Value);
            Entries.push_back(E);
            NoteAppended(static_cast<int32_t>(Entries.size()) - 1);
            Added = true;
        }
        if (Added) FChanged = true;
    } else if (FOwner) {
        auto* Copy = ObjAs<TPDFDictionary>(FOwner->Decode(Dict->Output()));
        if (Copy) AddDict(Copy);
    }
}

std::string TPDFDictionary::DictType() const {
    if (auto* N = ObjAs<TPDFName>(FindValueByKeyName("Type", false))) return N->FValue;
    return {};
}

int32_t TPDFDictionary::IntValue(std::string_view Key, int32_t Default) const {
    if (auto* N = ObjAs<TPDFNumeric>(FindValueByKeyName(Key, true))) return N->AsInteger();
    return Default;
}

std::string TPDFDictionary::StringValue(std::string_view Key) const {
    TPDFObject* V = FindValueByKeyName(Key, true);
    if (!V) return {};
    switch (V->SpyType) {
        case TPDFName::Tag:
            return static_cast<TPDFName*>(V)->FValue;
        case TPDFString::Tag:
            return static_cast<TPDFString*>(V)->FValue;
        case TPDFArray::Tag:
            return V->Output();
        default:
            return {};
    }
}

bool TPDFDictionary::GetHasChanged() const {
    if (FChanged) return true;
    VisitGuard G(FVisiting);
    if (!G.Entered) return false;
    for (const auto& E : Entries)
        if (E.Value && E.Value->GetHasChanged()) return true;
    return false;
}

void TPDFDictionary::OutputTo(std::string& Out) const {
    OutputGuard G(FVisiting);
    bool Lines = Entries.size() > 1 || !FOwner || FOwner->OldFormat;
    Out.append(Lines ? "<<\n" : "<< ");
    for (const auto& E : Entries) {
        size_t Mark = Out.size();
        try {
            if (E.Key) E.Key->OutputTo(Out);
            Out.push_back(' ');
            if (E.Value) E.Value->OutputTo(Out);
        } catch (...) {
            Out.resize(Mark);
            Out.append("% bug \n");
            continue;
        }
        if (Lines && Out.back() != '\n') Out.push_back('\n');
    }
    if (!Lines && !Entries.empty()) Out.push_back(' ');
    Out.append(">>\n");
}

void TPDFDictionary::Purge() {
    {
        VisitGuard G(FVisiting);
        if (!G.Entered) return;
        // Purging a child may free nothing that this dictionary holds, but
        // walk a copy so that no call below can disturb the iteration.
        std::vector<TPDFEntry> Copy = Entries;
        for (auto& E : Copy) {
            if (E.Key) E.Key->Purge();
            if (E.Value) E.Value->Purge();
        }
        FChanged = true;
    }
    if (FOwner) FOwner->RemoveObject(this);  // may free this dictionary
}

void TPDFDictionary::ShiftIndRef(int32_t Offset) {
    VisitGuard G(FVisiting);
    if (!G.Entered) return;
    for (auto& E : Entries)
        if (E.Value) E.Value->ShiftIndRef(Offset);
    FChanged = true;
}

bool TPDFDictionary::HasChild(const TPDFObject* AObject) const {
    for (const auto& E : Entries)
        if (E.Key == AObject || E.Value == AObject) return true;
    return false;
}

// ---------------------------------------------------------------------------
// TPDFArray

TPDFArray::~TPDFArray() {
    if (!OwnerTearingDown())
        for (TPDFObject* O : Items) Release(O);
}

TPDFObject* TPDFArray::GetItem(int32_t Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    return Items[Index];
}

void TPDFArray::Add(TPDFObject* Value) {
    Hold(Value);
    if (Reserved > 0) {
        Items[Items.size() - Reserved] = Value;
        --Reserved;
    } else {
        Items.push_back(Value);
    }
    FChanged = true;
}

void TPDFArray::Insert(int32_t Index, TPDFObject* Value) {
    int32_t N = Count();
    if (Index < 0 || Index > N) return;
    Hold(Value);
    if (Reserved > 0)
        --Reserved;
    else
        Items.push_back(nullptr);
    std::move_backward(Items.begin() + Index, Items.begin() + N, Items.begin() + N + 1);
    Items[Index] = Value;
    FChanged = true;
}

void TPDFArray::Delete(int32_t Index) {
    int32_t N = Count();
    if (Index < 0 || Index >= N) return;
    TPDFObject* Old = Items[Index];
    if (Old && FOwner) FOwner->RemoveObject(Old);  // still held here: detached only
    std::move(Items.begin() + Index + 1, Items.begin() + N, Items.begin() + Index);
    Items[N - 1] = nullptr;
    ++Reserved;
    Release(Old);
    FChanged = true;
}

void TPDFArray::DeleteObj(TPDFObject* Obj, bool ByOutput) {
    if (!Obj) return;
    int32_t N = Count();
    if (!ByOutput) {
        for (int32_t I = 0; I < N; ++I)
            if (Items[I] == Obj) return Delete(I);
        return;
    }
    int32_t I = ItemIndexMatch(Obj);
    if (I >= 0) Delete(I);
}

void TPDFArray::Replace(int32_t Index, TPDFObject* Obj) {
    if (Index < 0 || Index >= Count()) return;
    TPDFObject* Old = Items[Index];
    if (Old && FOwner) FOwner->RemoveObject(Old);
    ReplaceNoKill(Index, Obj);
}

void TPDFArray::ReplaceNoKill(int32_t Index, TPDFObject* Obj) {
    if (Index < 0 || Index >= Count()) return;
    Hold(Obj);
    Release(Items[Index]);
    Items[Index] = Obj;
    FChanged = true;
}

void TPDFArray::Move(int32_t Index, int32_t NewPos) {
    int32_t N = Count();
    if (Index < 0 || Index >= N || NewPos < 0 || NewPos >= N) return;
    if (Index < NewPos)
        std::rotate(Items.begin() + Index, Items.begin() + Index + 1, Items.begin() + NewPos + 1);
    else if (Index > NewPos)
        std::rotate(Items.begin() + NewPos, Items.begin() + Index, Items.begin() + Index + 1);
    FChanged = true;
}

void TPDFArray::Clear() {
    int32_t N = Count();
    if (FOwner)
        for (int32_t I = 0; I < N; ++I)
            if (Items[I]) FOwner->RemoveObject(Items[I]);
    for (int32_t I = 0; I < N; ++I) Release(Items[I]);
    Items.clear();
    Reserved = 0;
    FChanged = true;
}

void TPDFArray::ReserveItems(int32_t ACount) {
    if (Reserved >= ACount) return;
    Items.resize(Items.size() + (ACount - Reserved), nullptr);
    Reserved = ACount;
}

int32_t TPDFArray::ItemIndexMatch(const TPDFObject* AObject) const {
    if (!AObject) return -1;
    return IndexOfOutput(AObject->Output());
}

int32_t TPDFArray::IndexOfOutput(std::string_view Test) const {
    std::string Text;
    int32_t N = Count();
    for (int32_t I = 0; I < N; ++I) {
        Text.clear();
        if (Items[I]) {
            try {
                Items[I]->OutputTo(Text);
            } catch (...) {
                continue;
            }
        }
        if (Text == Test) return I;
    }
    return -1;
}

bool TPDFArray::HasMatchingChild(std::string_view Test) const { return IndexOfOutput(Test) >= 0; }

bool TPDFArray::AllItemsNumeric() const {
    int32_t N = Count();
    for (int32_t I = 0; I < N; ++I)
        if (!Items[I] || Items[I]->SpyType != TPDFNumeric::Tag) return false;
    return true;
}

bool TPDFArray::GetHasChanged() const {
    if (FChanged) return true;
    VisitGuard G(FVisiting);
    if (!G.Entered) return false;
    int32_t N = Count();
    for (int32_t I = 0; I < N; ++I)
        if (Items[I] && Items[I]->GetHasChanged()) return true;
    return false;
}

void TPDFArray::OutputTo(std::string& Out) const {
    OutputGuard G(FVisiting);
    size_t Mark = Out.size();
    Out.append("[ ");
    int32_t N = Count();
    for (int32_t I = 0; I < N; ++I) {
        if (Items[I]) Items[I]->OutputTo(Out);
        if (Out.back() != '\n') Out.push_back(' ');
        if (Out.size() - Mark > 80) {
            Out.push_back('\n');
            Mark = Out.size();
        }
    }
    Out.push_back(']');
}

void TPDFArray::Purge() {
    {
        VisitGuard G(FVisiting);
        if (!G.Entered) return;
        if (FOwner) {
            int32_t N = Count();
            for (int32_t I = 0; I < N; ++I)
                if (Items[I]) FOwner->RemoveObject(Items[I]);
        }
        FChanged = true;
    }
    if (FOwner) FOwner->RemoveObject(this);
}

void TPDFArray::ShiftIndRef(int32_t Offset) {
    VisitGuard G(FVisiting);
    if (!G.Entered) return;
    int32_t N = Count();
    for (int32_t I = 0; I < N; ++I)
        if (Items[I]) Items[I]->ShiftIndRef(Offset);
    if (N > 0) FChanged = true;
}

bool TPDFArray::HasChild(const TPDFObject* AObject) const {
    int32_t N = Count();
    for (int32_t I = 0; I < N; ++I)
        if (Items[I] == AObject) return true;
    return false;
}

// ---------------------------------------------------------------------------
// TPDFStream

TPDFStream::TPDFStream(TPDFStructure* AOwner) : TPDFObject(AOwner, Tag) {
    if (AOwner) FDictionary = AOwner->NewDictionary();
    Hold(FDictionary);
}

TPDFStream::TPDFStream(TPDFStructure* AOwner, std::string Content, TPDFDictionary* StreamDict)
    : TPDFObject(AOwner, Tag), FDictionary(StreamDict), FStream(std::move(Content)) {
    Hold(FDictionary);
}

TPDFStream::~TPDFStream() {
    if (!OwnerTearingDown()) Release(FDictionary);
}

void TPDFStream::SetStream(std::string Value) {
    FStream = std::move(Value);
    if (FDictionary) {
        auto* Len = ObjAs<TPDFNumeric>(FDictionary->FindValueByKeyName("Length", false));
        if (Len)
            Len->SetTo(static_cast<double>(FStream.size()));
        else if (FOwner)
            FDictionary->Add("Length", FOwner->NewNumeric(static_cast<double>(FStream.size())));
    }
    FChanged = true;
}

void TPDFStream::SetDict(TPDFDictionary* NewDictionary) {
    TPDFDictionary* Old = FDictionary;
    if (Old == NewDictionary) {
        FChanged = true;
        return;
    }
    Release(Old);
    FDictionary = nullptr;
    if (Old && FOwner) FOwner->RemoveObject(Old);
    FDictionary = NewDictionary;
    Hold(FDictionary);
    FChanged = true;
}

void TPDFStream::OutputTo(std::string& Out) const {
    if (FDictionary)
        FDictionary->OutputTo(Out);
    else
        Out.append("<<\n>>\n");
    Out.reserve(Out.size() + FStream.size() + 18);
    Out.append("stream\n");
    Out.append(FStream);
    Out.append("\nendstream");
}

void TPDFStream::Purge() {
    {
        VisitGuard G(FVisiting);
        if (!G.Entered) return;
        if (FDictionary) FDictionary->Purge();  // held here, so it stays
        FChanged = true;
    }
    if (FOwner) FOwner->RemoveObject(this);
}

void TPDFStream::ShiftIndRef(int32_t Offset) {
    if (FDictionary) FDictionary->ShiftIndRef(Offset);
    FChanged = true;
}

bool TPDFStream::HasChild(const TPDFObject* AObject) const {
    return FDictionary && (FDictionary == AObject || FDictionary->HasChild(AObject));
}

}  // namespace velmo
