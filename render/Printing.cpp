#include "render/Printing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/files/Stream.h"
#include "platform/gdi/DC.h"
#include "render/Picasso.h"

namespace velmo {

namespace {

std::mutex& PrinterListMutex() {
    static std::mutex M;
    return M;
}
std::vector<TVPLPrinterJob*>& PrinterObjectList() {
    static std::vector<TVPLPrinterJob*> L;
    return L;
}

std::string SelectedDevice(TPrinter& P) {
    std::string Device, Driver, Port;
    P.GetPrinter(Device, Driver, Port);
    return Device;
}

// The device mode of the selected printer, made by selecting the printer
// again by its index when it has none.
TDevMode* EnsureDevMode(TPrinter& P) {
    if (P.DevMode() == nullptr) {
        const int Index = P.PrinterIndex();
        if (Index >= 0) P.SetPrinterIndex(Index);
    }
    return P.DevMode();
}

std::string ChoiceList(const std::vector<TPrinterChoice>& Choices, size_t NameLimit) {
    std::string R;
    for (const TPrinterChoice& C : Choices) {
        std::string Name = C.Text.substr(0, NameLimit);
        const size_t Zero = Name.find('\0');
        if (Zero != std::string::npos) Name.resize(Zero);
        R += std::to_string(C.Code) + ",\"" + Name + "\"\r\n";
    }
    return R;
}

}  // namespace

// ---------------------------------------------------------------------------
// TVPLPrinterJob

TVPLPrinterJob::TVPLPrinterJob(TPrinter* Printer, const std::u16string& FileName, bool UseLocal)
    : FPrinter(Printer), FFileName(FileName), FUseLocal(UseLocal) {
    std::lock_guard<std::mutex> G(PrinterListMutex());
    PrinterObjectList().push_back(this);
}

TVPLPrinterJob::~TVPLPrinterJob() {
    {
        std::lock_guard<std::mutex> G(PrinterListMutex());
        auto& L = PrinterObjectList();
        L.erase(std::remove(L.begin(), L.end(), this), L.end());
    }
    FPreviewBitmap.reset();
    if (FLocalDC) DeletePrinterDC(FLocalDC);
}

void TVPLPrinterJob::BeginDoc() {
    if (FPrinter == nullptr || FPreviewBitmap) return;
    if (!FUseLocal) {
        FPrinter->BeginDoc();
        return;
    }
    FPrinterName = SelectedDevice(*FPrinter).substr(0, 256);
    if (FLocalDC) DeletePrinterDC(FLocalDC);
    FLocalDC = CreatePrinterDC(FPrinterName, FPrinter->DevMode());
    if (FLocalDC == nullptr) return;
    DOCINFOW Info;
    Info.DocName = FPrinter->Title;
    Info.Output = FFileName;
    const int Job = StartDocW(FLocalDC, Info);
    if (Job <= 0) {
        DeletePrinterDC(FLocalDC);
        FLocalDC = nullptr;
        return;
    }
    FPrinterJobID = Job;
    if (FStartPaused) RequestPrintJobStatus(401, FPrinterJobID, FPrinterName);
    StartPage(FLocalDC);
}

void TVPLPrinterJob::NewPage() {
    if (FPrinter == nullptr) return;
    if (FUseLocal && !FPreviewBitmap) {
        if (FLocalDC) {
            EndPage(FLocalDC);
            StartPage(FLocalDC);
        }
        return;
    }
    FPrinter->NewPage();
}

void TVPLPrinterJob::EndDoc() {
    if (FPrinter == nullptr || FPreviewBitmap) return;
    if (!FUseLocal) {
        FPrinter->EndDoc();
        return;
    }
    if (FLocalDC == nullptr) return;
    EndPage(FLocalDC);
    // An aborted job ends its last page without ending the document.
    if (!FPrinter->Aborted()) velmo::EndDoc(FLocalDC);
}

TCanvas* TVPLPrinterJob::Canvas() {
    if (FPrinter == nullptr) return nullptr;
    if (FPreviewBitmap) return &FPreviewBitmap->Canvas();
    if (!FUseLocal) return FPrinter->Canvas();
    TBitmap* Page = PrinterDCPage(Handle());
    return Page ? &Page->Canvas() : nullptr;
}

HDC TVPLPrinterJob::Handle() {
    if (FPrinter == nullptr) return nullptr;
    if (FUseLocal && FLocalDC) return FLocalDC;
    return FPrinter->Handle();
}

int32_t TVPLPrinterJob::Scaled(int32_t Value) const {
    if (!FPreviewBitmap) return Value;
    return int32_t(std::trunc(Value * FPreviewScale));
}

int32_t TVPLPrinterJob::GetDPI() {
    HDC Dc = Handle();
    if (!FPreviewBitmap) return GetDeviceCaps(Dc, LOGPIXELSY);
    const int Size = GetDeviceCaps(Dc, HORZSIZE);
    if (Size <= 0) return 0;
    return int32_t(std::trunc(double(GetDeviceCaps(Dc, HORZRES)) / Size * 25.4 * FPreviewScale));
}

int32_t TVPLPrinterJob::PageWidth() {
    if (FPrinter == nullptr) return 0;
    return Scaled(GetDeviceCaps(Handle(), HORZRES));
}
int32_t TVPLPrinterJob::PageHeight() {
    if (FPrinter == nullptr) return 0;
    return Scaled(GetDeviceCaps(Handle(), VERTRES));
}
int32_t TVPLPrinterJob::FullPageWidth() { return Scaled(GetDeviceCaps(Handle(), PHYSICALWIDTH)); }
int32_t TVPLPrinterJob::FullPageHeight() { return Scaled(GetDeviceCaps(Handle(), PHYSICALHEIGHT)); }
int32_t TVPLPrinterJob::PrintOffsetX() { return Scaled(GetDeviceCaps(Handle(), PHYSICALOFFSETX)); }
int32_t TVPLPrinterJob::PrintOffsetY() { return Scaled(GetDeviceCaps(Handle(), PHYSICALOFFSETY)); }

bool TVPLPrinterJob::Printing() {
    if (FPreviewBitmap) return true;
    if (FPrinter == nullptr) return false;
    if (FUseLocal) return FLocalDC != nullptr;
    return FPrinter->Printing();
}

bool TVPLPrinterJob::Aborted() { return FPrinter != nullptr && FPrinter->Aborted(); }

std::u16string TVPLPrinterJob::Title() const { return FPrinter ? FPrinter->Title : u""; }

void TVPLPrinterJob::SetTitle(const std::u16string& Value) {
    if (FPrinter) FPrinter->Title = Value;
}

void TVPLPrinterJob::SetupPreview(int32_t MaxDimension) {
    FPreviewBitmap.reset();
    FPreviewScale = 1.0;
    const int32_t W = FullPageWidth(), H = FullPageHeight();
    if (W <= 0 || H <= 0 || MaxDimension <= 0) return;
    const double Scale = H < W ? double(MaxDimension) / W : double(MaxDimension) / H;
    const int32_t PW = int32_t(std::trunc(W * Scale)), PH = int32_t(std::trunc(H * Scale));
    if (PW <= 0 || PH <= 0 || int64_t(PW) * PH > TBitmap::MaxPixels) return;
    FPreviewScale = Scale;
    FPreviewBitmap = std::make_unique<TBitmap>(PW, PH, pf24bit);
}

std::string TVPLPrinterJob::SavePreviewToString() {
    if (!FPreviewBitmap) return {};
    TCanvasLock Hold(FPreviewBitmap->Canvas());
    TMemoryStream S;
    FPreviewBitmap->SaveToStream(S);
    return S.Bytes();
}

bool PrinterAbortProc(HDC Dc, int32_t Code) {
    (void)Code;
    std::lock_guard<std::mutex> G(PrinterListMutex());
    for (TVPLPrinterJob* P : PrinterObjectList())
        if (P->Handle() == Dc) return !P->Aborted();
    return false;
}

// ---------------------------------------------------------------------------
// TPDFCustomPrinter

TPDFCustomPrinter::TPDFCustomPrinter(const std::u16string& OriginalPrinterName)
    : FOriginalPrinterName(OriginalPrinterName) {}

bool TPDFCustomPrinter::Setup(int32_t Setting, int32_t Value) {
    struct TRule {
        int32_t TPDFCustomPrinter::*Field;
        int32_t Min, Max;
        uint32_t Flag;
    };
    static const TRule kRules[] = {
        {&TPDFCustomPrinter::PaperSize, 0, 68, DM_PAPERSIZE},
        {&TPDFCustomPrinter::PaperLength, 1, INT32_MAX, DM_PAPERLENGTH},
        {&TPDFCustomPrinter::PaperWidth, 1, INT32_MAX, DM_PAPERWIDTH},
        {&TPDFCustomPrinter::Copies, 1, INT32_MAX, DM_COPIES},
        {&TPDFCustomPrinter::PrintQuality, 1, 4800, DM_PRINTQUALITY},
        {&TPDFCustomPrinter::Color, 1, 2, DM_COLOR},
        {&TPDFCustomPrinter::Duplex, 1, 3, DM_DUPLEX},
        {&TPDFCustomPrinter::Collate, 0, 1, DM_COLLATE},
        {&TPDFCustomPrinter::DefaultSource, 1, INT32_MAX, DM_DEFAULTSOURCE},
        {&TPDFCustomPrinter::MediaType, 1, INT32_MAX, DM_MEDIATYPE},
        {&TPDFCustomPrinter::Orientation, 1, 2, DM_ORIENTATION},
    };
    if (Setting < 1 || Setting > int32_t(std::size(kRules))) return false;
    const TRule& R = kRules[Setting - 1];
    if (Value < R.Min || Value > R.Max) return false;
    this->*R.Field = Value;
    Fields |= R.Flag;
    return true;
}

void TPDFCustomPrinter::SetPrinter(TPrinter& Printer, const std::string& DevModeString) {
    TDevMode* DM = EnsureDevMode(Printer);
    if (DM == nullptr) return;
    const size_t Total = DM->TotalSize();
    if (Total != 0 && Total == DevModeString.size() && Total <= TDevMode::kSize)
        std::memcpy(DM->Data(), DevModeString.data(), Total);
    DM->SetFields(DM->Fields() | Fields);
    auto Put16 = [&](size_t Offset, int32_t V) {
        if (V > 0) DM->Set16(Offset, V);
    };
    Put16(TDevMode::oPaperSize, PaperSize);
    Put16(TDevMode::oPaperLength, PaperLength);
    Put16(TDevMode::oPaperWidth, PaperWidth);
    Put16(TDevMode::oCopies, Copies);
    Put16(TDevMode::oColor, Color);
    Put16(TDevMode::oDuplex, Duplex);
    Put16(TDevMode::oDefaultSource, DefaultSource);
    if (MediaType > 0) DM->Set32(TDevMode::oMediaType, uint32_t(MediaType));
    Put16(TDevMode::oOrientation, Orientation);
    if (Collate >= 0) DM->Set16(TDevMode::oCollate, Collate);
    if (PrintQuality >= 1 && PrintQuality <= 4) {
        // High, medium, low, draft.
        DM->Set16(TDevMode::oPrintQuality, -5 + PrintQuality);
    } else if (PrintQuality > 10) {
        DM->Set16(TDevMode::oPrintQuality, PrintQuality);
        DM->Set16(TDevMode::oYResolution, PrintQuality & 0xFFFF);
        DM->SetFields(DM->Fields() | DM_YRESOLUTION);
    }
}

// ---------------------------------------------------------------------------
// Helpers

std::string GetPrinterBinList(TPrinter& Printer) {
    if (EnsureDevMode(Printer) == nullptr) return {};
    return ChoiceList(GetPrinterBins(SelectedDevice(Printer)), 24);
}

std::string GetPrinterMediaTypeList(TPrinter& Printer) {
    if (EnsureDevMode(Printer) == nullptr) return {};
    return ChoiceList(GetPrinterMediaTypes(SelectedDevice(Printer)), 64);
}

std::string GetPrinterDevModeData(TPrinter& Printer) {
    TDevMode* DM = Printer.DevMode();
    if (DM == nullptr || uint16_t(DM->Get16(TDevMode::oSize)) != TDevMode::kSize) return {};
    return DM->Bytes().substr(0, std::min(DM->TotalSize(), TDevMode::kSize));
}

void ListPrinterNames(std::vector<std::string>& List) {
    for (std::string& N : ListPrinters()) List.push_back(std::move(N));
}

std::u16string GetSystemDefaultPrinterName() {
    const std::string N = DefaultPrinterName();
    std::u16string R;
    // UTF-8 to UTF-16 (names are mostly ASCII; other bytes decode here).
    for (size_t I = 0; I < N.size();) {
        const uint8_t C = uint8_t(N[I]);
        uint32_t U = C;
        size_t Len = 1;
        if (C >= 0xF0 && I + 3 < N.size()) {
            U = ((C & 7u) << 18) | ((N[I + 1] & 0x3Fu) << 12) | ((N[I + 2] & 0x3Fu) << 6) |
                (N[I + 3] & 0x3Fu);
            Len = 4;
        } else if (C >= 0xE0 && I + 2 < N.size()) {
            U = ((C & 0xFu) << 12) | ((N[I + 1] & 0x3Fu) << 6) | (N[I + 2] & 0x3Fu);
            Len = 3;
        } else if (C >= 0xC0 && I + 1 < N.size()) {
            U = ((C & 0x1Fu) << 6) | (N[I + 1] & 0x3Fu);
            Len = 2;
        }
        if (U >= 0x10000) {
            U -= 0x10000;
            R += char16_t(0xD800 + (U >> 10));
            R += char16_t(0xDC00 + (U & 0x3FF));
        } else {
            R += char16_t(U);
        }
        I += Len;
    }
    return R;
}

int32_t RequestPrintJobStatus(int32_t Command, int32_t JobID, const std::string& PrinterName) {
    if (PrinterName.empty() || !PrinterExists(PrinterName)) return 0;
    TPrintJobInfo Job;
    if (!GetPrintJob(PrinterName, JobID, Job)) return 0;
    switch (Command) {
        case 200: return 1;
        case 201: return Job.JobID;
        case 202: return Job.Priority;
        case 203: return Job.Position;
        case 204: return Job.TotalPages;
        case 205: return Job.PagesPrinted;
        case 206: {
            const int64_t Now = std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
            const int64_t Ms = (Now - Job.CreationTime) * 1000;
            return int32_t(std::clamp<int64_t>(Ms, INT32_MIN, INT32_MAX));
        }
        case 207: {
            std::string T = Job.DataType;
            for (char& C : T) C = char(std::toupper(uint8_t(C)));
            if (T.find("RAW") != std::string::npos) return 1;
            if (T.find("EMF") != std::string::npos) return 2;
            if (T.find("TEXT") != std::string::npos) return 3;
            if (T.find("XPS") != std::string::npos) return 4;
            return 0;
        }
        case 300: return int32_t(Job.Status);
        case 401: return HoldPrintJob(PrinterName, JobID) ? 1 : 0;
        case 402: return ReleasePrintJob(PrinterName, JobID) ? 1 : 0;
        case 403: return CancelPrintJob(PrinterName, JobID) ? 1 : 0;
        default:
            if (Command >= 301 && Command <= 314) return (Job.Status >> (Command - 301)) & 1;
            return 0;
    }
}

bool PrinterAcceptsJPEG(HDC Dc) {
    int32_t Escape = CHECKJPEGFORMAT;
    return ExtEscape(Dc, QUERYESCSUPPORT, sizeof Escape, &Escape, 0, nullptr) > 0;
}

bool PrinterAcceptsPNG(HDC Dc) {
    int32_t Escape = CHECKPNGFORMAT;
    return ExtEscape(Dc, QUERYESCSUPPORT, sizeof Escape, &Escape, 0, nullptr) > 0;
}

void PrintRendererBand(HDC Dc, const uint8_t* Buffer, int32_t BufferWidth, int32_t BufferHeight,
                       int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t OriginX,
                       int32_t OriginY, int32_t PrintMode) {
    if (Dc == nullptr || Buffer == nullptr || BufferWidth <= 0 || BufferHeight <= 0) return;
    // The band lies within the buffer.
    const int64_t L = std::max<int64_t>(Left, 0), T = std::max<int64_t>(Top, 0);
    const int64_t R = std::min<int64_t>(int64_t(Left) + Width, BufferWidth);
    const int64_t B = std::min<int64_t>(int64_t(Top) + Height, BufferHeight);
    if (R <= L || B <= T) return;
    const int32_t W = int32_t(R - L), H = int32_t(B - T);
    TBitmap BM(W, H, pf24bit);
    TCanvasLock Hold(BM.Canvas());
    const size_t RowLength = size_t(BufferWidth) * 3;
    for (int32_t Row = 0; Row < H; ++Row) {
        const int64_t SrcRow = int64_t(BufferHeight) - T - 1 - Row;
        std::memcpy(BM.ScanLine(Row), Buffer + size_t(SrcRow) * RowLength + size_t(L) * 3,
                    size_t(W) * 3);
    }
    const int32_t X = int32_t(std::clamp<int64_t>(OriginX + L, INT32_MIN, INT32_MAX));
    const int32_t Y = int32_t(std::clamp<int64_t>(OriginY + T, INT32_MIN, INT32_MAX));
    if (PrintBitmapPassThrough(Dc, BM, X, Y, W, H, PrintMode)) return;
    BitBlt(Dc, X, Y, W, H, BM.Canvas().Handle(), 0, 0, SRCCOPY);
}

}  // namespace velmo
