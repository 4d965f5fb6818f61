#include "api/VelmoPDF.h"

#include <cmath>
#include <exception>
#include <mutex>

#include "codecs/CodecServices.h"
#include "content/Image.h"
#include "content/Painter.h"
#include "core/FileHelpers.h"
#include "core/Random.h"
#include "core/StringHelpers.h"
#include "document/ImageBase.h"
#include "document/PageTree.h"
#include "platform/text/AnsiCodePage.h"
#include "render/Picasso.h"
#include "render/Renderer.h"

namespace velmo {

const char* const VelmoPDFBanner = "Korbex Velmo PDF Library 11.14 (https://www.velmopdf.example)";

namespace {

bool EndsWithSeparator(const std::u16string& S) {
    return !S.empty() && (S.back() == u'/' || S.back() == u'\\');
}

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle

TVelmoPDF::TVelmoPDF() {
    FSubProgressPiece = 1;
    FSubProgressCount = 1;
    FLastErrorCode = 0;
    FTempPath = GetTempPathWide();
    if (!EndsWithSeparator(FTempPath)) FTempPath += u'/';
    // This platform has no COM apartments: there is nothing to initialise
    // and nothing to undo.
    FNeedCoUninit = false;
    static std::once_flag contentServices;
    std::call_once(contentServices, [] {
        InstallContentServices();
        InstallRendererServices();
        InstallCodecServices();
    });
    FGDIPlusSettings = std::make_unique<TGDIPlusSettings>();
    InitGDIPlusSettings(*FGDIPlusSettings);
    AddDocument(MakeBlankDocument());
}

TVelmoPDF::~TVelmoPDF() {
    try {
        FSelDoc = nullptr;
        // Kept renderers use their documents' font collections.
        FRenderers.clear();
        FDocs.clear();
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------
// ID table

int32_t TVelmoPDF::ObjectToID(void* Obj, TVPLIDKind Kind, TPDFDocument* Owner) {
    if (Obj == nullptr) return 0;
    if (auto it = FSlotOf.find(Obj); it != FSlotOf.end()) {
        const TVPLIDSlot& s = FIntCasts[it->second];
        if (s.Kind == Kind) return IDBase + static_cast<int32_t>(it->second);
        // The address now holds an object of another kind: the old one died
        // without being forgotten. Its slot must not resolve any more.
        FIntCasts[it->second] = TVPLIDSlot{};
        FSlotOf.erase(it);
    }
    const size_t index = FIntCasts.size();
    if (index > static_cast<size_t>(IDIndexMask)) return 0;  // table full
    FIntCasts.push_back(TVPLIDSlot{Obj, Kind, Owner});
    FSlotOf.emplace(Obj, static_cast<uint32_t>(index));
    return IDBase + static_cast<int32_t>(index);
}

void* TVelmoPDF::IDToObject(int32_t ID, TVPLIDKind Kind) const {
    if ((ID & IDBase) != IDBase) return nullptr;
    const uint32_t index = static_cast<uint32_t>(ID & IDIndexMask);
    // The bits outside the base and the index must be clear too, so that a
    // forged value cannot alias a valid ID.
    if ((static_cast<uint32_t>(ID) & ~static_cast<uint32_t>(IDBase | IDIndexMask)) != 0)
        return nullptr;
    if (index >= FIntCasts.size()) return nullptr;
    const TVPLIDSlot& s = FIntCasts[index];
    if (s.Obj == nullptr || s.Kind != Kind) return nullptr;
    return s.Obj;
}

void TVelmoPDF::ForgetObject(const void* Obj) {
    auto it = FSlotOf.find(Obj);
    if (it == FSlotOf.end()) return;
    FIntCasts[it->second] = TVPLIDSlot{};
    FSlotOf.erase(it);
}

void TVelmoPDF::ForgetDocument(TPDFDocument* Doc) {
    FRenderers.erase(Doc);
    for (auto& s : FIntCasts) {
        if (s.Obj != nullptr && (s.Owner == Doc || s.Obj == Doc)) {
            FSlotOf.erase(s.Obj);
            s = TVPLIDSlot{};
        }
    }
}

int32_t TVelmoPDF::AddStringList(std::unique_ptr<TVelmoPDFStringList> List) {
    if (!List) return 0;
    TVelmoPDFStringList* p = List.get();
    FStringLists.push_back(std::move(List));
    return ObjectToID(p, TVPLIDKind::idStringList);
}

TPDFDocument* TVelmoPDF::FindDocument(int32_t ID) const {
    return static_cast<TPDFDocument*>(IDToObject(ID, TVPLIDKind::idDocument));
}

TPDFImageBase* TVelmoPDF::FindImage(int32_t ID) const {
    return static_cast<TPDFImageBase*>(IDToObject(ID, TVPLIDKind::idImage));
}

TPDFImageBase* TVelmoPDF::FindDocImage(int32_t ID) const {
    TPDFImageBase* img = FindImage(ID);
    return img != nullptr && FSelDoc->IsImage(img) ? img : nullptr;
}

TPDFImage* TVelmoPDF::SelImage() const { return dynamic_cast<TPDFImage*>(FSelImage); }

TPDFPainter* TVelmoPDF::Painter() const {
    TPDFPageTree* tree = FSelDoc->PageTree();
    return tree ? dynamic_cast<TPDFPainter*>(tree->Painter()) : nullptr;
}

// ---------------------------------------------------------------------------
// Units and origin

double TVelmoPDF::UnitsToPoints(double V) const { return V / FSelDoc->FScale; }

double TVelmoPDF::XToPoints(double X) {
    double r = X / FSelDoc->FScale;
    if (FSelDoc->FOrigin == 2 || FSelDoc->FOrigin == 3) r = PageWidth() / FSelDoc->FScale - r;
    return r;
}

double TVelmoPDF::YToPoints(double Y) {
    double r = Y / FSelDoc->FScale;
    if (FSelDoc->FOrigin == 1 || FSelDoc->FOrigin == 2) r = PageHeight() / FSelDoc->FScale - r;
    return r;
}

// ---------------------------------------------------------------------------
// Progress

void TVelmoPDF::SubProgress(int32_t Percent) {
    if (!FOnProgress) return;
    const int32_t count = FSubProgressCount > 0 ? FSubProgressCount : 1;
    const double scaled = std::nearbyint(Percent * FSubProgressScale + FSubProgressOffset);
    const int32_t value =
        ((FSubProgressPiece - 1) * 100) / count + static_cast<int32_t>(scaled) / count;
    if (value != FLastProgress) {
        FLastProgress = value;
        FOnProgress(value);
    }
}

void TVelmoPDF::ProgressDone() {
    if (FOnProgress) FOnProgress(100);
}

// ---------------------------------------------------------------------------
// General methods

int32_t TVelmoPDF::LastErrorCode() {
    const int32_t r = FLastErrorCode;
    FLastErrorCode = 0;
    return r;
}

std::u16string TVelmoPDF::LibraryVersion() {
    FLastErrorCode = 0;
    return u"11.14";
}

std::u16string TVelmoPDF::LibraryVersionEx() {
    FLastErrorCode = 0;
    return u"11.14.1.0";
}

int32_t TVelmoPDF::DocumentCount() { return static_cast<int32_t>(FDocs.size()); }

int32_t TVelmoPDF::GetDocumentID(int32_t Index) {
    if (Index < 1 || Index > DocumentCount()) return 0;
    return ObjectToID(FDocs[static_cast<size_t>(Index - 1)].get(), TVPLIDKind::idDocument);
}

int32_t TVelmoPDF::SelectedDocument() { return ObjectToID(FSelDoc, TVPLIDKind::idDocument); }

int32_t TVelmoPDF::SetMeasurementUnits(int32_t MeasurementUnits) {
    switch (MeasurementUnits) {
        case 1:
            FSelDoc->FScale = 25.4 / 72;
            break;
        case 2:
            FSelDoc->FScale = 1.0 / 72;
            break;
        default:
            FSelDoc->FScale = 1.0;
            break;
    }
    return 1;
}

// A scale that would make lengths infinite or meaningless is refused: the
// conversions divide by it on every call.
int32_t TVelmoPDF::SetScale(double NewScale) {
    if (!std::isfinite(NewScale) || NewScale == 0) return 0;
    const double s = 1.0 / NewScale;
    if (!std::isfinite(s) || s == 0) return 0;
    FSelDoc->FScale = s;
    return 1;
}

int32_t TVelmoPDF::MultiplyScale(double MultScaleBy) {
    if (!std::isfinite(MultScaleBy) || MultScaleBy == 0) return 0;
    const double s = FSelDoc->FScale / MultScaleBy;
    if (!std::isfinite(s) || s == 0) return 0;
    FSelDoc->FScale = s;
    return 1;
}

int32_t TVelmoPDF::SetOrigin(int32_t Origin) {
    FSelDoc->FOrigin = (Origin < 0 || Origin > 3) ? 0 : Origin;
    return 1;
}

int32_t TVelmoPDF::GetOrigin() { return FSelDoc->FOrigin; }

int32_t TVelmoPDF::SetPrecision(int32_t NewPrecision) {
    if (NewPrecision < 2 || NewPrecision > 8) return 0;
    TPDFStructure* st = FSelDoc->Structure();
    st->PDFPrecision = std::string("0.00000000").substr(0, static_cast<size_t>(NewPrecision) + 2);
    st->PDFPrecNum = NewPrecision;
    if (TPDFPageTree* tree = FSelDoc->PageTree(); tree && tree->Painter())
        tree->Painter()->PDFPrecNum = NewPrecision;
    if (TPDFPainter* p = Painter()) p->PDFPrecNum = NewPrecision;
    return 1;
}

int32_t TVelmoPDF::SetDecodeMode(int32_t NewDecodeMode) {
    if (NewDecodeMode < 1 || NewDecodeMode > 3) return 0;
    FDefaultDecodeMode = NewDecodeMode;
    return 1;
}

int32_t TVelmoPDF::SetTempPath(const std::u16string& NewPath) {
    const std::u16string old = FTempPath;
    FTempPath = NewPath;
    if (!EndsWithSeparator(FTempPath)) FTempPath += u'/';
    const int32_t r = DirectoryExistsWide(FTempPath) ? TestTempPath() : 0;
    if (r == 0) FTempPath = old;
    return r;
}

std::u16string TVelmoPDF::GetTempPath() { return FTempPath; }

int32_t TVelmoPDF::TestTempPath() {
    if (!DirectoryExistsWide(FTempPath)) return 0;
    const std::u16string name = FTempPath + AnsiBytesToWide(NewUniqueID()) + u".dat";
    int32_t result = 0;
    try {
        if (FileExistsWide(name)) DeleteFileWide(name);
        if (!FileExistsWide(name)) {
            const uint16_t written = static_cast<uint16_t>(1 + RandomBelow(65535));
            {
                TVelmoPDFWideFileStream out(name, 0xFF10);
                out.WriteBuffer(&written, 2);
            }
            uint16_t read = 0;
            {
                TVelmoPDFWideFileStream in(name, 0x0000);
                in.ReadBuffer(&read, 2);
            }
            result = read == written ? 1 : 0;
        }
    } catch (...) {
        result = 0;
    }
    DeleteFileWide(name);
    return result;
}

int32_t TVelmoPDF::SetTempFile(const std::u16string& FileName) {
    return FSelDoc->SetTempFileName(FileName) ? 1 : 0;
}

int32_t TVelmoPDF::GetObjectCount() { return FSelDoc->GetObjCount(); }

int32_t TVelmoPDF::GetMaxObjectNumber() { return FSelDoc->MaxObjNum(); }

std::string TVelmoPDF::GetObjectToString(int32_t ObjectNumber) {
    return FSelDoc->GetObjectSource(ObjectNumber);
}

int32_t TVelmoPDF::SetObjectFromString(int32_t ObjectNumber, const std::string& Source) {
    if (ObjectNumber < 1 || ObjectNumber > GetMaxObjectNumber()) return 0;
    FSelDoc->SetObjectSource(ObjectNumber, Source);
    return 1;
}

int32_t TVelmoPDF::CreateNewObject() { return FSelDoc->CreateNewObject(); }

int32_t TVelmoPDF::CheckObjects() {
    FSelDoc->CheckObjects();
    return 1;
}

int32_t TVelmoPDF::GetObjectDecodeError(int32_t ObjectNumber) {
    return FSelDoc->GetObjectDecodeError(ObjectNumber) ? 1 : 0;
}

int32_t TVelmoPDF::GetStringListCount(int32_t StringListID) {
    auto* l = static_cast<TVelmoPDFStringList*>(IDToObject(StringListID, TVPLIDKind::idStringList));
    return l ? l->Count() : 0;
}

std::u16string TVelmoPDF::GetStringListItem(int32_t StringListID, int32_t ItemIndex) {
    auto* l = static_cast<TVelmoPDFStringList*>(IDToObject(StringListID, TVPLIDKind::idStringList));
    if (l == nullptr || ItemIndex < 1 || ItemIndex > l->Count()) return {};
    return AnsiToWide(l->Get(ItemIndex - 1));
}

int32_t TVelmoPDF::ReleaseStringList(int32_t StringListID) {
    auto* l = static_cast<TVelmoPDFStringList*>(IDToObject(StringListID, TVPLIDKind::idStringList));
    if (l == nullptr) return 0;
    ForgetObject(l);
    for (auto it = FStringLists.begin(); it != FStringLists.end(); ++it) {
        if (it->get() == l) {
            FStringLists.erase(it);
            break;
        }
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Rendering used by the conversion tool

// Pages are drawn by the page renderer, which this library does not have
// yet: no page file is written.
}  // namespace velmo
