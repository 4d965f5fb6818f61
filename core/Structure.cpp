#include "core/Structure.h"

#include <array>
#include <memory>

#include "core/StringList.h"

namespace velmo {

namespace {

// The words of the common-name table grouped by length, for a look-up
// without building the bracketed text.
struct CommonWords {
    std::array<std::vector<std::string_view>, 32> ByLength;
    CommonWords() {
        std::string_view T = kCommonNameTable;
        size_t P = 0;
        while (P < T.size()) {
            size_t Close = T.find(']', P);
            std::string_view W = T.substr(P + 1, Close - P - 1);
            ByLength[W.size()].push_back(W);
            P = Close + 1;
        }
    }
};

const CommonWords& Words() {
    static const CommonWords W;
    return W;
}

}  // namespace

bool IsCommonNameText(std::string_view Name) {
    if (Name.find_first_of("[]") != std::string_view::npos) {
        // A text with brackets can still span several words of the table.
        std::string Bracketed;
        Bracketed.reserve(Name.size() + 2);
        Bracketed.push_back('[');
        Bracketed.append(Name);
        Bracketed.push_back(']');
        return kCommonNameTable.find(Bracketed) != std::string_view::npos;
    }
    if (Name.empty() || Name.size() >= 32) return false;
    for (std::string_view W : Words().ByLength[Name.size()])
        if (W == Name) return true;
    return false;
}

// ---------------------------------------------------------------------------
// Life cycle

TPDFStructure::TPDFStructure() { Clear(); }

TPDFStructure::~TPDFStructure() { FreeAll(true); }

void TPDFStructure::FreeAll(bool Swallow) {
    FTearingDown = true;
    size_t Used = Objects.size() - FReserved;
    for (size_t I = 0; I < Used; ++I) {
        TPDFObject* O = Objects[I];
        Objects[I] = nullptr;
        if (!O) continue;
        if (Swallow) {
            try {
                delete O;
            } catch (...) {
            }
        } else {
            delete O;
        }
    }
    Objects.clear();
    FReserved = 0;
    FHoles = 0;
    FTearingDown = false;
}

void TPDFStructure::Clear() {
    PDFPrecision = "0.0000";
    PDFPrecNum = 4;
    OldFormat = true;
    FreeAll(false);
    ResetCommonNames();
}

void TPDFStructure::ResetCommonNames() {
    FCommonNames.clear();
    for (const auto& Group : Words().ByLength)
        for (std::string_view W : Group) FCommonNames.emplace(std::string(W), nullptr);
}

void TPDFStructure::AddObject(TPDFObject* Obj) {
    if (!Obj || Obj->FSlot != UINT32_MAX) return;  // nothing, or entered already
    if (FReserved < 100) ReserveObjects(1000);
    size_t Index = Objects.size() - FReserved;
    Objects[Index] = Obj;
    Obj->FSlot = static_cast<uint32_t>(Index);
    --FReserved;
    if (Obj->SpyType == TPDFName::Tag) NoteNameAdded(static_cast<TPDFName*>(Obj));
}

void TPDFStructure::ReserveObjects(int32_t ACount) {
    if (FReserved >= ACount) return;
    // resize() grows the capacity geometrically, so stepping the length by a
    // thousand slots costs no quadratic copying in large stores.
    Objects.resize(Objects.size() + (ACount - FReserved), nullptr);
    FReserved = ACount;
}

int32_t TPDFStructure::ObjectCount() const {
    return static_cast<int32_t>(Objects.size()) - FReserved - FHoles;
}

int32_t TPDFStructure::Reserved() const {
    Compact();
    return FReserved;
}

int32_t TPDFStructure::Capacity() const { return static_cast<int32_t>(Objects.size()); }

void TPDFStructure::Compact() const {
    if (FHoles == 0) return;
    size_t Used = Objects.size() - FReserved;
    size_t J = 0;
    for (size_t I = 0; I < Used; ++I) {
        TPDFObject* O = Objects[I];
        if (!O) continue;
        Objects[J] = O;
        O->FSlot = static_cast<uint32_t>(J);
        ++J;
    }
    for (size_t I = J; I < Used; ++I) Objects[I] = nullptr;
    FReserved += FHoles;
    FHoles = 0;
}

TPDFObject* TPDFStructure::GetObject(int32_t Index) const {
    if (Index < 0 || Index >= ObjectCount()) return nullptr;
    Compact();
    return Objects[Index];
}

void TPDFStructure::RemoveObject(TPDFObject* Obj) {
    if (!Obj || Obj->FOwner != this) return;
    size_t Used = Objects.size() - FReserved;
    if (Obj->FSlot >= Used || Objects[Obj->FSlot] != Obj) return;
    if (Obj->SpyType == TPDFName::Tag && static_cast<TPDFName*>(Obj)->FCommon) return;
    if (Obj->FHolders > 0) return;
    FreeObject(Obj);
}

void TPDFStructure::FreeObject(TPDFObject* Obj) {
    if (Obj->SpyType == TPDFName::Tag) {
        auto* N = static_cast<TPDFName*>(Obj);
        auto It = FCommonNames.find(N->FValue);
        if (It != FCommonNames.end() && It->second == N) FCommonNames.erase(It);
    }
    size_t Used = Objects.size() - FReserved;
    size_t Slot = Obj->FSlot;
    Objects[Slot] = nullptr;
    if (Slot + 1 == Used)
        ++FReserved;  // the last object: its slot turns spare at once
    else
        ++FHoles;
    delete Obj;
}

TPDFName* TPDFStructure::FindName(std::string_view Name) const {
    size_t Used = Objects.size() - FReserved;
    for (size_t I = 0; I < Used; ++I) {
        TPDFObject* O = Objects[I];
        if (O && O->SpyType == TPDFName::Tag && static_cast<TPDFName*>(O)->FValue == Name)
            return static_cast<TPDFName*>(O);
    }
    return nullptr;
}

void TPDFStructure::NoteNameAdded(TPDFName* Name) {
    if (!IsCommonNameText(Name->FValue)) return;
    auto It = FCommonNames.find(Name->FValue);
    if (It != FCommonNames.end() && !It->second) It->second = Name;
}

void TPDFStructure::NoteNameText(TPDFName* Name, std::string_view OldText) {
    if (IsCommonNameText(OldText)) {
        auto It = FCommonNames.find(std::string(OldText));
        if (It != FCommonNames.end() && It->second == Name) FCommonNames.erase(It);
    }
    if (IsCommonNameText(Name->FValue)) {
        auto It = FCommonNames.find(Name->FValue);
        if (It != FCommonNames.end() && (!It->second || Name->FSlot < It->second->FSlot))
            It->second = Name;
    }
}

void TPDFStructure::ShiftIndRef(int32_t Offset, bool ZeroGen) {
    size_t Used = Objects.size() - FReserved;
    for (size_t I = 0; I < Used; ++I) {
        auto* R = ObjAs<TPDFIndRef>(Objects[I]);
        if (!R) continue;
        R->ObjNum += Offset;
        if (ZeroGen) R->GenNum = 0;
    }
}

void TPDFStructure::ReplaceIndRef(const TVelmoPDFStringList& AddedObjects, int32_t Offset) {
    size_t Used = Objects.size() - FReserved;
    std::string Text;
    for (size_t I = 0; I < Used; ++I) {
        auto* R = ObjAs<TPDFIndRef>(Objects[I]);
        if (!R) continue;
        Text.clear();
        R->OutputTo(Text);
        int32_t Index = AddedObjects.IndexOf(Text);
        R->ObjNum = Index >= 0 ? Offset + Index : 0;
        R->GenNum = 0;
    }
}

// ---------------------------------------------------------------------------
// Factories

template <class T>
T* TPDFStructure::Make() {
    auto O = std::make_unique<T>(this);
    AddObject(O.get());
    return O.release();
}

TPDFNull* TPDFStructure::NewNull() { return Make<TPDFNull>(); }

TPDFBoolean* TPDFStructure::NewBoolean(bool Value) {
    auto* O = Make<TPDFBoolean>();
    O->SetTo(Value);
    return O;
}

TPDFNumeric* TPDFStructure::NewNumeric(double Value) {
    auto* O = Make<TPDFNumeric>();
    O->SetTo(Value);
    return O;
}

TPDFName* TPDFStructure::NewName(std::string_view Value) {
    auto O = std::make_unique<TPDFName>(this);
    // Set before entering the store: a fresh name changes no existing key.
    O->FValue.assign(Value);
    O->FChanged = true;
    AddObject(O.get());
    return O.release();
}

TPDFName* TPDFStructure::NewCommonName(std::string_view Value) {
    TPDFName* Found = nullptr;
    if (IsCommonNameText(Value)) {
        auto It = FCommonNames.find(std::string(Value));
        if (It != FCommonNames.end()) {
            Found = It->second;
        } else {
            Found = FindName(Value);
            FCommonNames.emplace(std::string(Value), Found);
        }
    }
    if (!Found) Found = NewName(Value);
    Found->FCommon = true;
    return Found;
}

TPDFString* TPDFStructure::NewString(std::string_view Value, TPDFStringMode Mode) {
    auto* O = Make<TPDFString>();
    O->SetTo(Value);
    O->StringMode = Mode;
    return O;
}

TPDFIndRef* TPDFStructure::NewIndirectRef(int32_t ObjNum, int32_t GenNum) {
    auto* O = Make<TPDFIndRef>();
    O->ObjNum = ObjNum;
    O->GenNum = GenNum;
    return O;
}

TPDFDictionary* TPDFStructure::NewDictionary() { return Make<TPDFDictionary>(); }

TPDFArray* TPDFStructure::NewArray() { return Make<TPDFArray>(); }

TPDFArray* TPDFStructure::NewArray(std::span<TPDFObject* const> Items) {
    auto* A = NewArray();
    for (TPDFObject* O : Items) A->Add(O);
    return A;
}

TPDFArray* TPDFStructure::NewIntArray(std::span<const int32_t> Values) {
    auto* A = NewArray();
    for (int32_t V : Values) A->Add(NewNumeric(V));
    return A;
}

TPDFArray* TPDFStructure::NewDoubleArray(std::span<const double> Values) {
    auto* A = NewArray();
    for (double V : Values) A->Add(NewNumeric(V));
    return A;
}

TPDFStream* TPDFStructure::NewStreamWithDict(std::string Value, TPDFDictionary* StreamDict) {
    auto O = std::make_unique<TPDFStream>(this, std::move(Value), StreamDict);
    AddObject(O.get());
    return O.release();
}

}  // namespace velmo
