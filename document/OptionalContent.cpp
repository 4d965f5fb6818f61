// Optional content groups of a document: creating and naming groups, their
// view and print states, the default configuration's auto states, the
// configurations' ON/OFF/Locked arrays and the flattened /Order array.
#include <unordered_set>

#include "core/Structure.h"
#include "document/Document.h"

namespace velmo {

namespace {

// Groups are matched by object and generation number.
int32_t RefIndex(const TPDFArray* Arr, const TPDFIndRef* Ref) {
    if (!Arr || !Ref) return -1;
    int32_t N = Arr->Count();
    for (int32_t I = 0; I < N; ++I) {
        auto* R = ObjAs<TPDFIndRef>(Arr->GetItem(I));
        if (R && R->ObjNum == Ref->ObjNum && R->GenNum == Ref->GenNum) return I;
    }
    return -1;
}

bool HasRef(const TPDFArray* Arr, const TPDFIndRef* Ref) { return RefIndex(Arr, Ref) >= 0; }

void AddRef(TPDFArray* Arr, const TPDFIndRef* Ref) {
    if (!Arr || !Ref || HasRef(Arr, Ref)) return;
    Arr->Add(Arr->Owner()->NewIndirectRef(Ref->ObjNum, Ref->GenNum));
}

// Takes out the first matching element only.
void RemoveRef(TPDFArray* Arr, const TPDFIndRef* Ref) {
    int32_t I = RefIndex(Arr, Ref);
    if (I >= 0) Arr->Delete(I);
}

TPDFDictionary* GroupDict(TPDFIndRef* Ref) {
    return Ref ? ObjAs<TPDFDictionary>(Ref->Obj()) : nullptr;
}

bool HasKey(TPDFDictionary* D, std::string_view Key) { return D->FindIndexByKeyName(Key) >= 0; }

TPDFArray* FollowedArray(TPDFDictionary* D, std::string_view Key) {
    return D ? ObjAs<TPDFArray>(D->FindValueByKeyName(Key, true)) : nullptr;
}

// The array under Key (followed); a new empty one is stored when the entry is
// absent, and also when it holds something else and Replace is set.
TPDFArray* NeedArray(TPDFDictionary* D, std::string_view Key, bool Replace) {
    if (auto* A = FollowedArray(D, Key)) return A;
    if (HasKey(D, Key) && !Replace) return nullptr;
    TPDFArray* A = D->Owner()->NewArray();
    D->Add(Key, A);
    return A;
}

bool IsName(TPDFObject* O, std::string_view Name) {
    auto* N = ObjAs<TPDFName>(O);
    return N && N->Name() == Name;
}

// Walks shared or nested /Order arrays: arrays on the current path are not
// entered again, nesting stops at kMaxObjectDepth, and the whole walk at a
// fixed number of elements, so a hostile file cannot make it loop or explode.
struct TOrderWalk {
    std::unordered_set<const TPDFArray*> OnPath;
    int64_t Budget = int64_t{1} << 20;
};

void BuildOrder(TPDFDocument& Doc, TPDFArray* Source, TPDFOCGConfigOrderItems& Items, int32_t Level,
                int Depth, TOrderWalk& Walk) {
    if (!Source || Depth > kMaxObjectDepth || !Walk.OnPath.insert(Source).second) return;
    auto Other = [&](int32_t L) {
        TPDFOCGConfigOrderItem It;
        It.ItemType = 0;
        It.ItemLevel = L;
        Items.push_back(std::move(It));
    };
    int32_t N = 0;
    int32_t Count = Source->Count();
    for (int32_t P = 0; P < Count; ++P) {
        if (--Walk.Budget < 0) break;
        TPDFObject* E = Source->GetItem(P);
        if (P == 0 && ObjAs<TPDFString>(E)) {
            TPDFOCGConfigOrderItem It;
            It.ItemType = 2;
            It.ItemLabel = ObjAs<TPDFString>(E)->AsTextString();
            It.ItemLevel = Level;
            Items.push_back(std::move(It));
            N = 1;
        } else if (auto* R = ObjAs<TPDFIndRef>(E)) {
            TPDFObject* Target = R->Obj();
            if (auto* A = ObjAs<TPDFArray>(Target)) {
                BuildOrder(Doc, A, Items, Level + N + 1, Depth + 1, Walk);
            } else if (ObjAs<TPDFDictionary>(Target)) {
                TPDFOCGConfigOrderItem It;
                It.ItemType = 1;
                It.ItemOCG = R;
                It.ItemLabel = Doc.OCGName(R);
                It.ItemLevel = Level + N;
                Items.push_back(std::move(It));
            } else {
                Other(Level + N);
            }
        } else if (auto* A = ObjAs<TPDFArray>(E)) {
            BuildOrder(Doc, A, Items, Level + N + 1, Depth + 1, Walk);
        } else {
            Other(Level + N);
        }
    }
    Walk.OnPath.erase(Source);
}

}  // namespace

// ---- Groups ----

TPDFIndRef* TPDFDocument::NewOCG(std::u16string_view GroupName) {
    TPDFDictionary* Root = GetRootDict();
    auto* Props = ObjAs<TPDFDictionary>(Root->FindValueByKeyName("OCProperties", true));
    if (!Props) {
        Props = FStructure->NewDictionary();
        Root->Add("OCProperties", NewObjRef(Props));
    }
    auto* D = ObjAs<TPDFDictionary>(Props->FindValueByKeyName("D", true));
    if (!D) {
        D = FStructure->NewDictionary();
        Props->Add("D", D);
    }
    TPDFArray* OCGs = NeedArray(Props, "OCGs", true);
    TPDFArray* Order = NeedArray(D, "Order", true);

    TPDFDictionary* Group = FStructure->NewDictionary();
    Group->Add("Type", FStructure->NewName("OCG"));
    Group->Add("Name", FStructure->NewTextString(GroupName));
    TPDFIndRef* Ref = NewObjRef(Group);
    OCGs->Add(Ref);
    Order->Add(FStructure->NewIndirectRef(Ref->ObjNum, Ref->GenNum));

    SetOCGAutoState(Ref, "View", true);
    SetOCGAutoState(Ref, "Print", true);
    return Ref;
}

namespace {
TPDFDictionary* OCProperties(TPDFDocument& Doc) {
    return ObjAs<TPDFDictionary>(Doc.GetRootDict()->FindValueByKeyName("OCProperties", true));
}
TPDFDictionary* DefaultConfig(TPDFDocument& Doc) {
    TPDFDictionary* Props = OCProperties(Doc);
    return Props ? ObjAs<TPDFDictionary>(Props->FindValueByKeyName("D", true)) : nullptr;
}
TPDFArray* OCGsArray(TPDFDocument& Doc) { return FollowedArray(OCProperties(Doc), "OCGs"); }
}  // namespace

int32_t TPDFDocument::OCGCount() {
    TPDFArray* OCGs = OCGsArray(*this);
    return OCGs ? OCGs->Count() : 0;
}

TPDFIndRef* TPDFDocument::OCGRef(int32_t Index) {
    TPDFArray* OCGs = OCGsArray(*this);
    if (!OCGs || Index < 1 || Index > OCGs->Count()) return nullptr;
    return ObjAs<TPDFIndRef>(OCGs->GetItem(Index - 1));
}

std::u16string TPDFDocument::OCGName(TPDFIndRef* OCGRef) {
    TPDFDictionary* G = GroupDict(OCGRef);
    if (!G) return {};
    auto* S = ObjAs<TPDFString>(G->FindValueByKeyName("Name", true));
    return S ? S->AsTextString() : std::u16string();
}

bool TPDFDocument::SetOCGName(TPDFIndRef* OCGRef, std::u16string_view NewName) {
    TPDFDictionary* G = GroupDict(OCGRef);
    if (!G) return false;
    auto* S = ObjAs<TPDFString>(G->FindValueByKeyName("Name", true));
    if (!S) return false;
    S->SetToTextString(NewName);
    return true;
}

bool TPDFDocument::DeleteOCG(TPDFIndRef* OCGRef) {
    if (!GroupDict(OCGRef)) return false;
    TPDFArray* OCGs = OCGsArray(*this);
    if (!OCGs) return false;
    RemoveRef(OCGs, OCGRef);
    RemoveRef(FollowedArray(DefaultConfig(*this), "OFF"), OCGRef);
    return true;
}

// ---- Visibility and printing ----

bool TPDFDocument::GetOCGState(TPDFIndRef* OCGRef, std::string_view Key) {
    if (!OCGRef) return true;
    TPDFDictionary* G = GroupDict(OCGRef);
    if (Key == "Print") {
        if (!G) return true;
        auto* Usage = ObjAs<TPDFDictionary>(G->FindValueByKeyName("Usage", true));
        auto* Print =
            Usage ? ObjAs<TPDFDictionary>(Usage->FindValueByKeyName("Print", true)) : nullptr;
        return !(Print && IsName(Print->FindValueByKeyName("PrintState", true), "OFF"));
    }
    if (!OCProperties(*this)) return true;
    TPDFDictionary* D = DefaultConfig(*this);
    if (!D) return true;
    bool BaseOn = !IsName(D->FindValueByKeyName("BaseState", true), "OFF");
    bool Result =
        BaseOn ? !HasRef(FollowedArray(D, "OFF"), OCGRef) : HasRef(FollowedArray(D, "ON"), OCGRef);

    // Auto states match groups by name, not by reference.
    TPDFObject* ASObj = D->FindValueByKeyName("AS", false);
    if (!HasKey(D, "AS")) {
        ASObj = FStructure->NewArray();
        D->Add("AS", ASObj);
    }
    auto* AS = ObjAs<TPDFArray>(ASObj);
    auto* GroupName = G ? ObjAs<TPDFString>(G->FindValueByKeyName("Name", true)) : nullptr;
    if (AS && GroupName) {
        for (TPDFObject* Item : AS->LiveItems()) {
            auto* App = ObjAs<TPDFDictionary>(Item);
            if (!App || !IsName(App->FindValueByKeyName("Event", true), Key)) continue;
            auto* Groups = ObjAs<TPDFArray>(App->FindValueByKeyName("OCGs", false));
            if (!Groups) continue;
            for (TPDFObject* E : Groups->LiveItems()) {
                TPDFObject* T = E;
                if (auto* R = ObjAs<TPDFIndRef>(E)) T = R->Obj();
                auto* Other = ObjAs<TPDFDictionary>(T);
                auto* OtherName =
                    Other ? ObjAs<TPDFString>(Other->FindValueByKeyName("Name", true)) : nullptr;
                if (OtherName && OtherName->AsString() == GroupName->AsString()) Result = true;
            }
        }
    }
    return Result;
}

bool TPDFDocument::SetOCGVisible(TPDFIndRef* OCGRef, bool Visible) {
    if (!GroupDict(OCGRef)) return false;
    bool Result = false;
    TPDFDictionary* D = OCProperties(*this) ? DefaultConfig(*this) : nullptr;
    if (D) {
        TPDFArray* On = NeedArray(D, "ON", true);
        TPDFArray* Off = NeedArray(D, "OFF", true);
        if (Visible) {
            AddRef(On, OCGRef);
            RemoveRef(Off, OCGRef);
        } else {
            AddRef(Off, OCGRef);
            RemoveRef(On, OCGRef);
        }
        SetOCGAutoState(OCGRef, "View", Visible);
        Result = true;
    }
    SetOCGUsage(OCGRef, "View", Visible ? "ON" : "OFF");
    return Result;
}

bool TPDFDocument::SetOCGPrintable(TPDFIndRef* OCGRef, int32_t Printable) {
    if (!GroupDict(OCGRef)) return true;
    if (Printable == 2) {
        RemoveOCGUsage(OCGRef, "Print");
    } else {
        SetOCGUsage(OCGRef, "Print", Printable == 1 ? "ON" : "OFF");
        SetOCGAutoState(OCGRef, "Print", true);
    }
    return true;
}

bool TPDFDocument::SetOCGUsage(TPDFIndRef* OCGRef, std::string_view Key, std::string_view Value) {
    TPDFDictionary* G = GroupDict(OCGRef);
    if (!G) return false;
    auto* Usage = ObjAs<TPDFDictionary>(G->FindValueByKeyName("Usage", true));
    if (!Usage) {
        if (HasKey(G, "Usage")) return false;
        Usage = FStructure->NewDictionary();
        G->Add("Usage", Usage);
    }
    auto* Entry = ObjAs<TPDFDictionary>(Usage->FindValueByKeyName(Key, false));
    if (!Entry) {
        if (HasKey(Usage, Key)) return false;
        Entry = FStructure->NewDictionary();
        Usage->Add(Key, Entry);
    }
    std::string StateKey = std::string(Key) + "State";
    if (!HasKey(Entry, StateKey)) {
        Entry->Add(StateKey, FStructure->NewName(Value));
        return true;
    }
    auto* State = ObjAs<TPDFName>(Entry->FindValueByKeyName(StateKey, true));
    if (!State) return false;
    State->SetTo(Value);
    return true;
}

bool TPDFDocument::RemoveOCGUsage(TPDFIndRef* OCGRef, std::string_view Key) {
    TPDFDictionary* G = GroupDict(OCGRef);
    auto* Usage = G ? ObjAs<TPDFDictionary>(G->FindValueByKeyName("Usage", true)) : nullptr;
    if (!Usage) return false;
    Usage->DeleteEntryByKeyName(Key);
    return true;
}

bool TPDFDocument::SetOCGAutoState(TPDFIndRef* OCGRef, std::string_view Key, bool Include) {
    if (!OCGRef || !OCProperties(*this)) return true;
    TPDFDictionary* D = DefaultConfig(*this);
    if (!D) return true;
    if (!HasKey(D, "AS")) D->Add("AS", FStructure->NewArray());
    auto* AS = ObjAs<TPDFArray>(D->FindValueByKeyName("AS", false));
    if (!AS) return true;
    TPDFDictionary* App = nullptr;
    for (TPDFObject* Item : AS->LiveItems()) {
        auto* Cand = ObjAs<TPDFDictionary>(Item);
        if (Cand && IsName(Cand->FindValueByKeyName("Event", true), Key)) App = Cand;
    }
    if (!App) {
        App = FStructure->NewDictionary();
        App->Add("Event", FStructure->NewName(Key));
        App->Add("Category", FStructure->NewArray({FStructure->NewName(Key)}));
        App->Add("OCGs", FStructure->NewArray());
        AS->Add(App);
    }
    TPDFArray* Groups = NeedArray(App, "OCGs", false);
    if (!Groups) return true;
    if (Include)
        AddRef(Groups, OCGRef);
    else
        RemoveRef(Groups, OCGRef);
    return true;
}

TVPLOCGStateList TPDFDocument::GetViewOCGList() {
    TVPLOCGStateList List;
    int32_t N = OCGCount();
    List.reserve(static_cast<size_t>(N));
    for (int32_t I = 1; I <= N; ++I) {
        TPDFIndRef* Ref = OCGRef(I);
        List.push_back({Ref, Ref ? GetOCGVisible(Ref) : true});
    }
    return List;
}

TVPLOCGStateList TPDFDocument::GetPrintOCGList() {
    TVPLOCGStateList List;
    int32_t N = OCGCount();
    List.reserve(static_cast<size_t>(N));
    for (int32_t I = 1; I <= N; ++I) {
        TPDFIndRef* Ref = OCGRef(I);
        List.push_back({Ref, Ref ? GetOCGPrintable(Ref) : true});
    }
    return List;
}

// ---- Configurations ----

int32_t TPDFDocument::GetOptionalContentConfigCount() {
    TPDFDictionary* Props = OCProperties(*this);
    if (!Props || !DefaultConfig(*this)) return 0;
    TPDFArray* Configs = FollowedArray(Props, "Configs");
    return 1 + (Configs ? Configs->Count() : 0);
}

TPDFDictionary* TPDFDocument::GetOptionalContentConfigDict(int32_t ConfigID) {
    if (ConfigID == 1) return DefaultConfig(*this);
    if (ConfigID < 2 || ConfigID > GetOptionalContentConfigCount()) return nullptr;
    TPDFArray* Configs = FollowedArray(OCProperties(*this), "Configs");
    TPDFObject* E = Configs ? Configs->GetItem(ConfigID - 2) : nullptr;
    if (auto* R = ObjAs<TPDFIndRef>(E)) E = R->Obj();
    return ObjAs<TPDFDictionary>(E);
}

namespace {
int32_t ConfigBaseState(int32_t ConfigID, TPDFDictionary* Config) {
    if (ConfigID == 1) return 1;
    auto* Base = ObjAs<TPDFName>(Config->FindValueByKeyName("BaseState", true));
    if (Base && Base->Name() == "Unchanged") return 3;
    if (Base && Base->Name() == "OFF") return 2;
    return 1;
}
}  // namespace

int32_t TPDFDocument::GetOptionalContentConfigState(int32_t ConfigID, TPDFIndRef* OCGRef) {
    TPDFDictionary* Config = GetOptionalContentConfigDict(ConfigID);
    if (!Config || !OCGRef) return 0;
    int32_t State = ConfigBaseState(ConfigID, Config);
    if (HasRef(FollowedArray(Config, "ON"), OCGRef)) State = 1;
    if (HasRef(FollowedArray(Config, "OFF"), OCGRef)) State = 2;
    return State;
}

bool TPDFDocument::SetOptionalContentConfigState(int32_t ConfigID, TPDFIndRef* OCGRef,
                                                 int32_t NewState) {
    TPDFDictionary* Config = GetOptionalContentConfigDict(ConfigID);
    if (!Config || !OCGRef) return false;
    int32_t Base = ConfigBaseState(ConfigID, Config);
    if (NewState == 3 && Base != 3) return false;
    bool InOff = Base == 1 && NewState == 2;
    bool InOn = Base == 2 && NewState == 1;
    if (TPDFArray* On = NeedArray(Config, "ON", false)) {
        if (InOn)
            AddRef(On, OCGRef);
        else
            RemoveRef(On, OCGRef);
    }
    TPDFArray* Off = NeedArray(Config, "OFF", false);
    if (!Off) return false;
    if (InOff)
        AddRef(Off, OCGRef);
    else
        RemoveRef(Off, OCGRef);
    return true;
}

bool TPDFDocument::GetOptionalContentConfigLocked(int32_t ConfigID, TPDFIndRef* OCGRef) {
    TPDFDictionary* Config = GetOptionalContentConfigDict(ConfigID);
    return Config && OCGRef && HasRef(FollowedArray(Config, "Locked"), OCGRef);
}

bool TPDFDocument::SetOptionalContentConfigLocked(int32_t ConfigID, TPDFIndRef* OCGRef,
                                                  bool Locked) {
    TPDFDictionary* Config = GetOptionalContentConfigDict(ConfigID);
    if (!Config || !OCGRef) return false;
    TPDFArray* Arr = NeedArray(Config, "Locked", false);
    if (!Arr) return false;
    if (Locked)
        AddRef(Arr, OCGRef);
    else
        RemoveRef(Arr, OCGRef);
    return true;
}

// ---- Presentation order ----

void TPDFDocument::BuildOptionalContentConfigOrderArray(TPDFArray* Source,
                                                        TPDFOCGConfigOrderItems& ItemList,
                                                        int32_t Level) {
    TOrderWalk Walk;
    BuildOrder(*this, Source, ItemList, Level, 0, Walk);
}

namespace {
TPDFOCGConfigOrderItems OrderItems(TPDFDocument& Doc, int32_t ConfigID) {
    TPDFOCGConfigOrderItems Items;
    TPDFDictionary* Config = Doc.GetOptionalContentConfigDict(ConfigID);
    if (TPDFArray* Order = FollowedArray(Config, "Order"))
        Doc.BuildOptionalContentConfigOrderArray(Order, Items, 1);
    return Items;
}
const TPDFOCGConfigOrderItem* OrderItem(const TPDFOCGConfigOrderItems& Items, int32_t ItemIndex) {
    if (ItemIndex < 1 || static_cast<size_t>(ItemIndex) > Items.size()) return nullptr;
    return &Items[static_cast<size_t>(ItemIndex) - 1];
}
}  // namespace

int32_t TPDFDocument::GetOptionalContentConfigOrderCount(int32_t ConfigID) {
    return static_cast<int32_t>(OrderItems(*this, ConfigID).size());
}

int32_t TPDFDocument::GetOptionalContentConfigOrderItemType(int32_t ConfigID, int32_t ItemIndex) {
    auto Items = OrderItems(*this, ConfigID);
    const auto* It = OrderItem(Items, ItemIndex);
    return It ? It->ItemType : 0;
}

std::u16string TPDFDocument::GetOptionalContentConfigOrderItemLabel(int32_t ConfigID,
                                                                    int32_t ItemIndex) {
    auto Items = OrderItems(*this, ConfigID);
    const auto* It = OrderItem(Items, ItemIndex);
    return It ? It->ItemLabel : std::u16string();
}

TPDFIndRef* TPDFDocument::GetOptionalContentConfigOrderItemOCG(int32_t ConfigID,
                                                               int32_t ItemIndex) {
    auto Items = OrderItems(*this, ConfigID);
    const auto* It = OrderItem(Items, ItemIndex);
    return It && It->ItemType == 1 ? It->ItemOCG : nullptr;
}

int32_t TPDFDocument::GetOptionalContentConfigOrderItemLevel(int32_t ConfigID, int32_t ItemIndex) {
    auto Items = OrderItems(*this, ConfigID);
    const auto* It = OrderItem(Items, ItemIndex);
    return It ? It->ItemLevel : 0;
}

// ---- Membership dictionaries ----

bool OCGShown(const TPDFIndRef* OCGRef, const TVPLOCGStateList& List) {
    bool On = true;
    for (const TVPLOCGState& S : List)
        if (S.OCGIndRef && OCGRef && S.OCGIndRef->ObjNum == OCGRef->ObjNum &&
            S.OCGIndRef->GenNum == OCGRef->GenNum)
            On = On && S.Show;
    return On;
}

bool OCMDVisible(TPDFDictionary* OCMD, const TVPLOCGStateList& List) {
    if (!OCMD) return false;
    int32_t OnCount = 0, OffCount = 0;
    auto Weigh = [&](TPDFObject* E) {
        auto* R = ObjAs<TPDFIndRef>(E);
        if (!R || !ObjAs<TPDFDictionary>(R->Obj())) return;
        if (OCGShown(R, List))
            ++OnCount;
        else
            ++OffCount;
    };
    TPDFObject* Groups = OCMD->FindValueByKeyName("OCGs", false);
    if (auto* R = ObjAs<TPDFIndRef>(Groups); R && ObjAs<TPDFArray>(R->Obj())) Groups = R->Obj();
    if (auto* A = ObjAs<TPDFArray>(Groups)) {
        for (TPDFObject* E : A->LiveItems()) Weigh(E);
    } else {
        Weigh(Groups);
    }
    std::string Policy = "AnyOn";
    if (auto* P = ObjAs<TPDFName>(OCMD->FindValueByKeyName("P", true))) Policy = P->Name();
    if (Policy == "AllOn") return OffCount == 0;
    if (Policy == "AnyOn") return OnCount > 0;
    if (Policy == "AllOff") return OnCount == 0;
    if (Policy == "AnyOff") return OffCount > 0;
    return false;
}

}  // namespace velmo
