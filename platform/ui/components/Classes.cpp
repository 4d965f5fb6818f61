#include "platform/ui/components/Classes.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace velmo::vcl {

void Abort() { throw EAbort(); }

namespace {

char16_t FoldUnit(char16_t C) { return C >= u'A' && C <= u'Z' ? char16_t(C + 32) : C; }

}  // namespace

bool SameTextAscii(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (size_t I = 0; I < A.size(); ++I)
        if (FoldUnit(char16_t(uint8_t(A[I]))) != FoldUnit(char16_t(uint8_t(B[I])))) return false;
    return true;
}

bool SameTextWide(std::u16string_view A, std::u16string_view B) {
    if (A.size() != B.size()) return false;
    for (size_t I = 0; I < A.size(); ++I)
        if (FoldUnit(A[I]) != FoldUnit(B[I])) return false;
    return true;
}

std::u16string Widen(std::string_view S) {
    std::u16string R;
    R.reserve(S.size());
    for (char C : S) R.push_back(uint8_t(C) < 0x80 ? char16_t(C) : u'?');
    return R;
}

std::string NarrowAscii(std::u16string_view S) {
    std::string R;
    R.reserve(S.size());
    for (char16_t C : S) R.push_back(C < 0x80 ? char(C) : '?');
    return R;
}

// --- Properties --------------------------------------------------------------

const TPropInfo* FindPropInfo(const TObject* Obj, std::string_view Name) {
    auto* P = dynamic_cast<const TPersistent*>(Obj);
    if (!P) return nullptr;
    TPropList L;
    P->ListProperties(L);
    // A class listed after its base may redeclare a property: the last wins.
    for (auto It = L.rbegin(); It != L.rend(); ++It)
        if (SameTextAscii((*It)->Name, Name)) return *It;
    return nullptr;
}

int64_t GetOrdPropByName(const TObject* Obj, std::string_view Name) {
    const TPropInfo* P = FindPropInfo(Obj, Name);
    if (!P || P->Kind != TTypeKind::tkInteger || !P->GetOrd) return -1;
    return P->GetOrd(*Obj);
}

std::string GetEnumPropByName(const TObject* Obj, std::string_view Name) {
    const TPropInfo* P = FindPropInfo(Obj, Name);
    if (!P || P->Kind != TTypeKind::tkEnumeration || !P->GetOrd) return {};
    int64_t V = P->GetOrd(*Obj);
    if (V < 0 || V >= int64_t(P->EnumNames.size())) return {};
    return P->EnumNames[size_t(V)];
}

std::u16string GetWideStrPropByName(const TObject* Obj, std::string_view Name) {
    const TPropInfo* P = FindPropInfo(Obj, Name);
    if (!P || P->Kind != TTypeKind::tkUString || !P->GetStr) return {};
    return P->GetStr(*Obj);
}

TObject* GetObjectPropRaw(const TObject* Obj, std::string_view Name) {
    const TPropInfo* P = FindPropInfo(Obj, Name);
    if (!P || P->Kind != TTypeKind::tkClass || !P->GetObj) return nullptr;
    return P->GetObj(*Obj);
}

bool SetPropByName(TObject* Obj, std::string_view Name, const std::u16string& Text) {
    const TPropInfo* P = FindPropInfo(Obj, Name);
    if (!P) return false;
    switch (P->Kind) {
        case TTypeKind::tkInteger: {
            if (!P->SetOrd) return false;
            std::string A = NarrowAscii(Text);
            size_t B = 0, E = A.size();
            while (B < E && A[B] == ' ') ++B;
            while (E > B && A[E - 1] == ' ') --E;
            int64_t V = 0;
            const char* First = A.data() + B;
            if (B < E && A[B] == '+') ++First;
            auto [Ptr, Ec] = std::from_chars(First, A.data() + E, V);
            if (Ec != std::errc() || Ptr != A.data() + E || First == A.data() + E) return false;
            P->SetOrd(*Obj, V);
            return true;
        }
        case TTypeKind::tkEnumeration: {
            if (!P->SetOrd) return false;
            std::string A = NarrowAscii(Text);
            for (size_t I = 0; I < P->EnumNames.size(); ++I)
                if (SameTextAscii(P->EnumNames[I], A)) {
                    P->SetOrd(*Obj, int64_t(I));
                    return true;
                }
            return false;
        }
        case TTypeKind::tkUString:
            if (!P->SetStr) return false;
            P->SetStr(*Obj, Text);
            return true;
        case TTypeKind::tkClass:
            return false;
    }
    return false;
}

bool SetObjectPropByName(TObject* Obj, std::string_view Name, TObject* Value) {
    const TPropInfo* P = FindPropInfo(Obj, Name);
    if (!P || P->Kind != TTypeKind::tkClass || !P->SetObj) return false;
    P->SetObj(*Obj, Value);
    return true;
}

size_t TByteReader::Read(void* Buffer, size_t Count) {
    size_t N = std::min(Count, FData.size() - FPos);
    if (N) std::memcpy(Buffer, FData.data() + FPos, N);
    FPos += N;
    return N;
}

// --- Components ----------------------------------------------------------------

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    FState |= csDestroying;
    // Everyone watching hears of the end first, while this object is whole.
    while (!FFreeNotifies.empty()) {
        TComponent* C = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        auto& Back = C->FFreeNotifies;
        Back.erase(std::remove(Back.begin(), Back.end(), this), Back.end());
        C->Notification(this, opRemove);
    }
    DestroyComponents();
    if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        StrProp<TComponent>("Name", &TComponent::Name, &TComponent::SetName),
        IntProp<TComponent, intptr_t>("Tag", &TComponent::Tag, &TComponent::SetTag),
    };
    TPersistent::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

TComponent* TComponent::Components(int Index) const {
    if (Index < 0 || Index >= int(FComponents.size())) return nullptr;
    return FComponents[size_t(Index)];
}

TComponent* TComponent::FindComponent(std::u16string_view Name) const {
    if (Name.empty()) return nullptr;
    for (TComponent* C : FComponents)
        if (SameTextWide(C->FName, Name)) return C;
    return nullptr;
}

void TComponent::SetName(const std::u16string& Value) { FName = Value; }

void TComponent::InsertComponent(TComponent* C) {
    if (!C || C->FOwner == this) return;
    if (C->FOwner) C->FOwner->RemoveComponent(C);
    FComponents.push_back(C);
    C->FOwner = this;
    Notification(C, opInsert);
}

void TComponent::RemoveComponent(TComponent* C) {
    if (!C || C->FOwner != this) return;
    Notification(C, opRemove);
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), C), FComponents.end());
    C->FOwner = nullptr;
}

void TComponent::FreeNotification(TComponent* C) {
    if (!C || C == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), C) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(C);
        C->FFreeNotifies.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* C) {
    if (!C) return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), C),
                        FFreeNotifies.end());
    C->FFreeNotifies.erase(std::remove(C->FFreeNotifies.begin(), C->FFreeNotifies.end(), this),
                           C->FFreeNotifies.end());
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* C = FComponents.back();
        RemoveComponent(C);
        delete C;
    }
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    // Owned components hear of removals among their siblings, so that
    // references between them are cleared.
    if (Operation == opRemove && AComponent)
        for (TComponent* C : std::vector<TComponent*>(FComponents))
            if (C != AComponent) C->Notification(AComponent, Operation);
}

// --- Stored forms -----------------------------------------------------------------

namespace {

TParentSetter& ParentSetter() {
    static TParentSetter S = nullptr;
    return S;
}

class TTableFiler : public TFiler {
public:
    explicit TTableFiler(const TStoredComponent& Entry) : FEntry(Entry) {}
    void DefineBinaryProperty(const std::string& Name, const TReadProc& ReadData,
                              bool HasData) override {
        (void)HasData;  // only written forms consult it
        if (!ReadData) return;
        for (const auto& [N, Data] : FEntry.Binary)
            if (SameTextAscii(N, Name)) {
                TByteReader R(Data);
                ReadData(R);
            }
    }

private:
    const TStoredComponent& FEntry;
};

}  // namespace

void SetStoredParentSetter(TParentSetter Setter) { ParentSetter() = Setter; }

// A stored name may reach into an object property ("Font.Height"), as
// many levels deep as the name has dots.
static bool SetStoredProp(TObject* Obj, std::string_view Name, const std::u16string& Text) {
    for (size_t Dot; (Dot = Name.find('.')) != std::string_view::npos;) {
        Obj = GetObjectPropRaw(Obj, Name.substr(0, Dot));
        if (!Obj) return false;
        Name.remove_prefix(Dot + 1);
    }
    return SetPropByName(Obj, Name, Text);
}

std::vector<TComponent*> ReadStoredComponents(TComponent& Root,
                                              const std::vector<TStoredComponent>& Table) {
    std::vector<TComponent*> Created;
    Root.BeginLoading();
    for (const TStoredComponent& E : Table) {
        TComponent* C = &Root;
        if (E.Create) {
            C = E.Create(&Root);
            if (!C) continue;
            C->BeginLoading();
            if (C->Owner() != &Root) Root.InsertComponent(C);
            Created.push_back(C);
        }
        if (!E.Name.empty()) C->SetName(E.Name);
        if (C != &Root && ParentSetter()) {
            TComponent* Parent = E.Parent.empty() ? nullptr : Root.FindComponent(E.Parent);
            if (!Parent && (E.Parent.empty() || SameTextWide(E.Parent, Root.Name())))
                Parent = &Root;
            ParentSetter()(C, Parent);
        }
        for (const auto& [Name, Text] : E.Properties) SetStoredProp(C, Name, Text);
        TTableFiler Filer(E);
        C->DefineProperties(Filer);
        if (E.Assign) E.Assign(C);
    }
    Root.Loaded();
    for (TComponent* C : Created) C->Loaded();
    return Created;
}

}  // namespace velmo::vcl
