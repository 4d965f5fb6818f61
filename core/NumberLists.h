// The engine's small number containers: integer lists, sorted lists with a
// next-number query, sorted key-value lists and a set of unsigned integers.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace velmo {

// Character codes of a string shown with a composite font.
using TVelmoPDFCodeList = std::vector<uint16_t>;

// Raised by TVelmoPDFIntegerList for an index out of range.
class EListError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// A growable list of integers.
class TVelmoPDFIntegerList {
public:
    TVelmoPDFIntegerList() = default;
    TVelmoPDFIntegerList(const TVelmoPDFIntegerList& Other) : FItems(Other.FItems) {}
    TVelmoPDFIntegerList& operator=(const TVelmoPDFIntegerList& Other) {
        if (this != &Other) {
            FItems = Other.FItems;
            Changed();
        }
        return *this;
    }

    int32_t Add(int32_t Value);
    // Raises EListError unless 0 <= Index <= Count.
    void Insert(int32_t Index, int32_t Item);
    // Raises EListError unless 0 <= Index < Count.
    void Delete(int32_t Index);
    void Clear();
    int32_t GetCount() const { return static_cast<int32_t>(FItems.size()); }
    int32_t Count() const { return GetCount(); }
    // Raises EListError unless 0 <= Index < Count.
    int32_t GetItem(int32_t Index) const;
    void PutItem(int32_t Index, int32_t Value);
    int32_t operator[](int32_t Index) const { return GetItem(Index); }

    // First index holding Value, -1 when absent.
    int32_t IndexOf(int32_t Value) const;
    bool Find(int32_t Value) const { return IndexOf(Value) >= 0; }
    void SortList();         // ascending
    void SortListReverse();  // descending

private:
    void CheckIndex(int32_t Index, int32_t Limit) const;
    void Changed() {
        FIndexValid.store(false, std::memory_order_relaxed);
        FScans.store(0, std::memory_order_relaxed);
    }

    std::vector<int32_t> FItems;
    // First position of each value; built when IndexOf is used often and kept
    // up to date while values are only appended. Built under the lock and
    // published by the flag, so concurrent readers stay safe.
    mutable std::unordered_map<int32_t, int32_t> FIndex;
    mutable std::atomic<bool> FIndexValid{false};
    mutable std::atomic<int32_t> FScans{0};
    mutable std::mutex FIndexLock;
};

// An append-only list of values (0 or greater) with constant-time membership.
class TVelmoPDFIntegerList2 {
public:
    TVelmoPDFIntegerList2();
    ~TVelmoPDFIntegerList2();
    void Add(int32_t Value);
    bool Contains(int32_t Value) const;
    // The value at Index in order of addition; 0 outside 0..Count - 1.
    int32_t GetValue(int32_t Index) const;
    int32_t Count() const { return FValueCount; }

private:
    struct Block;
    Block* FindBlock(uint32_t Key) const;

    std::vector<int32_t> FValues;
    int32_t FValueCount = 0;
    // Flag blocks of 4096 numbers, created only for the ranges that hold a
    // value, so a large number costs one small block.
    std::unordered_map<uint32_t, std::unique_ptr<Block>> FContains;
    // The block of the last addition; look-ups only read it.
    uint32_t FLastKey = UINT32_MAX;
    Block* FLastBlock = nullptr;
};

// 32-bit numbers: add all, Sort once, then query.
class TVPLSortedNumberList {
public:
    TVPLSortedNumberList();
    void Add(int32_t Value);
    int32_t Count() const { return FValueCount; }
    // 0 outside 0..Count - 1.
    int32_t GetNumAt(int32_t Index) const;
    void Sort();
    // The smallest value greater than Value; when none is greater, the
    // largest value; 0 for an empty list.
    int32_t GetNextNum(int32_t Value) const;

private:
    std::vector<int32_t> FValues;
    int32_t FValueCount = 0;
};

// 64-bit numbers: add all, Sort once, then query.
class TVPLSortedInt64List {
public:
    TVPLSortedInt64List();
    void Add(int64_t Value);
    void Sort();
    int64_t GetNextNum(int64_t Value) const;

private:
    std::vector<int64_t> FValues;
    int32_t FValueCount = 0;
};

// Key-value pairs: add all, Sort once (by key), then look up; GetValue is 0
// for a missing key.
class TVPLIntegerPairList {
public:
    TVPLIntegerPairList();
    void Add(int32_t Key, int32_t Value);
    void Sort();
    int32_t GetValue(int32_t Key) const;
    int32_t Count() const { return FPairCount; }

private:
    std::vector<int32_t> FKeys, FValues;
    int32_t FPairCount = 0;
};

class TVPLInt64PairList {
public:
    TVPLInt64PairList();
    void Add(int64_t Key, int64_t Value);
    void Sort();
    int64_t GetValue(int64_t Key) const;
    int32_t Count() const { return FPairCount; }

private:
    std::vector<int64_t> FKeys, FValues;
    int32_t FPairCount = 0;
};

// 16-bit pairs; keys compare unsigned. GetValue sets Found.
class TVPLWordPairList {
public:
    TVPLWordPairList();
    void Add(uint16_t Key, uint16_t Value);
    void Sort();
    uint16_t GetValue(uint16_t Key);
    // The value of Key without touching Found: false (Value 0) when absent.
    bool Lookup(uint16_t Key, uint16_t& Value) const;
    int32_t Count() const { return FPairCount; }
    bool Found() const { return FFound.load(std::memory_order_relaxed); }

private:
    std::vector<uint16_t> FKeys, FValues;
    int32_t FPairCount = 0;
    // Process-wide tables of this kind are read by several threads; each
    // look-up still stores its answer here, so the store is atomic.
    std::atomic<bool> FFound{false};
};

// A set of unsigned 32-bit numbers.
class TVPLSortedUniqueIntegerList {
public:
    TVPLSortedUniqueIntegerList();
    ~TVPLSortedUniqueIntegerList();
    // True when New was not yet in the set; it is in the set afterwards.
    bool AddUnique(uint32_t New);
    bool Contains(uint32_t Number) const;
    void Clear();

private:
    struct Block;
    Block* FindBlock(uint32_t Key) const;
    // Blocks of 4096 flags, created only where a number was added.
    std::unordered_map<uint32_t, std::unique_ptr<Block>> FList;
    // The block of the last addition; look-ups only read it.
    uint32_t FLastKey = UINT32_MAX;
    Block* FLastBlock = nullptr;
};

}  // namespace velmo
