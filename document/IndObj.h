// Indirect objects of a loaded document: where each one's text lies (a byte
// range of the loaded file or a slot of an object stream), its value parsed
// on first use, and its text written back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/Objects.h"

namespace velmo {

class TPDFDocument;

// The parsed form of one object stream; kept in the stream's LinkedObject and
// owned by the document.
class TPDFObjectStream : public TObject {
public:
    std::string DecodedStream;
    TPDFArray* IndexArray = nullptr;  // the 2 x N numbers before /First, or nil
    int32_t First = 0;
    int32_t N = 0;
    // Slot of each object number listed, built when a cross-reference index
    // does not match the stream's own list.
    std::unordered_map<int32_t, int32_t> SlotOf;
    bool SlotsBuilt = false;
};

// Object header read at a position: number, generation and keyword.
struct TPDFObjHeader {
    int32_t ObjNum = 0;
    int32_t GenNum = 0;
    std::string_view Keyword;
    size_t End = 0;  // 0-based index after the keyword and its following whitespace
};
// Reads "N G keyword" from Text starting at 0-based From (non-number bytes
// before each number are dropped; the last byte of Text never joins a number).
TPDFObjHeader ReadObjHeader(std::string_view Text, size_t From);

class TPDFIndObj {
public:
    explicit TPDFIndObj(TPDFDocument* AParent);

    TPDFDocument* FParent;
    int32_t FObjNum = 0;
    int32_t FGenNum = 0;
    bool FDecoded = false;
    TPDFObject* FObj = nullptr;
    int64_t FPosition = 0;  // 0-based offset in the document source; 0 when not from the file
    int64_t FLength = 0;    // bytes up to the next known object or section
    int64_t FSpan = 0;      // that span as built from the table (FLength changes on parse)
    bool FDecrypted = false;
    bool FRecoded = false;
    std::string FNewSource;
    bool FSpooled = false;
    bool FCompact = false;
    int32_t FObjStrNum = 0;
    int32_t FObjStrIndex = 0;
    bool FDecodeError = false;
    int32_t FDecodeMode = 2;  // 0/1 length first, 2 keyword first, 3 no stream data

    int32_t ObjNum() const { return FObjNum; }
    int32_t GenNum() const { return FGenNum; }
    bool Decoded() const { return FDecoded; }
    bool Decrypted() const { return FDecrypted; }
    bool Recoded() const { return FRecoded; }
    bool Compact() const { return FCompact; }
    bool DecodeError() const { return FDecodeError; }
    int32_t DecodeMode() const { return FDecodeMode; }
    void SetDecodeMode(int32_t Value) { FDecodeMode = Value; }

    // The value, parsed on first use and made plain when the document decrypts.
    TPDFObject* GetObj();
    TPDFObject* Obj() { return GetObj(); }
    bool HasChanged() const;
    // "N G obj\n" + value + "endobj\n".
    std::string Output();
    // Turns the value into fresh source text and drops the parsed value.
    void Recode();
    // The text to parse when it is not read in place from the file.
    std::string Source();
    void Decode();

    // Decryption of the value's strings and stream data (standard security
    // handler); does nothing while the document cannot decrypt.
    void Decrypt();
    // Encryption of a plain value for writing (SecurityHooks.cpp); does
    // nothing unless the document is encrypted and the value is plain.
    void Encrypt();

private:
    void DecodeFromText();
    void DecodeCompact();
    void DecodeByPosition();
    // Makes Value a stream with the data [Start, Start + Len) of Text.
    TPDFObject* WithStreamData(TPDFDictionary* Dict, std::string_view Text, size_t Start,
                               size_t Len);
};

// Locating stream data after a dictionary. Text is the text searched;
// DictEnd the 0-based index just after the dictionary; SearchEnd bounds the
// search for the keywords. Length is /Length (nullopt when not a number).
// Keyword first: checks "endstream" after Length bytes, else searches it.
bool LocateStreamData(std::string_view Text, size_t DictEnd, size_t SearchEnd,
                      const int64_t* Length, size_t& DataStart, size_t& DataLength);
// Length first: the data is /Length bytes, extended or cut to "endstream".
bool LocateStreamDataByLength(std::string_view Text, size_t DictEnd, size_t SearchEnd,
                              const int64_t* Length, size_t& DataStart, size_t& DataLength);

}  // namespace velmo
