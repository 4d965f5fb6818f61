#include "core/NameTree.h"

#include <unordered_set>

#include "core/Structure.h"

namespace velmo {

namespace {

TPDFDictionary* DictOf(TPDFObject* O) {
    if (auto* Ref = ObjAs<TPDFIndRef>(O)) O = Ref->Obj();
    return ObjAs<TPDFDictionary>(O);
}

TPDFArray* ArrayValue(TPDFDictionary* D, std::string_view Key) {
    return D ? ObjAs<TPDFArray>(D->FindValueByKeyName(Key, true)) : nullptr;
}

// The text of a key item; a non-string counts as the empty text.
std::string_view KeyText(const TPDFObject* O) {
    auto* S = ObjAs<TPDFString>(O);
    return S ? std::string_view(S->AsString()) : std::string_view();
}

}  // namespace

// ---------------------------------------------------------------------------
// TPDFNameTree

TPDFNameTree::TPDFNameTree(TPDFStructure* Parent, TPDFDictionary* Root)
    : FRoot(Root), FStructure(Parent) {
    if (!FRoot) return;
    if (FRoot->Count() == 0 && FStructure) FRoot->Add("Names", FStructure->NewArray());
    FSingleNode = FRoot->FindIndexByKeyName("Names") >= 0;
    CollectLeaves(FRoot);
}

void TPDFNameTree::CollectLeaves(TPDFDictionary* Root) {
    Arrays.clear();
    Dicts.clear();
    if (!Root) return;
    // Depth-first in order, with a visited set: a /Kids cycle or a shared
    // subtree is walked once.
    std::unordered_set<const TPDFDictionary*> Visited;
    struct Frame {
        TPDFDictionary* Node;
        int Depth;
    };
    std::vector<Frame> Stack{{Root, 0}};
    while (!Stack.empty()) {
        Frame F = Stack.back();
        Stack.pop_back();
        if (!Visited.insert(F.Node).second) continue;
        if (TPDFArray* Kids = ArrayValue(F.Node, "Kids")) {
            if (F.Depth >= kMaxDepth) continue;
            auto Items = Kids->LiveItems();
            for (size_t I = Items.size(); I-- > 0;) {
                if (!ObjAs<TPDFIndRef>(Items[I])) continue;
                if (TPDFDictionary* Kid = DictOf(Items[I])) Stack.push_back({Kid, F.Depth + 1});
            }
        } else if (TPDFArray* Names = ArrayValue(F.Node, "Names")) {
            Arrays.push_back(Names);
            Dicts.push_back(F.Node);
        }
    }
}

TPDFNameTree::KeyPos TPDFNameTree::FindKeyIndex(std::string_view Name) const {
    KeyPos Found;
    for (size_t L = 0; L < Arrays.size(); ++L) {
        const TPDFArray* A = Arrays[L];
        const int32_t N = A->Count();
        for (int32_t I = 0; I + 1 < N; I += 2) {
            auto* Key = ObjAs<TPDFString>(A->GetItem(I));
            if (Key && Key->AsString() == Name && ObjAs<TPDFIndRef>(A->GetItem(I + 1))) {
                Found.Leaf = static_cast<int32_t>(L);
                Found.Item = I;
            }
        }
    }
    return Found;
}

TPDFIndRef* TPDFNameTree::FindKey(std::string_view Name) const {
    KeyPos P = FindKeyIndex(Name);
    if (P.Leaf < 0) return nullptr;
    return ObjAs<TPDFIndRef>(Arrays[P.Leaf]->GetItem(P.Item + 1));
}

bool TPDFNameTree::HasKey(std::string_view Name) const {
    for (const TPDFArray* A : Arrays)
        for (int32_t I = 0; I < A->Count(); I += 2)
            if (KeyText(A->GetItem(I)) == Name) return true;
    return false;
}

int32_t TPDFNameTree::KeyCount() const {
    int32_t Count = 0;
    for (const TPDFArray* A : Arrays)
        for (int32_t I = 0; I < A->Count(); I += 2)
            if (ObjAs<TPDFString>(A->GetItem(I))) ++Count;
    return Count;
}

std::string TPDFNameTree::KeyName(int32_t Index) const {
    if (Index < 1) return {};
    int32_t Seen = 0;
    for (const TPDFArray* A : Arrays)
        for (int32_t I = 0; I < A->Count(); I += 2)
            if (auto* S = ObjAs<TPDFString>(A->GetItem(I)))
                if (++Seen == Index) return S->AsString();
    return {};
}

void TPDFNameTree::AddKey(std::string_view Name, TPDFIndRef* Value) {
    if (Arrays.empty() || !FStructure) return;
    for (size_t L = 0; L < Arrays.size(); ++L) {
        TPDFArray* A = Arrays[L];
        TPDFDictionary* Leaf = Dicts[L];
        std::string_view Low, High;
        TPDFArray* Limits = nullptr;
        if (!FSingleNode) {
            Limits = ArrayValue(Leaf, "Limits");
            if (!Limits) {
                Limits = FStructure->NewArray();
                Leaf->Add("Limits", Limits);
            }
            if (Limits->Count() != 2) {
                Limits->Add(FStructure->NewString(Name, smLiteral));
                Limits->Add(FStructure->NewString(Name, smLiteral));
                continue;
            }
            Low = KeyText(Limits->GetItem(0));
            High = KeyText(Limits->GetItem(1));
        } else if (A->Count() > 1) {
            Low = KeyText(A->GetItem(0));
            High = KeyText(A->GetItem((A->Count() - 1) & ~1));
        }
        if (Low.empty() || High.empty() || !(Name < High)) continue;

        // After the last key lower than Name.
        int32_t Pos = 0;
        for (int32_t I = 0; I < A->Count(); I += 2)
            if (KeyText(A->GetItem(I)) < Name) Pos = I + 2;
        A->Insert(Pos, FStructure->NewString(Name, smLiteral));
        A->Insert(Pos + 1, Value);
        if (Pos == 0) {
            TPDFArray* LeafLimits = ArrayValue(Leaf, "Limits");
            if (LeafLimits && LeafLimits->Count() == 2) {
                if (auto* S = ObjAs<TPDFString>(LeafLimits->GetItem(0)))
                    S->SetTo(Name);
                else
                    LeafLimits->Replace(0, FStructure->NewString(Name, smLiteral));
            }
        }
        return;
    }
    // Beyond every leaf's range: the end of the last leaf.
    TPDFArray* A = Arrays.back();
    A->Add(FStructure->NewString(Name, smLiteral));
    A->Add(Value);
    TPDFArray* LeafLimits = ArrayValue(Dicts.back(), "Limits");
    if (LeafLimits && LeafLimits->Count() == 2)
        LeafLimits->Replace(1, FStructure->NewString(Name, smLiteral));
}

bool TPDFNameTree::DeleteKey(std::string_view Name) {
    KeyPos P = FindKeyIndex(Name);
    if (P.Leaf < 0) return false;
    TPDFArray* A = Arrays[P.Leaf];
    TPDFDictionary* Leaf = Dicts[P.Leaf];
    A->Delete(P.Item + 1);
    A->Delete(P.Item);
    if (A->Count() == 0) {
        Leaf->DeleteEntryByKeyName("Limits");
    } else if (TPDFArray* Limits = ArrayValue(Leaf, "Limits"); Limits && Limits->Count() == 2) {
        // The raw key bytes, so that keys which are no valid text survive.
        const int32_t Last = (A->Count() - 1) & ~1;
        if (FStructure) {
            Limits->Replace(0, FStructure->NewString(KeyText(A->GetItem(0)), smLiteral));
            Limits->Replace(1, FStructure->NewString(KeyText(A->GetItem(Last)), smLiteral));
        }
    }
    PruneEmptyKids(FRoot);
    // A pruned leaf is no longer part of the tree: later additions must not
    // land in it.
    CollectLeaves(FRoot);
    return true;
}

void TPDFNameTree::PruneEmptyKids(TPDFDictionary* Node) {
    TPDFArray* Kids = ArrayValue(Node, "Kids");
    if (!Kids) return;
    for (int32_t I = Kids->Count(); I-- > 0;) {
        if (Kids->Count() <= 1) break;
        TPDFObject* Item = Kids->GetItem(I);
        if (!ObjAs<TPDFIndRef>(Item)) continue;
        TPDFArray* Names = ArrayValue(DictOf(Item), "Names");
        if (Names && Names->Count() == 0) Kids->Delete(I);
    }
}

// ---------------------------------------------------------------------------
// TKPLTreeBalancer

TPDFObject* TKPLTreeBalancer::FindInheritedValue(TPDFDictionary* Node, std::string_view Key) {
    std::unordered_set<const TPDFDictionary*> Visited;
    while (Node && Visited.insert(Node).second) {
        if (Node->FindIndexByKeyName(Key) >= 0) return Node->FindValueByKeyName(Key, true);
        Node = ObjAs<TPDFDictionary>(Node->FindValueByKeyName("Parent", true));
    }
    return nullptr;
}

void TKPLTreeBalancer::CopyInheritedValues(TPDFDictionary* Page) {
    if (!Page) return;
    for (std::string_view Key : {"Resources", "MediaBox", "CropBox", "Rotate"}) {
        if (Page->FindIndexByKeyName(Key) >= 0) continue;
        if (TPDFObject* V = FindInheritedValue(Page, Key)) Page->Add(Key, V);
    }
}

TPDFIndRef* TKPLTreeBalancer::Balance(const std::vector<TPDFIndRef*>& Refs, int32_t FanOut) {
    if (Refs.empty() || !Structure || !OnNewIndObj || !OnIndObjLookup) return nullptr;
    const size_t Fan = static_cast<size_t>(FanOut < 2 ? 2 : FanOut);
    std::vector<TPDFIndRef*> Level = Refs;
    std::vector<int64_t> Pages(Level.size(), 1);
    do {
        const size_t N = Level.size();
        std::vector<TPDFIndRef*> Next;
        std::vector<int64_t> NextPages;
        Next.reserve((N + Fan - 1) / Fan);
        for (size_t Start = 0; Start < N; Start += Fan) {
            TPDFDictionary* Node = Structure->NewDictionary();
            int32_t ObjNum = 0, GenNum = 0;
            OnNewIndObj(this, Node, ObjNum, GenNum);
            TPDFIndRef* NodeRef = Structure->NewIndirectRef(ObjNum, GenNum);
            TPDFArray* Kids = Structure->NewArray();
            Node->Add("Kids", Kids);
            int64_t Count = 0;
            for (size_t K = Start; K < N && K < Start + Fan; ++K) {
                TPDFIndRef* Child = Level[K];
                Kids->Add(Child);
                Count += Pages[K];
                TPDFObject* ChildObj = nullptr;
                if (Child) OnIndObjLookup(this, Child->ObjNum, Child->GenNum, ChildObj);
                if (auto* ChildDict = ObjAs<TPDFDictionary>(ChildObj)) {
                    CopyInheritedValues(ChildDict);
                    ChildDict->Add("Parent", NodeRef);
                }
            }
            Node->Add("Count", Structure->NewNumeric(static_cast<double>(Count)));
            Node->Add("Type", Structure->NewCommonName("Pages"));
            Next.push_back(NodeRef);
            NextPages.push_back(Count);
        }
        Level = std::move(Next);
        Pages = std::move(NextPages);
    } while (Level.size() > 1);
    return Level.front();
}

}  // namespace velmo
