// The object store: owns every PDF object of one document (or one scratch
// context), creates them through its factories, frees them, carries the
// number format of the writer, the two events through which objects reach the
// document, and hosts the object-syntax parser (Parser.cpp).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Objects.h"

namespace velmo {

class TVelmoPDFStringList;

// The 31 shared key and type names, bracketed: a name is common when
// "[" + name + "]" occurs in this text.
inline constexpr std::string_view kCommonNameTable =
    "[MediaBox][Length][CropBox][Type][Subtype][Name][Pages][Page][Parent][Font][Contents]"
    "[BaseFont][PDF][Text][ImageB][ImageC][ImageI][Resources][ProcSet][ExtGState][Type1]"
    "[TrueType][WinAnsiEncoding][Filter][FlateDecode][Annot][URI][Goto][XYZ][uZTN][VelmoPDF]";

// True when "[" + Name + "]" occurs in kCommonNameTable.
bool IsCommonNameText(std::string_view Name);

class TPDFStructure : public TObject {
public:
    TPDFStructure();
    ~TPDFStructure() override;
    TPDFStructure(const TPDFStructure&) = delete;
    TPDFStructure& operator=(const TPDFStructure&) = delete;

    TIndObjLookupEvent OnIndObjLookup;
    TNewIndObjEvent OnNewIndObj;
    bool OldFormat = true;
    std::string PDFPrecision = "0.0000";
    int32_t PDFPrecNum = 4;

    // ---- Life cycle and list ----
    void Clear();
    void AddObject(TPDFObject* Obj);
    void ReserveObjects(int32_t ACount);
    int32_t ObjectCount() const;
    int32_t GetObjectCount() const { return ObjectCount(); }
    // Spare slots after the live objects, and the full length of the list.
    int32_t Reserved() const;
    int32_t Capacity() const;
    TPDFObject* GetObject(int32_t Index) const;
    // Frees Obj when it is in this store, is not a common name and no
    // container holds it; otherwise does nothing.
    void RemoveObject(TPDFObject* Obj);
    TPDFName* FindName(std::string_view Name) const;
    void ShiftIndRef(int32_t Offset, bool ZeroGen);
    void ReplaceIndRef(const TVelmoPDFStringList& AddedObjects, int32_t Offset);

    // ---- Factories: each result belongs to the store ----
    TPDFNull* NewNull();
    TPDFBoolean* NewBoolean(bool Value);
    TPDFNumeric* NewNumeric(double Value);
    TPDFName* NewName(std::string_view Value);
    TPDFName* NewCommonName(std::string_view Value);
    TPDFString* NewString(std::string_view Value, TPDFStringMode Mode);
    TPDFString* NewTextString(std::u16string_view Value);
    TPDFIndRef* NewIndirectRef(int32_t ObjNum, int32_t GenNum);
    TPDFDictionary* NewDictionary();
    TPDFArray* NewArray();
    TPDFArray* NewArray(std::span<TPDFObject* const> Items);
    TPDFArray* NewArray(std::initializer_list<TPDFObject*> Items) {
        return NewArray(std::span<TPDFObject* const>(Items.begin(), Items.size()));
    }
    TPDFArray* NewIntArray(std::span<const int32_t> Values);
    TPDFArray* NewIntArray(std::initializer_list<int32_t> Values) {
        return NewIntArray(std::span<const int32_t>(Values.begin(), Values.size()));
    }
    TPDFArray* NewDoubleArray(std::span<const double> Values);
    TPDFArray* NewDoubleArray(std::initializer_list<double> Values) {
        return NewDoubleArray(std::span<const double>(Values.begin(), Values.size()));
    }
    TPDFStream* NewStream(std::string Value, bool Compress);
    TPDFStream* NewStream(std::span<const uint8_t> Value, bool Compress);
    TPDFStream* NewTextStream(std::u16string_view Value, bool Compress);
    TPDFStream* NewStreamWithDict(std::string Value, TPDFDictionary* StreamDict);

    // ---- Parser (Parser.cpp) ----
    // One object from the start of Source; never nil (a new null object when
    // nothing could be read).
    TPDFObject* Decode(std::string_view Source);
    // One object from the 1-based StartPos; ObjectLength is the number of
    // bytes consumed (leading whitespace and comments included), 0 when
    // nothing was read, in which case the result is a new null object.
    TPDFObject* DecodeWithLength(std::string_view Source, int64_t& ObjectLength, int64_t StartPos);
    TPDFObject* DecodeWithLength(std::string_view Source, int32_t& ObjectLength, int64_t StartPos);
    // The bytes of a literal-string token given with its delimiters.
    static std::string DecodeString(std::string_view Source);
    // The bytes of a hex-string token given with its delimiters.
    static std::string DecodeHex(std::string_view Source);
    // Rewrites object text with one token per line.
    static std::string KillWhitespace(std::string_view OrigS);

private:
    friend class TPDFObject;
    friend class TPDFName;
    friend class TPDFDictionary;

    void FreeObject(TPDFObject* Obj);
    void Compact() const;
    void FreeAll(bool Swallow);
    void ResetCommonNames();
    void NoteNameAdded(TPDFName* Name);
    void NoteNameText(TPDFName* Name, std::string_view OldText);
    template <class T>
    T* Make();

    // Live objects in creation order (freed ones leave a nil hole until the
    // next indexed access), followed by FReserved spare slots.
    mutable std::vector<TPDFObject*> Objects;
    mutable int32_t FReserved = 0;
    mutable int32_t FHoles = 0;
    bool FTearingDown = false;
    // For each common-name text: the first name object with that text in list
    // order (nil: known to be none); a text missing from the map must be
    // looked up by a scan.
    std::unordered_map<std::string, TPDFName*> FCommonNames;
};

// Process-wide counter bumped whenever a name changes its text; indexes keyed
// by name text compare it to know they are stale.
uint64_t NameTextEpoch();

}  // namespace velmo
