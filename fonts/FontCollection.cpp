#include "fonts/FontCollection.h"
#include "fonts/Type1Decoder.h"

#include <utility>

namespace velmo {

// ---- TPDFDisplayRanges -------------------------------------------------------------

void TPDFDisplayRanges::Assign(TPDFCMap Ranges) {
    FRanges = std::move(Ranges);
    FIndex.Clear();
    for (std::size_t i = 0; i < FRanges.size(); ++i)
        FIndex.Add(FRanges[i].StartCode, FRanges[i].EndCode, static_cast<std::uint32_t>(i));
}

const TPDFCMapEntry* TPDFDisplayRanges::Find(std::uint32_t Code) const {
    const std::uint32_t* i = FIndex.Find(Code);
    return i ? &FRanges[*i] : nullptr;
}

// ---- TPDFFontCollectionData -----------------------------------------------------

TPDFFontCollectionData::TPDFFontCollectionData() {
    GetEncodingGlyphNames(peStandard, Encoding);
    ResolvedGlyphs.fill(kUnresolved);
}

void TPDFFontCollectionData::SetOwnCIDToGIDMap(std::unique_ptr<TVPLWordPairList> Map) {
    FOwnCIDToGIDMap = std::move(Map);
    CIDToGIDMap = FOwnCIDToGIDMap.get();
    HasOwnCIDToGIDMap = CIDToGIDMap != nullptr;
}

// ---- TPDFFontCollection ------------------------------------------------------------

TPDFFontCollection::~TPDFFontCollection() = default;

TPDFObject* TPDFFontCollection::FindObject(TPDFObject* RefOrObj) const {
    TPDFIndRef* ref = ObjAs<TPDFIndRef>(RefOrObj);
    if (!ref) return RefOrObj;
    if (FOnFindObject) return FOnFindObject(ref);
    return ref->Obj();
}

TPDFFontCollectionData* TPDFFontCollection::AddFontData(
    std::unique_ptr<TPDFFontCollectionData> Entry) {
    if (!Entry) return nullptr;
    FFontData.push_back(std::move(Entry));
    return FFontData.back().get();
}

void TPDFFontCollection::RebuildMap() {
    for (; FMapped < FFontData.size(); ++FMapped)
        FMap.try_emplace(FFontData[FMapped]->ObjNum, FMapped);
}

void TPDFFontCollection::GetFontData(TPDFIndRef* Ref) {
    if (!Ref) return;
    RebuildMap();
    if (auto it = FMap.find(Ref->ObjNum); it != FMap.end()) {
        FFoundFontData = FFontData[it->second].get();
        return;
    }
    const std::size_t before = FFontData.size();
    AnalyseFont(Ref, nullptr);
    if (FFontData.size() == before) return;
    FFontData.back()->ObjNum = Ref->ObjNum;
    TPDFFontCollectionData* last = FFontData.back().get();
    RebuildMap();
    FFoundFontData = last;
}

void TPDFFontCollection::FastGetFontData(std::int32_t ObjNum) {
    if (auto it = FMap.find(ObjNum); it != FMap.end()) FFoundFontData = FFontData[it->second].get();
}

void TPDFFontCollection::GetFontDataFromDict(TPDFDictionary* Dict) {
    AnalyseFont(Dict, nullptr);
    if (!FFontData.empty()) FFoundFontData = FFontData.back().get();
}

void TPDFFontCollection::GetCodeList(std::string_view Text, TCMapCodeList& CodeList) const {
    CodeList.clear();
    if (Text.empty() || !FFoundFontData) return;
    if (FFoundFontData->CIDSystemInfo.empty()) {
        CodeList.reserve(Text.size() / 2);
        for (std::size_t i = 0; i + 1 < Text.size(); i += 2)
            CodeList.push_back(std::uint32_t(static_cast<unsigned char>(Text[i])) << 8 |
                               static_cast<unsigned char>(Text[i + 1]));
        return;
    }
    if (!FCMaps.ResourceCMapCodeSplit(FFoundFontData->GIDToCIDMap, Text, CodeList))
        CodeList.clear();
}

std::u16string TPDFFontCollection::GetWideMap(std::int64_t CharCode) const {
    const TPDFFontCollectionData* font = FFoundFontData;
    if (!font) return {};
    if (font->IsComposite) {
        if (font->DisplayCS2.Empty()) {
            if (font->CIDSystemInfo.empty()) return {};
            return std::u16string(1, static_cast<char16_t>(CharCode & 0xFFFF));
        }
        if (CharCode < 0 || CharCode > 0xFFFF) return {};
        // A text of several units advances only its last unit along the
        // range: "ffi" stays a ligature and never becomes "ggj".
        const TPDFCMapEntry* range = font->DisplayCS2.Find(std::uint32_t(CharCode));
        return range ? CMapEntryText(*range, std::uint32_t(CharCode)) : std::u16string();
    }
    if (CharCode < 0 || CharCode > 255) return {};
    const std::u16string& text = font->DisplayCSW[std::size_t(CharCode)];
    if (text.empty() || (text.size() == 1 && text[0] == 0))
        return std::u16string(1, static_cast<char16_t>(CharCode));
    return text;
}

void InstallFontCollectionServices() {
    InstallType1ProgramLoader();
    PageServiceFactories().NewFontCollection = []() -> std::unique_ptr<TPDFFontCollectionBase> {
        return std::make_unique<TPDFFontCollection>();
    };
}

}  // namespace velmo
