// The PDF object model: the nine kinds of PDF values, each of which writes
// itself back as PDF syntax. Every object belongs to one store
// (TPDFStructure, Structure.h), which creates and frees it; containers
// (dictionary, array, stream) refer to their children without owning them,
// and one object may be the child of several containers.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmo {

// Root of every engine object that may travel through an untyped slot
// (event senders, the object linked to a stream).
class TObject {
public:
    virtual ~TObject() = default;
};

class TPDFStructure;
class TPDFObject;
class TPDFName;
class TPDFDictionary;
class TPDFNull;
class TPDFBoolean;
class TPDFNumeric;
class TPDFString;
class TPDFArray;
class TPDFStream;
class TPDFIndRef;
class TStream;

// How a string is written: "(...)" or "<...>".
enum TPDFStringMode : uint8_t { smLiteral, smHex };

struct TPDFEntry {
    TPDFName* Key = nullptr;
    TPDFObject* Value = nullptr;
};

// Resolves an indirect reference; the handler must always assign Obj (nil when
// the object does not exist).
using TIndObjLookupEvent =
    std::function<void(TObject* Sender, int32_t ObjNum, int32_t GenNum, TPDFObject*& Obj)>;
// Makes Obj a new indirect object and returns the numbers it was given.
using TNewIndObjEvent =
    std::function<void(TObject* Sender, TPDFObject* Obj, int32_t& ObjNum, int32_t& GenNum)>;
// Optional resolver for references met in a stream's filter entries.
using TPDFFindObjectEvent = std::function<TPDFObject*(TPDFIndRef* Ref)>;
// Called around the decoded data of a stream reached through Ref (decrypt
// before reading, encrypt after writing); unassigned means data used as is.
using TPDFCryptStreamEvent = std::function<void(TPDFStream* Source, TPDFIndRef* Ref)>;

class TPDFObject : public TObject {
public:
    explicit TPDFObject(TPDFStructure* AOwner, char ASpyType);
    // Freeing an object frees only that object, never its children. Objects
    // entered in a store are freed by the store alone.
    ~TPDFObject() override;
    TPDFObject(const TPDFObject&) = delete;
    TPDFObject& operator=(const TPDFObject&) = delete;

    TPDFStructure* FOwner;
    bool FIsIndirect = false;
    int32_t FIndObjNum = 0;
    int32_t FIndGenNum = 0;
    bool FChanged = false;
    const char SpyType;

    TPDFStructure* Owner() const { return FOwner; }
    bool IsIndirect() const { return FIsIndirect; }
    int32_t IndObjNum() const { return FIndObjNum; }
    int32_t IndGenNum() const { return FIndGenNum; }

    // Marks the object as the value of indirect object ObjNum GenNum.
    void Own(int32_t ObjNum, int32_t GenNum);
    void SetChanged(bool HasChanged) { FChanged = HasChanged; }
    bool HasChanged() const { return GetHasChanged(); }

    virtual bool GetHasChanged() const;
    // The object as PDF syntax, appended to Out (one buffer for a whole tree).
    virtual void OutputTo(std::string& Out) const = 0;
    std::string Output() const;
    virtual void Purge();
    virtual void ShiftIndRef(int32_t Offset);
    virtual bool HasChild(const TPDFObject* AObject) const;

    // Number of container slots (dictionary keys and values, array items,
    // stream dictionaries) that refer to this object; the store frees only
    // objects nobody holds.
    uint32_t HolderCount() const { return FHolders; }

protected:
    friend class TPDFStructure;
    friend class TPDFDictionary;
    friend class TPDFArray;
    friend class TPDFStream;

    static void Hold(TPDFObject* O) {
        if (O) ++O->FHolders;
    }
    static void Release(TPDFObject* O) {
        if (O && O->FHolders > 0) --O->FHolders;
    }
    // True while the store frees everything at once: children need no
    // bookkeeping then, and may already be gone.
    bool OwnerTearingDown() const;

    uint32_t FHolders = 0;
    uint32_t FSlot = UINT32_MAX;     // index in the store's list, UINT32_MAX when not entered
    mutable bool FVisiting = false;  // breaks cycles in recursive walks
};

class TPDFName : public TPDFObject {
public:
    static constexpr char Tag = 'N';
    explicit TPDFName(TPDFStructure* AOwner) : TPDFObject(AOwner, Tag) {}

    std::string FValue;  // without '/', #xx escapes resolved; change through SetTo
    bool FCommon = false;

    const std::string& Name() const { return FValue; }
    void SetTo(std::string_view Value);
    void OutputTo(std::string& Out) const override;
};

class TPDFNull : public TPDFObject {
public:
    static constexpr char Tag = '0';
    explicit TPDFNull(TPDFStructure* AOwner) : TPDFObject(AOwner, Tag) {}
    void OutputTo(std::string& Out) const override;
};

class TPDFBoolean : public TPDFObject {
public:
    static constexpr char Tag = 'B';
    explicit TPDFBoolean(TPDFStructure* AOwner) : TPDFObject(AOwner, Tag) {}

    bool FValue = false;

    bool AsBoolean() const { return FValue; }
    // Leaves the changed flag untouched.
    void SetTo(bool Value) { FValue = Value; }
    void OutputTo(std::string& Out) const override;
};

class TPDFNumeric : public TPDFObject {
public:
    static constexpr char Tag = 'n';
    explicit TPDFNumeric(TPDFStructure* AOwner) : TPDFObject(AOwner, Tag) {}

    double FValue = 0;

    double AsDouble() const { return FValue; }
    // Rounded half to even to 64 bits, low 32 bits returned; 0 when the value
    // cannot be rounded (NaN, infinite, beyond the 64-bit range).
    int32_t AsInteger() const;
    void SetTo(double Value) {
        FValue = Value;
        FChanged = true;
    }
    void OutputTo(std::string& Out) const override;
};

class TPDFString : public TPDFObject {
public:
    static constexpr char Tag = 's';
    // The owner may be nil for a string made outside any store.
    explicit TPDFString(TPDFStructure* AOwner) : TPDFObject(AOwner, Tag) {}

    std::string FValue;  // raw bytes, escapes resolved
    TPDFStringMode StringMode = smLiteral;

    const std::string& AsString() const { return FValue; }
    // The bytes read as a PDF text string (UTF-16 with a mark, else
    // PDFDocEncoding).
    std::u16string AsTextString() const;
    void SetTo(std::string_view Value) {
        FValue.assign(Value);
        FChanged = true;
    }
    // Stores the PDF text string of Value and makes the string literal.
    void SetToTextString(std::u16string_view Value);
    void OutputTo(std::string& Out) const override;
};

class TPDFIndRef : public TPDFObject {
public:
    static constexpr char Tag = 'I';
    explicit TPDFIndRef(TPDFStructure* AOwner) : TPDFObject(AOwner, Tag) {}

    int32_t GenNum = 0;
    int32_t ObjNum = 0;

    // Resolves through the owner's OnIndObjLookup on every call; nil when no
    // handler is set or the object does not exist.
    TPDFObject* Obj();
    void CopyRef(const TPDFIndRef* Source);
    void OutputTo(std::string& Out) const override;
    void ShiftIndRef(int32_t Offset) override { ObjNum += Offset; }
};

class TPDFDictionary : public TPDFObject {
public:
    static constexpr char Tag = 'D';
    explicit TPDFDictionary(TPDFStructure* AOwner) : TPDFObject(AOwner, Tag) {}
    ~TPDFDictionary() override;

    int32_t Count() const { return static_cast<int32_t>(Entries.size()); }
    int32_t GetCount() const { return Count(); }
    const std::vector<TPDFEntry>& GetEntries() const { return Entries; }

    // Index of the first entry whose key text equals Key byte for byte; -1.
    int32_t FindIndexByKeyName(std::string_view Key) const;
    // The value of Key (nil when absent); with FollowRef a reference value
    // is resolved one step through the owner's look-up.
    TPDFObject* FindValueByKeyName(std::string_view Key, bool FollowRef) const;
    void SetEntry(const TPDFEntry& Entry);
    // Adds or replaces (in place) the entry KeyName; the key object is the
    // store's common name. Adding the dictionary to itself does nothing.
    void Add(std::string_view KeyName, TPDFObject* Value);
    TPDFEntry GetEntry(int32_t Index) const;
    void DeleteEntryByKeyName(std::string_view Key);
    void PurgeKey(std::string_view Key);
    void RenameKey(std::string_view OldName, std::string_view NewName);
    void Clear();
    void RemoveKeys();
    void Assign(TPDFDictionary* Dict);
    void AddDict(TPDFDictionary* Dict);
    std::string DictType() const;
    int32_t IntValue(std::string_view Key, int32_t Default) const;
    std::string StringValue(std::string_view Key) const;

    bool GetHasChanged() const override;
    void OutputTo(std::string& Out) const override;
    void Purge() override;
    void ShiftIndRef(int32_t Offset) override;
    bool HasChild(const TPDFObject* AObject) const override;

private:
    friend class TPDFStructure;
    void ReleaseAll();
    void InvalidateIndex() { FIndex.reset(); }
    void NoteAppended(int32_t Index);
    std::vector<TPDFEntry> Entries;
    // Hash index over the key texts of a large dictionary, built on demand and
    // dropped when any name in the process changes its text.
    mutable std::unique_ptr<std::unordered_map<std::string_view, int32_t>> FIndex;
    mutable uint64_t FIndexEpoch = 0;
};

class TPDFArray : public TPDFObject {
public:
    static constexpr char Tag = 'A';
    explicit TPDFArray(TPDFStructure* AOwner) : TPDFObject(AOwner, Tag) {}
    ~TPDFArray() override;

    int32_t Reserved = 0;  // spare (nil) slots at the end of Items

    int32_t Count() const { return static_cast<int32_t>(Items.size()) - Reserved; }
    int32_t GetCount() const { return Count(); }
    // Length of Items, spare slots included.
    int32_t Capacity() const { return static_cast<int32_t>(Items.size()); }
    std::span<TPDFObject* const> LiveItems() const { return {Items.data(), size_t(Count())}; }

    TPDFObject* GetItem(int32_t Index) const;
    void Add(TPDFObject* Value);
    void Insert(int32_t Index, TPDFObject* Value);
    void Delete(int32_t Index);
    void DeleteObj(TPDFObject* Obj, bool ByOutput);
    void Replace(int32_t Index, TPDFObject* Obj);
    void ReplaceNoKill(int32_t Index, TPDFObject* Obj);
    void Move(int32_t Index, int32_t NewPos);
    void Clear();
    void ReserveItems(int32_t ACount);
    int32_t ItemIndexMatch(const TPDFObject* AObject) const;
    bool HasMatchingChild(std::string_view Test) const;
    bool AllItemsNumeric() const;

    bool GetHasChanged() const override;
    void OutputTo(std::string& Out) const override;
    void Purge() override;
    void ShiftIndRef(int32_t Offset) override;
    bool HasChild(const TPDFObject* AObject) const override;

private:
    int32_t IndexOfOutput(std::string_view Test) const;
    std::vector<TPDFObject*> Items;
};

class TPDFStream : public TPDFObject {
public:
    static constexpr char Tag = 'S';
    // A stream with a new empty dictionary from the owner.
    explicit TPDFStream(TPDFStructure* AOwner);
    // The given dictionary and data as they are (CreateFull). A stream made
    // this way is not entered in the store: its creator frees it, and freeing
    // it leaves the dictionary alone.
    TPDFStream(TPDFStructure* AOwner, std::string Content, TPDFDictionary* StreamDict);
    ~TPDFStream() override;

    TPDFDictionary* FDictionary = nullptr;  // read freely; replace through SetDict
    std::string FStream;                    // the stored (encoded) data
    TObject* FLinkedObject = nullptr;       // carried for users, never freed

    TPDFDictionary* Dictionary() const { return FDictionary; }
    const std::string& Stream() const { return FStream; }
    TObject* LinkedObject() const { return FLinkedObject; }
    void SetLinkedObject(TObject* Value) { FLinkedObject = Value; }

    // Stores Value and sets "Length" to its byte count (a direct number is
    // changed in place, anything else replaced); sets the changed flag.
    void SetStream(std::string Value);
    // Asks the store to remove the old dictionary (freed when nothing else
    // holds it) and takes the new one.
    void SetDict(TPDFDictionary* NewDictionary);

    // Data setting with compression and the filter chain; defined with the
    // stream filters.
    void SetTo(std::string NewStream, bool Compress);
    void SetToTextString(std::u16string_view NewStream, bool Compress);
    // Reads the whole of Stream from position 0 as the new data, compressed
    // with Deflate; an empty source leaves "Filter" alone.
    void ReadFromStream(TStream& Stream, bool Deflate);
    std::string GetDecodedStream();
    std::string GetDecodedStreamWithLookup(const TPDFFindObjectEvent& Lookup);
    std::u16string GetDecodedTextStream();

    void OutputTo(std::string& Out) const override;
    void Purge() override;
    void ShiftIndRef(int32_t Offset) override;
    bool HasChild(const TPDFObject* AObject) const override;
};

// The object as T when its kind tag says so, else nil.
template <class T>
inline T* ObjAs(TPDFObject* O) {
    return (O && O->SpyType == T::Tag) ? static_cast<T*>(O) : nullptr;
}
template <class T>
inline const T* ObjAs(const TPDFObject* O) {
    return (O && O->SpyType == T::Tag) ? static_cast<const T*>(O) : nullptr;
}

// Pushes the direct children of a dictionary or an array onto Work, for
// iterative walks over object graphs; other kinds have none.
inline void PushContainerChildren(TPDFObject* O, std::vector<TPDFObject*>& Work) {
    if (auto* d = ObjAs<TPDFDictionary>(O)) {
        for (const TPDFEntry& e : d->GetEntries())
            if (e.Value) Work.push_back(e.Value);
    } else if (auto* a = ObjAs<TPDFArray>(O)) {
        for (TPDFObject* it : a->LiveItems())
            if (it) Work.push_back(it);
    }
}

// Largest nesting of containers that is parsed, written or walked; deeper
// structures are refused (parse) or cut (walks), never a stack overflow.
inline constexpr int kMaxObjectDepth = 500;

}  // namespace velmo
