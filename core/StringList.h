// The engine's list of byte strings, each with an untyped object slot beside
// it. Items compare through CompareTextLocaleA (without case) unless the list
// is a TVelmoPDFCaseSensitiveStringList. No operation raises for a bad index,
// and the list never owns the objects in its slots.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmo {

class TStream;

// What a sorted list does with a string equal to one it holds. dupError
// behaves as dupAccept.
enum TDuplicates { dupIgnore, dupAccept, dupError };

struct TVelmoPDFStringItem {
    std::string FString;
    void* FObject = nullptr;  // not owned; may carry a small integer
};

class TVelmoPDFStringList {
public:
    TVelmoPDFStringList();
    virtual ~TVelmoPDFStringList();
    TVelmoPDFStringList(const TVelmoPDFStringList&) = delete;
    TVelmoPDFStringList& operator=(const TVelmoPDFStringList&) = delete;

    int CompareStrings(std::string_view S1, std::string_view S2) const;

    // Unsorted: appends. Sorted: inserts in order; with dupIgnore an equal
    // item is kept and its index returned.
    int32_t Add(std::string_view S);
    int32_t AddObject(std::string_view S, void* AObject);
    void AddStrings(const TVelmoPDFStringList& Strings);
    // Before Index (0..Count, else nothing); the sorted order is not checked.
    void Insert(int32_t Index, std::string_view S);
    void InsertObject(int32_t Index, std::string_view S, void* AObject);
    void Delete(int32_t Index);
    void Clear();

    // Empty for an Index out of range.
    const std::string& Get(int32_t Index) const;
    const std::string& Strings(int32_t Index) const { return Get(Index); }
    // Replaces the text without re-sorting; ignored out of range.
    void Put(int32_t Index, std::string_view S);
    void* GetObject(int32_t Index) const;
    void* Objects(int32_t Index) const { return GetObject(Index); }
    void PutObject(int32_t Index, void* AObject);

    // Binary search of a sorted list: true when an equal item exists; Index
    // is its position (the first of equal items with dupAccept), or where S
    // keeps the order.
    bool Find(std::string_view S, int32_t& Index) const;
    int32_t IndexOf(std::string_view S) const;
    // First item "Name=..." whose name compares equal to Name.
    int32_t IndexOfName(std::string_view Name) const;
    // What follows "Name=" in that item; empty when there is none.
    std::string GetValue(std::string_view Name) const;
    std::string Values(std::string_view Name) const { return GetValue(Name); }
    int32_t IndexOfObject(const void* AObject) const;

    void Sort();
    bool Sorted() const { return FSorted; }
    void SetSorted(bool Value);
    TDuplicates Duplicates() const { return FDuplicates; }
    void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }

    // Every item followed by CR LF.
    std::string GetText() const;
    std::string Text() const { return GetText(); }
    // Clears, then adds every non-empty line (CR, LF and NUL separate lines);
    // an empty Value gives one empty item.
    void SetText(std::string_view Value);

    void SaveToStream(TStream& Stream) const;
    // Raises the file stream's error when the file cannot be created. The
    // text goes to a temporary file first, so a failure leaves an existing
    // file as it was.
    void SaveToFile(const std::u16string& FileName) const;

    int32_t GetCount() const { return static_cast<int32_t>(FList.size()); }
    int32_t Count() const { return GetCount(); }
    int32_t Capacity() const { return static_cast<int32_t>(FList.capacity()); }
    // Ignored below Count.
    void SetCapacity(int32_t Value);

protected:
    explicit TVelmoPDFStringList(bool CaseSensitive);

    std::vector<TVelmoPDFStringItem> FList;
    bool FSorted = false;
    bool FCaseSensitive = false;
    TDuplicates FDuplicates = dupIgnore;

private:
    void Grow();
    void QuickSort(int32_t L, int32_t R);
    std::string IndexKey(std::string_view S) const;
    void Changed() {
        FIndexValid.store(false, std::memory_order_relaxed);
        FScans.store(0, std::memory_order_relaxed);
    }

    // First position of each (case-folded) text of an unsorted list; built
    // when IndexOf is used often and kept up to date while items are only
    // appended. Lists filled once and then read by several threads stay
    // safe: the index is built under the lock and published by the flag.
    mutable std::unordered_map<std::string, int32_t> FIndex;
    mutable std::atomic<bool> FIndexValid{false};
    mutable std::atomic<int32_t> FScans{0};
    mutable std::mutex FIndexLock;
};

class TVelmoPDFCaseSensitiveStringList : public TVelmoPDFStringList {
public:
    TVelmoPDFCaseSensitiveStringList();
};

}  // namespace velmo
