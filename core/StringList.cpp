#include "core/StringList.h"

#include <cstdio>

#include "core/FileHelpers.h"
#include "core/StringHelpers.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"

namespace velmo {

TVelmoPDFStringList::TVelmoPDFStringList() = default;

TVelmoPDFStringList::TVelmoPDFStringList(bool CaseSensitive) : FCaseSensitive(CaseSensitive) {}

TVelmoPDFStringList::~TVelmoPDFStringList() = default;

TVelmoPDFCaseSensitiveStringList::TVelmoPDFCaseSensitiveStringList() : TVelmoPDFStringList(true) {}

int TVelmoPDFStringList::CompareStrings(std::string_view S1, std::string_view S2) const {
    return FCaseSensitive ? CompareStrLocaleA(S1, S2) : CompareTextLocaleA(S1, S2);
}

void TVelmoPDFStringList::Grow() {
    const size_t Cap = FList.capacity();
    if (FList.size() < Cap) return;
    const size_t Delta = Cap > 64 ? Cap / 4 : (Cap > 8 ? 16 : 4);
    FList.reserve(Cap + Delta);
}

void TVelmoPDFStringList::SetCapacity(int32_t Value) {
    if (Value < GetCount() || Value == Capacity()) return;
    if (Value > Capacity()) {
        FList.reserve(static_cast<size_t>(Value));
        return;
    }
    std::vector<TVelmoPDFStringItem> Smaller;
    Smaller.reserve(static_cast<size_t>(Value));
    for (auto& Item : FList) Smaller.push_back(std::move(Item));
    FList.swap(Smaller);
}

int32_t TVelmoPDFStringList::Add(std::string_view S) { return AddObject(S, nullptr); }

int32_t TVelmoPDFStringList::AddObject(std::string_view S, void* AObject) {
    if (!FSorted) {
        Grow();
        FList.push_back({std::string(S), AObject});
        const int32_t Index = GetCount() - 1;
        if (FIndexValid.load(std::memory_order_relaxed)) FIndex.emplace(IndexKey(S), Index);
        return Index;
    }
    int32_t Index;
    if (Find(S, Index) && FDuplicates == dupIgnore) return Index;
    InsertObject(Index, S, AObject);
    return Index;
}

void TVelmoPDFStringList::AddStrings(const TVelmoPDFStringList& Strings) {
    if (&Strings == this) {
        // Adding a list to itself walks the items it had before.
        const int32_t N = GetCount();
        for (int32_t I = 0; I < N; ++I) {
            const TVelmoPDFStringItem Item = FList[I];
            AddObject(Item.FString, Item.FObject);
        }
        return;
    }
    for (const auto& Item : Strings.FList) AddObject(Item.FString, Item.FObject);
}

void TVelmoPDFStringList::Insert(int32_t Index, std::string_view S) {
    InsertObject(Index, S, nullptr);
}

void TVelmoPDFStringList::InsertObject(int32_t Index, std::string_view S, void* AObject) {
    if (Index < 0 || Index > GetCount()) return;
    Grow();
    FList.insert(FList.begin() + Index, TVelmoPDFStringItem{std::string(S), AObject});
    Changed();
}

void TVelmoPDFStringList::Delete(int32_t Index) {
    if (Index < 0 || Index >= GetCount()) return;
    FList.erase(FList.begin() + Index);
    Changed();
}

void TVelmoPDFStringList::Clear() {
    std::vector<TVelmoPDFStringItem>().swap(FList);
    FIndex.clear();
    Changed();
}

const std::string& TVelmoPDFStringList::Get(int32_t Index) const {
    static const std::string Empty;
    return Index >= 0 && Index < GetCount() ? FList[Index].FString : Empty;
}

void TVelmoPDFStringList::Put(int32_t Index, std::string_view S) {
    if (Index < 0 || Index >= GetCount()) return;
    FList[Index].FString.assign(S);
    Changed();
}

void* TVelmoPDFStringList::GetObject(int32_t Index) const {
    return Index >= 0 && Index < GetCount() ? FList[Index].FObject : nullptr;
}

void TVelmoPDFStringList::PutObject(int32_t Index, void* AObject) {
    if (Index >= 0 && Index < GetCount()) FList[Index].FObject = AObject;
}

bool TVelmoPDFStringList::Find(std::string_view S, int32_t& Index) const {
    int32_t Lo = 0, Hi = GetCount() - 1;
    bool Found = false;
    while (Lo <= Hi) {
        const int32_t Mid = (Lo + Hi) >> 1;
        const int C = CompareStrings(FList[Mid].FString, S);
        if (C < 0) {
            Lo = Mid + 1;
        } else {
            Hi = Mid - 1;
            if (C == 0) {
                Found = true;
                if (FDuplicates != dupAccept) Lo = Mid;
            }
        }
    }
    Index = Lo;
    return Found;
}

std::string TVelmoPDFStringList::IndexKey(std::string_view S) const {
    return FCaseSensitive ? std::string(S) : LowerCaseA(S);
}

int32_t TVelmoPDFStringList::IndexOf(std::string_view S) const {
    if (FSorted) {
        int32_t Index;
        return Find(S, Index) ? Index : -1;
    }
    if (!FIndexValid.load(std::memory_order_acquire)) {
        // Repeated look-ups on a list that only grows get a hash index.
        if (FScans.fetch_add(1, std::memory_order_relaxed) >= 8 && FList.size() > 32) {
            std::lock_guard<std::mutex> Guard(FIndexLock);
            if (!FIndexValid.load(std::memory_order_relaxed)) {
                FIndex.clear();
                for (size_t I = 0; I < FList.size(); ++I)
                    FIndex.emplace(IndexKey(FList[I].FString), static_cast<int32_t>(I));
                FIndexValid.store(true, std::memory_order_release);
            }
        } else {
            for (size_t I = 0; I < FList.size(); ++I)
                if (CompareStrings(FList[I].FString, S) == 0) return static_cast<int32_t>(I);
            return -1;
        }
    }
    auto It = FIndex.find(IndexKey(S));
    return It == FIndex.end() ? -1 : It->second;
}

int32_t TVelmoPDFStringList::IndexOfName(std::string_view Name) const {
    for (size_t I = 0; I < FList.size(); ++I) {
        const std::string& S = FList[I].FString;
        const size_t Eq = S.find('=');
        if (Eq == std::string::npos) continue;
        if (CompareStrings(std::string_view(S).substr(0, Eq), Name) == 0)
            return static_cast<int32_t>(I);
    }
    return -1;
}

std::string TVelmoPDFStringList::GetValue(std::string_view Name) const {
    const int32_t I = IndexOfName(Name);
    if (I < 0) return std::string();
    const std::string& S = FList[I].FString;
    return Name.size() + 1 <= S.size() ? S.substr(Name.size() + 1) : std::string();
}

int32_t TVelmoPDFStringList::IndexOfObject(const void* AObject) const {
    for (size_t I = 0; I < FList.size(); ++I)
        if (FList[I].FObject == AObject) return static_cast<int32_t>(I);
    return -1;
}

// Partition-exchange sort with the middle item as pivot. The pivot position
// follows the item it names when that item is exchanged. The smaller part is
// sorted by recursion and the larger by iteration, so the depth stays
// logarithmic; the parts are independent, so the result is the same.
void TVelmoPDFStringList::QuickSort(int32_t L, int32_t R) {
    while (L < R) {
        int32_t I = L, J = R, P = (L + R) >> 1;
        do {
            while (CompareStrings(FList[I].FString, FList[P].FString) < 0) ++I;
            while (CompareStrings(FList[J].FString, FList[P].FString) > 0) --J;
            if (I <= J) {
                if (I != J) std::swap(FList[I], FList[J]);
                if (P == I)
                    P = J;
                else if (P == J)
                    P = I;
                ++I;
                --J;
            }
        } while (I <= J);
        if (J - L < R - I) {
            if (L < J) QuickSort(L, J);
            L = I;
        } else {
            if (I < R) QuickSort(I, R);
            R = J;
        }
    }
}

void TVelmoPDFStringList::Sort() {
    if (GetCount() > 1) QuickSort(0, GetCount() - 1);
    Changed();
}

void TVelmoPDFStringList::SetSorted(bool Value) {
    if (Value == FSorted) return;
    if (Value) Sort();
    FSorted = Value;
    Changed();
}

std::string TVelmoPDFStringList::GetText() const {
    size_t Size = 0;
    for (const auto& Item : FList) Size += Item.FString.size() + 2;
    std::string Out;
    Out.reserve(Size);
    for (const auto& Item : FList) {
        Out += Item.FString;
        Out += "\r\n";
    }
    return Out;
}

void TVelmoPDFStringList::SetText(std::string_view Value) {
    Clear();
    if (Value.empty()) {
        Add("");
        return;
    }
    auto IsSeparator = [](char C) { return C == '\r' || C == '\n' || C == '\0'; };
    size_t P = 0;
    while (P < Value.size()) {
        while (P < Value.size() && IsSeparator(Value[P])) ++P;
        const size_t Start = P;
        while (P < Value.size() && !IsSeparator(Value[P])) ++P;
        if (P > Start) Add(Value.substr(Start, P - Start));
    }
}

void TVelmoPDFStringList::SaveToStream(TStream& Stream) const { Stream.WriteBuffer(GetText()); }

void TVelmoPDFStringList::SaveToFile(const std::u16string& FileName) const {
    const std::u16string Temp = FileName + u".~" + AnsiBytesToWide(NewUniqueID());
    try {
        TVelmoPDFWideFileStream Stream(Temp, fmCreate);
        SaveToStream(Stream);
    } catch (...) {
        DeleteFileWide(Temp);
        throw;
    }
    if (std::rename(WideToFileSystemName(Temp).c_str(), WideToFileSystemName(FileName).c_str()) !=
        0) {
        DeleteFileWide(Temp);
        throw EFCreateError("Error");
    }
}

}  // namespace velmo
