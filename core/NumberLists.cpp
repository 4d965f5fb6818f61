#include "core/NumberLists.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <functional>
#include <string>

namespace velmo {

namespace {

constexpr int kBlockBits = 12;  // 4096 numbers per flag block
constexpr uint32_t kBlockMask = (1u << kBlockBits) - 1;

// Shell sort with the gap sequence n/2, then gap/2.2 rounded half to even,
// ending with a pass of gap 1. Values travel with their keys. Pairs with
// equal keys end in the order this sequence leaves them, which callers of
// the pair lists may see through GetValue, so no other sort is used there.
template <typename K, typename V, typename Less>
void ShellSort(std::vector<K>& Keys, std::vector<V>* Values, int32_t Count, Less IsLess) {
    int32_t Gap = Count / 2;
    while (Gap > 0) {
        for (int32_t I = Gap; I < Count; ++I) {
            const K Key = Keys[I];
            V Value{};
            if (Values) Value = (*Values)[I];
            int32_t J = I;
            while (J >= Gap && IsLess(Key, Keys[J - Gap])) {
                Keys[J] = Keys[J - Gap];
                if (Values) (*Values)[J] = (*Values)[J - Gap];
                J -= Gap;
            }
            Keys[J] = Key;
            if (Values) (*Values)[J] = Value;
        }
        Gap = static_cast<int32_t>(std::nearbyint(Gap / 2.2));
    }
}

template <typename T>
int32_t LowerBound(const std::vector<T>& Keys, int32_t Count, T Key) {
    int32_t Lo = 0, Hi = Count;
    while (Lo < Hi) {
        const int32_t Mid = Lo + (Hi - Lo) / 2;
        if (Keys[Mid] < Key)
            Lo = Mid + 1;
        else
            Hi = Mid;
    }
    return Lo;
}

template <typename T>
T NextNum(const std::vector<T>& Values, int32_t Count, T Value) {
    if (Count == 0) return 0;
    int32_t I = LowerBound(Values, Count, Value);
    if (I >= Count - 1) return Values[Count - 1];
    T V = Values[I];
    while (V == Value && I + 1 < Count) V = Values[++I];
    return V;
}

// Appends to an array kept at least Count long, doubling its length when full.
template <typename T>
void Append(std::vector<T>& Array, int32_t& Count, T Value) {
    if (Count >= static_cast<int32_t>(Array.size()))
        Array.resize(std::max<size_t>(Array.size() * 2, 16));
    Array[Count++] = Value;
}

}  // namespace

// ---- TVelmoPDFIntegerList ---------------------------------------------------

void TVelmoPDFIntegerList::CheckIndex(int32_t Index, int32_t Limit) const {
    if (Index < 0 || Index >= Limit)
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

int32_t TVelmoPDFIntegerList::Add(int32_t Value) {
    FItems.push_back(Value);
    const auto Index = static_cast<int32_t>(FItems.size() - 1);
    if (FIndexValid.load(std::memory_order_relaxed)) FIndex.emplace(Value, Index);
    return Index;
}

void TVelmoPDFIntegerList::Insert(int32_t Index, int32_t Item) {
    CheckIndex(Index, GetCount() + 1);
    FItems.insert(FItems.begin() + Index, Item);
    Changed();
}

void TVelmoPDFIntegerList::Delete(int32_t Index) {
    CheckIndex(Index, GetCount());
    FItems.erase(FItems.begin() + Index);
    Changed();
}

void TVelmoPDFIntegerList::Clear() {
    FItems.clear();
    FItems.shrink_to_fit();
    Changed();
}

int32_t TVelmoPDFIntegerList::GetItem(int32_t Index) const {
    CheckIndex(Index, GetCount());
    return FItems[Index];
}

void TVelmoPDFIntegerList::PutItem(int32_t Index, int32_t Value) {
    CheckIndex(Index, GetCount());
    FItems[Index] = Value;
    Changed();
}

int32_t TVelmoPDFIntegerList::IndexOf(int32_t Value) const {
    if (!FIndexValid.load(std::memory_order_acquire)) {
        // Repeated look-ups on a list that only grows get a hash index.
        if (FScans.fetch_add(1, std::memory_order_relaxed) >= 8 && FItems.size() > 32) {
            std::lock_guard<std::mutex> Guard(FIndexLock);
            if (!FIndexValid.load(std::memory_order_relaxed)) {
                FIndex.clear();
                for (size_t I = 0; I < FItems.size(); ++I)
                    FIndex.emplace(FItems[I], static_cast<int32_t>(I));
                FIndexValid.store(true, std::memory_order_release);
            }
        } else {
            auto It = std::find(FItems.begin(), FItems.end(), Value);
            return It == FItems.end() ? -1 : static_cast<int32_t>(It - FItems.begin());
        }
    }
    auto It = FIndex.find(Value);
    return It == FIndex.end() ? -1 : It->second;
}

void TVelmoPDFIntegerList::SortList() {
    std::sort(FItems.begin(), FItems.end());
    Changed();
}

void TVelmoPDFIntegerList::SortListReverse() {
    std::sort(FItems.begin(), FItems.end(), std::greater<int32_t>());
    Changed();
}

// ---- TVelmoPDFIntegerList2 --------------------------------------------------

struct TVelmoPDFIntegerList2::Block {
    std::bitset<1u << kBlockBits> Flags;
};

TVelmoPDFIntegerList2::TVelmoPDFIntegerList2() { FValues.resize(1000); }
TVelmoPDFIntegerList2::~TVelmoPDFIntegerList2() = default;

TVelmoPDFIntegerList2::Block* TVelmoPDFIntegerList2::FindBlock(uint32_t Key) const {
    if (Key == FLastKey) return FLastBlock;
    auto It = FContains.find(Key);
    return It == FContains.end() ? nullptr : It->second.get();
}

void TVelmoPDFIntegerList2::Add(int32_t Value) {
    Append(FValues, FValueCount, Value);
    const auto U = static_cast<uint32_t>(Value);
    Block* B = FindBlock(U >> kBlockBits);
    if (!B) {
        auto& Slot = FContains[U >> kBlockBits];
        Slot = std::make_unique<Block>();
        B = Slot.get();
    }
    FLastKey = U >> kBlockBits;
    FLastBlock = B;
    B->Flags.set(U & kBlockMask);
}

bool TVelmoPDFIntegerList2::Contains(int32_t Value) const {
    const auto U = static_cast<uint32_t>(Value);
    const Block* B = FindBlock(U >> kBlockBits);
    return B && B->Flags.test(U & kBlockMask);
}

int32_t TVelmoPDFIntegerList2::GetValue(int32_t Index) const {
    return Index >= 0 && Index < FValueCount ? FValues[Index] : 0;
}

// ---- Sorted number lists ----------------------------------------------------

TVPLSortedNumberList::TVPLSortedNumberList() { FValues.resize(1024); }

void TVPLSortedNumberList::Add(int32_t Value) { Append(FValues, FValueCount, Value); }

int32_t TVPLSortedNumberList::GetNumAt(int32_t Index) const {
    return Index >= 0 && Index < FValueCount ? FValues[Index] : 0;
}

// Equal numbers cannot be told apart, so any ascending sort gives the same list.
void TVPLSortedNumberList::Sort() { std::sort(FValues.begin(), FValues.begin() + FValueCount); }

int32_t TVPLSortedNumberList::GetNextNum(int32_t Value) const {
    return NextNum(FValues, FValueCount, Value);
}

TVPLSortedInt64List::TVPLSortedInt64List() { FValues.resize(1000); }

void TVPLSortedInt64List::Add(int64_t Value) { Append(FValues, FValueCount, Value); }

void TVPLSortedInt64List::Sort() { std::sort(FValues.begin(), FValues.begin() + FValueCount); }

int64_t TVPLSortedInt64List::GetNextNum(int64_t Value) const {
    return NextNum(FValues, FValueCount, Value);
}

// ---- Pair lists -------------------------------------------------------------

namespace {

template <typename K, typename V>
void AddPair(std::vector<K>& Keys, std::vector<V>& Values, int32_t& Count, K Key, V Value) {
    if (Count >= static_cast<int32_t>(Keys.size())) {
        const size_t N = std::max<size_t>(Keys.size() * 2, 16);
        Keys.resize(N);
        Values.resize(N);
    }
    Keys[Count] = Key;
    Values[Count] = Value;
    ++Count;
}

template <typename K, typename V>
V PairValue(const std::vector<K>& Keys, const std::vector<V>& Values, int32_t Count, K Key,
            bool& Found) {
    const int32_t I = LowerBound(Keys, Count, Key);
    Found = I < Count && Keys[I] == Key;
    return Found ? Values[I] : V(0);
}

}  // namespace

TVPLIntegerPairList::TVPLIntegerPairList() : FKeys(1000), FValues(1000) {}

void TVPLIntegerPairList::Add(int32_t Key, int32_t Value) {
    AddPair(FKeys, FValues, FPairCount, Key, Value);
}

void TVPLIntegerPairList::Sort() { ShellSort(FKeys, &FValues, FPairCount, std::less<int32_t>()); }

int32_t TVPLIntegerPairList::GetValue(int32_t Key) const {
    bool Found;
    return PairValue(FKeys, FValues, FPairCount, Key, Found);
}

TVPLInt64PairList::TVPLInt64PairList() : FKeys(1000), FValues(1000) {}

void TVPLInt64PairList::Add(int64_t Key, int64_t Value) {
    AddPair(FKeys, FValues, FPairCount, Key, Value);
}

void TVPLInt64PairList::Sort() { ShellSort(FKeys, &FValues, FPairCount, std::less<int64_t>()); }

int64_t TVPLInt64PairList::GetValue(int64_t Key) const {
    bool Found;
    return PairValue(FKeys, FValues, FPairCount, Key, Found);
}

TVPLWordPairList::TVPLWordPairList() : FKeys(1000), FValues(1000) {}

void TVPLWordPairList::Add(uint16_t Key, uint16_t Value) {
    AddPair(FKeys, FValues, FPairCount, Key, Value);
}

void TVPLWordPairList::Sort() { ShellSort(FKeys, &FValues, FPairCount, std::less<uint16_t>()); }

uint16_t TVPLWordPairList::GetValue(uint16_t Key) {
    bool Found;
    const uint16_t Value = PairValue(FKeys, FValues, FPairCount, Key, Found);
    FFound.store(Found, std::memory_order_relaxed);
    return Value;
}

bool TVPLWordPairList::Lookup(uint16_t Key, uint16_t& Value) const {
    bool Found;
    Value = PairValue(FKeys, FValues, FPairCount, Key, Found);
    return Found;
}

// ---- TVPLSortedUniqueIntegerList --------------------------------------------

struct TVPLSortedUniqueIntegerList::Block {
    std::bitset<1u << kBlockBits> Flags;
};

TVPLSortedUniqueIntegerList::TVPLSortedUniqueIntegerList() = default;
TVPLSortedUniqueIntegerList::~TVPLSortedUniqueIntegerList() = default;

TVPLSortedUniqueIntegerList::Block* TVPLSortedUniqueIntegerList::FindBlock(uint32_t Key) const {
    if (Key == FLastKey) return FLastBlock;
    auto It = FList.find(Key);
    return It == FList.end() ? nullptr : It->second.get();
}

bool TVPLSortedUniqueIntegerList::AddUnique(uint32_t New) {
    const uint32_t Key = New >> kBlockBits;
    Block* B = FindBlock(Key);
    if (!B) {
        auto& Slot = FList[Key];
        Slot = std::make_unique<Block>();
        B = Slot.get();
    }
    FLastKey = Key;
    FLastBlock = B;
    const bool Absent = !B->Flags.test(New & kBlockMask);
    B->Flags.set(New & kBlockMask);
    return Absent;
}

bool TVPLSortedUniqueIntegerList::Contains(uint32_t Number) const {
    const Block* B = FindBlock(Number >> kBlockBits);
    return B && B->Flags.test(Number & kBlockMask);
}

void TVPLSortedUniqueIntegerList::Clear() {
    FList.clear();
    FLastKey = UINT32_MAX;
    FLastBlock = nullptr;
}

}  // namespace velmo
