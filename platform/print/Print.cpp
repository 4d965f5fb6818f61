#include "platform/print/Print.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <cups/cups.h>
#include <cups/ppd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/gdi/Bitmap.h"
#include "platform/text/Utf8.h"

// The PPD interface is marked deprecated but is still how a queue's driver
// options are read.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace velmo {

namespace {

std::string Lower(std::string_view S) {
    std::string R(S);
    for (char& C : R) C = char(std::tolower(uint8_t(C)));
    return R;
}

// The queue of a destination name ("name" or "name/instance").
std::string QueueOf(std::string_view Name) {
    const size_t Slash = Name.find('/');
    return std::string(Slash == std::string_view::npos ? Name : Name.substr(0, Slash));
}


// ---- Paper sizes ----

struct TPaper {
    int16_t Code;
    const char* Keyword;  // PPD PageSize keyword
    const char* Media;    // self-describing media name
    double Width, Height;  // points
};
constexpr TPaper kPapers[] = {
    {1, "Letter", "na_letter_8.5x11in", 612, 792},
    {5, "Legal", "na_legal_8.5x14in", 612, 1008},
    {7, "Executive", "na_executive_7.25x10.5in", 522, 756},
    {8, "A3", "iso_a3_297x420mm", 841.89, 1190.55},
    {9, "A4", "iso_a4_210x297mm", 595.28, 841.89},
    {11, "A5", "iso_a5_148x210mm", 419.53, 595.28},
    {13, "B5", "jis_b5_182x257mm", 515.91, 728.5},
};
const TPaper* PaperByCode(int32_t Code) {
    for (const TPaper& P : kPapers)
        if (P.Code == Code) return &P;
    return nullptr;
}

// ---- Choice codes ----

struct TStandardName {
    const char* Name;
    int32_t Code;
};
constexpr TStandardName kBinNames[] = {
    {"upper", 1},         {"onlyone", 1},       {"top", 1},          {"lower", 2},
    {"bottom", 2},        {"middle", 3},        {"manual", 4},       {"manualfeed", 4},
    {"envelope", 5},      {"envmanual", 6},     {"manualenvelope", 6}, {"auto", 7},
    {"automatic", 7},     {"default", 7},       {"tractor", 8},      {"smallformat", 9},
    {"largeformat", 10},  {"largecapacity", 11}, {"large-capacity", 11}, {"cassette", 14},
    {"formsource", 15},
};
constexpr TStandardName kMediaTypeNames[] = {
    {"plain", 1},        {"standard", 1},     {"stationery", 1},
    {"transparency", 2}, {"glossy", 3},       {"photographic-glossy", 3},
};

template <size_t N>
std::vector<TPrinterChoice> Coded(const std::vector<std::pair<std::string, std::string>>& Items,
                                  const TStandardName (&Table)[N]) {
    std::vector<TPrinterChoice> R;
    for (size_t I = 0; I < Items.size(); ++I) {
        TPrinterChoice C;
        C.Keyword = Items[I].first;
        C.Text = Items[I].second.empty() ? Items[I].first : Items[I].second;
        C.Code = 256 + int32_t(I);
        const std::string K = Lower(C.Keyword);
        for (const TStandardName& S : Table)
            if (K == S.Name) {
                C.Code = S.Code;
                break;
            }
        // A standard code already taken keeps the entry apart.
        for (const TPrinterChoice& Earlier : R)
            if (Earlier.Code == C.Code) C.Code = 256 + int32_t(I);
        R.push_back(std::move(C));
    }
    return R;
}

// ---- Program printers ----

std::mutex& LocalMutex() {
    static std::mutex M;
    return M;
}
std::vector<TLocalPrinterInfo>& LocalPrinters() {
    static std::vector<TLocalPrinterInfo> L;
    return L;
}
bool FindLocal(std::string_view Name, TLocalPrinterInfo& Out) {
    std::lock_guard<std::mutex> G(LocalMutex());
    for (const TLocalPrinterInfo& P : LocalPrinters())
        if (Lower(P.Name) == Lower(Name)) {
            Out = P;
            return true;
        }
    return false;
}

// ---- Server queries ----

// The queue's PPD, opened; null for a queue without one.
struct TPPD {
    ppd_file_t* File = nullptr;
    std::string Path;
    ~TPPD() {
        if (File) ppdClose(File);
        if (!Path.empty()) unlink(Path.c_str());
    }
};
std::unique_ptr<TPPD> OpenPPD(std::string_view Name) {
    const std::string Queue = QueueOf(Name);
    const char* Path = cupsGetPPD2(CUPS_HTTP_DEFAULT, Queue.c_str());
    if (Path == nullptr) return nullptr;
    auto P = std::make_unique<TPPD>();
    P->Path = Path;
    P->File = ppdOpenFile(Path);
    if (P->File == nullptr) return nullptr;
    ppdMarkDefaults(P->File);
    return P;
}

// Get-Printer-Attributes of a queue; null when the server does not answer.
ipp_t* PrinterAttributes(std::string_view Name) {
    const std::string Queue = QueueOf(Name);
    char Uri[1024];
    httpAssembleURIf(HTTP_URI_CODING_ALL, Uri, sizeof(Uri), "ipp", nullptr, "localhost", 0,
                     "/printers/%s", Queue.c_str());
    ipp_t* Req = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(Req, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, Uri);
    static const char* const kWanted[] = {
        "media-col-default", "printer-resolution-default", "media-source-supported",
        "media-type-supported", "printer-name"};
    ippAddStrings(Req, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(std::size(kWanted)), nullptr, kWanted);
    ipp_t* Resp = cupsDoRequest(CUPS_HTTP_DEFAULT, Req, "/");
    if (Resp != nullptr && ippGetStatusCode(Resp) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(Resp);
        return nullptr;
    }
    return Resp;
}

bool CupsDestExists(std::string_view Name) {
    const std::string Queue = QueueOf(Name);
    cups_dest_t* D = cupsGetNamedDest(CUPS_HTTP_DEFAULT, Queue.c_str(), nullptr);
    if (D == nullptr) return false;
    cupsFreeDests(1, D);
    return true;
}

int32_t ParseResolution(const char* Text) {
    if (Text == nullptr) return 0;
    int X = 0, Y = 0;
    if (std::sscanf(Text, "%dx%d", &X, &Y) == 2) return X > 0 ? X : 0;
    if (std::sscanf(Text, "%d", &X) == 1) return X > 0 ? X : 0;
    return 0;
}

int32_t ToPixels(double Points, int32_t DPI) {
    const double V = std::nearbyint(Points * DPI / 72.0);
    if (!std::isfinite(V) || V < 1) return 1;
    return int32_t(std::min(V, 1.0e6));
}

}  // namespace

// ---------------------------------------------------------------------------
// Device mode

TDevMode::TDevMode() {
    Set16(oSpecVersion, 0x0401);
    Set16(oSize, int32_t(kSize));
    Set16(oDriverExtra, 0);
}

TDevMode TDevMode::ForPrinter(std::string_view Name, int32_t DPI, int32_t PaperSize) {
    TDevMode D;
    // The name as UTF-16, at most 31 units and a terminating zero.
    size_t Unit = 0;
    for (size_t I = 0; I < Name.size() && Unit < 31; ++I, ++Unit)
        D.Set16(oDeviceName + 2 * Unit, uint8_t(Name[I]));
    D.SetFields(DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PRINTQUALITY | DM_YRESOLUTION |
                DM_COLOR | DM_DUPLEX | DM_COLLATE);
    D.Set16(oOrientation, 1);
    D.Set16(oPaperSize, PaperSize);
    D.Set16(oScale, 100);
    D.Set16(oCopies, 1);
    D.Set16(oDefaultSource, 7);
    D.Set16(oPrintQuality, DPI);
    D.Set16(oColor, 2);
    D.Set16(oDuplex, 1);
    D.Set16(oYResolution, DPI);
    D.Set16(oCollate, 0);
    return D;
}

size_t TDevMode::TotalSize() const { return size_t(uint16_t(Get16(oSize))) + uint16_t(Get16(oDriverExtra)); }

std::string TDevMode::Bytes() const {
    return std::string(reinterpret_cast<const char*>(FBytes.data()), FBytes.size());
}

int16_t TDevMode::Get16(size_t Offset) const {
    if (Offset + 2 > kSize) return 0;
    return int16_t(FBytes[Offset] | (FBytes[Offset + 1] << 8));
}
void TDevMode::Set16(size_t Offset, int32_t Value) {
    if (Offset + 2 > kSize) return;
    FBytes[Offset] = uint8_t(Value);
    FBytes[Offset + 1] = uint8_t(uint32_t(Value) >> 8);
}
uint32_t TDevMode::Get32(size_t Offset) const {
    if (Offset + 4 > kSize) return 0;
    return uint32_t(FBytes[Offset]) | (uint32_t(FBytes[Offset + 1]) << 8) |
           (uint32_t(FBytes[Offset + 2]) << 16) | (uint32_t(FBytes[Offset + 3]) << 24);
}
void TDevMode::Set32(size_t Offset, uint32_t Value) {
    if (Offset + 4 > kSize) return;
    for (int I = 0; I < 4; ++I) FBytes[Offset + I] = uint8_t(Value >> (8 * I));
}
std::string TDevMode::DeviceName() const {
    std::u16string N;
    for (size_t I = 0; I < 32; ++I) {
        const char16_t C = char16_t(uint16_t(Get16(oDeviceName + 2 * I)));
        if (C == 0) break;
        N += C;
    }
    return Utf16ToUtf8(N);
}

// ---------------------------------------------------------------------------
// Printers

void RegisterLocalPrinter(const TLocalPrinterInfo& Info) {
    std::lock_guard<std::mutex> G(LocalMutex());
    auto& L = LocalPrinters();
    for (TLocalPrinterInfo& P : L)
        if (P.Name == Info.Name) {
            P = Info;
            return;
        }
    L.push_back(Info);
}

void UnregisterLocalPrinter(std::string_view Name) {
    std::lock_guard<std::mutex> G(LocalMutex());
    auto& L = LocalPrinters();
    L.erase(std::remove_if(L.begin(), L.end(),
                           [&](const TLocalPrinterInfo& P) { return P.Name == Name; }),
            L.end());
}

std::vector<std::string> ListPrinters() {
    std::vector<std::string> R;
    {
        std::lock_guard<std::mutex> G(LocalMutex());
        for (const TLocalPrinterInfo& P : LocalPrinters()) R.push_back(P.Name);
    }
    cups_dest_t* Dests = nullptr;
    const int N = cupsGetDests2(CUPS_HTTP_DEFAULT, &Dests);
    for (int I = 0; I < N; ++I) {
        std::string Name = Dests[I].name ? Dests[I].name : "";
        if (Dests[I].instance) Name += std::string("/") + Dests[I].instance;
        if (!Name.empty()) R.push_back(Name);
    }
    cupsFreeDests(N, Dests);
    return R;
}

std::string DefaultPrinterName() {
    cups_dest_t* Dests = nullptr;
    const int N = cupsGetDests2(CUPS_HTTP_DEFAULT, &Dests);
    std::string R;
    if (cups_dest_t* D = cupsGetDest(nullptr, nullptr, N, Dests)) {
        R = D->name ? D->name : "";
        if (D->instance) R += std::string("/") + D->instance;
    }
    cupsFreeDests(N, Dests);
    return R;
}

bool PrinterExists(std::string_view Name) {
    if (Name.empty()) return false;
    TLocalPrinterInfo L;
    if (FindLocal(Name, L)) return true;
    return CupsDestExists(Name);
}

bool GetPrinterCaps(std::string_view Name, const TDevMode* DevMode, TPrinterCaps& Caps) {
    Caps = TPrinterCaps();
    if (Name.empty()) return false;
    uint32_t Fields = DevMode ? DevMode->Fields() : 0;
    TLocalPrinterInfo Local;
    if (FindLocal(Name, Local)) {
        Caps = Local.Caps;
    } else {
        if (!CupsDestExists(Name)) return false;
        double W = 612, H = 792, Left = 0, Bottom = 0, Right = 612, Top = 792;
        int32_t DPI = 0;
        bool Sized = false;
        if (auto P = OpenPPD(Name)) {
            const char* SizeName = nullptr;
            if (Fields & DM_PAPERSIZE) {
                if (const TPaper* Pp = PaperByCode(DevMode->Get16(TDevMode::oPaperSize)))
                    SizeName = Pp->Keyword;
            }
            ppd_size_t* S = SizeName ? ppdPageSize(P->File, SizeName) : nullptr;
            if (S == nullptr) S = ppdPageSize(P->File, nullptr);
            if (S != nullptr && S->width > 0 && S->length > 0) {
                W = S->width;
                H = S->length;
                Left = S->left;
                Bottom = S->bottom;
                Right = S->right > S->left ? S->right : W;
                Top = S->top > S->bottom ? S->top : H;
                Sized = true;
            }
            if (ppd_choice_t* C = ppdFindMarkedChoice(P->File, "Resolution"))
                DPI = ParseResolution(C->choice);
            if (DPI == 0)
                if (ppd_attr_t* A = ppdFindAttr(P->File, "DefaultResolution", nullptr))
                    DPI = ParseResolution(A->value);
        } else if (ipp_t* Resp = PrinterAttributes(Name)) {
            if (ipp_attribute_t* A = ippFindAttribute(Resp, "media-col-default",
                                                      IPP_TAG_BEGIN_COLLECTION)) {
                ipp_t* Col = ippGetCollection(A, 0);
                ipp_attribute_t* SizeA =
                    ippFindAttribute(Col, "media-size", IPP_TAG_BEGIN_COLLECTION);
                ipp_t* Size = SizeA ? ippGetCollection(SizeA, 0) : nullptr;
                ipp_attribute_t* X = Size ? ippFindAttribute(Size, "x-dimension", IPP_TAG_INTEGER)
                                          : nullptr;
                ipp_attribute_t* Y = Size ? ippFindAttribute(Size, "y-dimension", IPP_TAG_INTEGER)
                                          : nullptr;
                if (X && Y && ippGetInteger(X, 0) > 0 && ippGetInteger(Y, 0) > 0) {
                    // Hundredths of a millimetre.
                    W = ippGetInteger(X, 0) * 72.0 / 2540.0;
                    H = ippGetInteger(Y, 0) * 72.0 / 2540.0;
                    auto Margin = [&](const char* Key) {
                        ipp_attribute_t* M = ippFindAttribute(Col, Key, IPP_TAG_INTEGER);
                        const int V = M ? ippGetInteger(M, 0) : 0;
                        return V > 0 ? V * 72.0 / 2540.0 : 0.0;
                    };
                    Left = Margin("media-left-margin");
                    Right = W - Margin("media-right-margin");
                    Bottom = Margin("media-bottom-margin");
                    Top = H - Margin("media-top-margin");
                    Sized = true;
                }
            }
            if (ipp_attribute_t* R = ippFindAttribute(Resp, "printer-resolution-default",
                                                      IPP_TAG_RESOLUTION)) {
                int YRes = 0;
                ipp_res_t Units = IPP_RES_PER_INCH;
                int XRes = ippGetResolution(R, 0, &YRes, &Units);
                if (Units == IPP_RES_PER_CM) XRes = int(std::lround(XRes * 2.54));
                if (XRes > 0) DPI = XRes;
            }
            ippDelete(Resp);
        }
        if (!Sized || Right <= Left || Top <= Bottom) {
            W = 612;
            H = 792;
            Left = Bottom = 0;
            Right = W;
            Top = H;
        }
        if (DPI <= 0 || DPI > 4800) DPI = 600;
        Caps.DPIX = Caps.DPIY = DPI;
        Caps.PhysicalWidth = ToPixels(W, DPI);
        Caps.PhysicalHeight = ToPixels(H, DPI);
        Caps.OffsetX = Left > 0 ? ToPixels(Left, DPI) : 0;
        Caps.OffsetY = H - Top > 0 ? ToPixels(H - Top, DPI) : 0;
        Caps.HorzRes = std::max(1, ToPixels(Right - Left, DPI));
        Caps.VertRes = std::max(1, ToPixels(Top - Bottom, DPI));
    }
    if (DevMode != nullptr) {
        // A print quality given as dots per inch sets the resolution.
        const int16_t Q = DevMode->Get16(TDevMode::oPrintQuality);
        if ((Fields & DM_PRINTQUALITY) && Q >= 72 && Q <= 4800 && Q != Caps.DPIX) {
            const double Sx = double(Q) / Caps.DPIX;
            int16_t QY = Q;
            if ((Fields & DM_YRESOLUTION) && DevMode->Get16(TDevMode::oYResolution) >= 72)
                QY = DevMode->Get16(TDevMode::oYResolution);
            const double Sy = double(QY) / Caps.DPIY;
            Caps.DPIX = Q;
            Caps.DPIY = QY;
            Caps.PhysicalWidth = int32_t(std::lround(Caps.PhysicalWidth * Sx));
            Caps.HorzRes = int32_t(std::lround(Caps.HorzRes * Sx));
            Caps.OffsetX = int32_t(std::lround(Caps.OffsetX * Sx));
            Caps.PhysicalHeight = int32_t(std::lround(Caps.PhysicalHeight * Sy));
            Caps.VertRes = int32_t(std::lround(Caps.VertRes * Sy));
            Caps.OffsetY = int32_t(std::lround(Caps.OffsetY * Sy));
        }
        if ((Fields & DM_ORIENTATION) && DevMode->Get16(TDevMode::oOrientation) == 2) {
            std::swap(Caps.DPIX, Caps.DPIY);
            std::swap(Caps.PhysicalWidth, Caps.PhysicalHeight);
            std::swap(Caps.HorzRes, Caps.VertRes);
            std::swap(Caps.OffsetX, Caps.OffsetY);
        }
    }
    return true;
}

namespace {

std::vector<TPrinterChoice> PrinterChoices(std::string_view Name, const char* PPDOption,
                                           const char* IPPAttribute, bool Bins) {
    TLocalPrinterInfo Local;
    if (FindLocal(Name, Local)) return Bins ? Local.Bins : Local.MediaTypes;
    if (!CupsDestExists(Name)) return {};
    std::vector<std::pair<std::string, std::string>> Items;
    if (auto P = OpenPPD(Name)) {
        if (ppd_option_t* O = ppdFindOption(P->File, PPDOption))
            for (int I = 0; I < O->num_choices; ++I)
                Items.emplace_back(O->choices[I].choice, O->choices[I].text);
    } else if (ipp_t* Resp = PrinterAttributes(Name)) {
        if (ipp_attribute_t* A = ippFindAttribute(Resp, IPPAttribute, IPP_TAG_ZERO))
            for (int I = 0; I < ippGetCount(A); ++I)
                if (const char* S = ippGetString(A, I, nullptr)) Items.emplace_back(S, S);
        ippDelete(Resp);
    }
    return Bins ? Coded(Items, kBinNames) : Coded(Items, kMediaTypeNames);
}

}  // namespace

std::vector<TPrinterChoice> GetPrinterBins(std::string_view Name) {
    return PrinterChoices(Name, "InputSlot", "media-source-supported", true);
}

std::vector<TPrinterChoice> GetPrinterMediaTypes(std::string_view Name) {
    return PrinterChoices(Name, "MediaType", "media-type-supported", false);
}

std::vector<std::pair<std::string, std::string>> DevModeJobOptions(std::string_view Printer,
                                                                   const TDevMode& DM) {
    std::vector<std::pair<std::string, std::string>> R;
    const uint32_t F = DM.Fields();
    auto Num = [](double V) {
        char B[32];
        std::snprintf(B, sizeof(B), "%.1f", V);
        std::string S = B;
        if (S.size() > 2 && S.compare(S.size() - 2, 2, ".0") == 0) S.resize(S.size() - 2);
        return S;
    };
    const int16_t Length = DM.Get16(TDevMode::oPaperLength), Width = DM.Get16(TDevMode::oPaperWidth);
    if ((F & DM_PAPERLENGTH) && (F & DM_PAPERWIDTH) && Length > 0 && Width > 0) {
        // Tenths of a millimetre.
        R.emplace_back("media", "Custom." + Num(Width / 10.0) + "x" + Num(Length / 10.0) + "mm");
    } else if (F & DM_PAPERSIZE) {
        if (const TPaper* P = PaperByCode(DM.Get16(TDevMode::oPaperSize)))
            R.emplace_back("media", P->Media);
    }
    if ((F & DM_COPIES) && DM.Get16(TDevMode::oCopies) > 0)
        R.emplace_back("copies", std::to_string(DM.Get16(TDevMode::oCopies)));
    if (F & DM_DUPLEX) {
        switch (DM.Get16(TDevMode::oDuplex)) {
            case 1: R.emplace_back("sides", "one-sided"); break;
            case 2: R.emplace_back("sides", "two-sided-long-edge"); break;
            case 3: R.emplace_back("sides", "two-sided-short-edge"); break;
            default: break;
        }
    }
    if (F & DM_COLOR) {
        const int16_t C = DM.Get16(TDevMode::oColor);
        if (C == 1) R.emplace_back("print-color-mode", "monochrome");
        if (C == 2) R.emplace_back("print-color-mode", "color");
    }
    if (F & DM_PRINTQUALITY) {
        const int16_t Q = DM.Get16(TDevMode::oPrintQuality);
        if (Q > 0) {
            int16_t Y = Q;
            if ((F & DM_YRESOLUTION) && DM.Get16(TDevMode::oYResolution) > 0)
                Y = DM.Get16(TDevMode::oYResolution);
            R.emplace_back("printer-resolution", std::to_string(Q) + "x" + std::to_string(Y) + "dpi");
        } else if (Q >= -4 && Q <= -1) {
            // Draft, low, medium, high.
            static const char* const kQuality[] = {"5", "4", "4", "3"};
            R.emplace_back("print-quality", kQuality[Q + 4]);
        }
    }
    if (F & DM_COLLATE) R.emplace_back("collate", DM.Get16(TDevMode::oCollate) ? "true" : "false");
    if (F & DM_ORIENTATION) {
        const int16_t O = DM.Get16(TDevMode::oOrientation);
        if (O == 1) R.emplace_back("orientation-requested", "3");
        if (O == 2) R.emplace_back("orientation-requested", "4");
    }
    if (F & DM_DEFAULTSOURCE) {
        const int32_t Code = DM.Get16(TDevMode::oDefaultSource);
        for (const TPrinterChoice& C : GetPrinterBins(Printer))
            if (C.Code == Code) {
                R.emplace_back("InputSlot", C.Keyword);
                break;
            }
    }
    if (F & DM_MEDIATYPE) {
        const int32_t Code = int32_t(DM.Get32(TDevMode::oMediaType));
        for (const TPrinterChoice& C : GetPrinterMediaTypes(Printer))
            if (C.Code == Code) {
                R.emplace_back("MediaType", C.Keyword);
                break;
            }
    }
    return R;
}

// ---------------------------------------------------------------------------
// Jobs

namespace {

bool JobRequest(ipp_op_t Op, int32_t JobID) {
    char Uri[256];
    std::snprintf(Uri, sizeof(Uri), "ipp://localhost/jobs/%d", JobID);
    ipp_t* Req = ippNewRequest(Op);
    ippAddString(Req, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, Uri);
    ippAddString(Req, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ipp_t* Resp = cupsDoRequest(CUPS_HTTP_DEFAULT, Req, "/jobs/");
    const bool Ok = Resp != nullptr && ippGetStatusCode(Resp) <= IPP_STATUS_OK_EVENTS_COMPLETE;
    ippDelete(Resp);
    return Ok;
}

uint32_t StatusOfState(ipp_jstate_t State) {
    switch (State) {
        case IPP_JSTATE_HELD: return JOB_STATUS_PAUSED;
        case IPP_JSTATE_PROCESSING: return JOB_STATUS_PRINTING;
        case IPP_JSTATE_STOPPED: return JOB_STATUS_BLOCKED;
        case IPP_JSTATE_CANCELED: return JOB_STATUS_DELETED;
        case IPP_JSTATE_ABORTED: return JOB_STATUS_ERROR;
        case IPP_JSTATE_COMPLETED: return JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE;
        default: return 0;
    }
}

bool Unfinished(ipp_jstate_t S) {
    return S == IPP_JSTATE_PENDING || S == IPP_JSTATE_HELD || S == IPP_JSTATE_PROCESSING ||
           S == IPP_JSTATE_STOPPED;
}

}  // namespace

bool GetPrintJob(std::string_view Printer, int32_t JobID, TPrintJobInfo& Info) {
    Info = TPrintJobInfo();
    if (JobID <= 0 || !CupsDestExists(Printer)) return false;
    const std::string Queue = QueueOf(Printer);
    cups_job_t* Jobs = nullptr;
    const int N = cupsGetJobs2(CUPS_HTTP_DEFAULT, &Jobs, Queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
    bool Found = false;
    int32_t Position = 0;
    std::vector<int32_t> Open;
    for (int I = 0; I < N; ++I)
        if (Unfinished(Jobs[I].state)) Open.push_back(Jobs[I].id);
    std::sort(Open.begin(), Open.end());
    for (int I = 0; I < N; ++I) {
        if (Jobs[I].id != JobID) continue;
        Found = true;
        Info.JobID = JobID;
        Info.Priority = Jobs[I].priority;
        Info.CreationTime = int64_t(Jobs[I].creation_time);
        Info.Status = StatusOfState(Jobs[I].state);
        Info.DataType = Jobs[I].format ? Jobs[I].format : "";
        auto It = std::find(Open.begin(), Open.end(), JobID);
        if (It != Open.end()) Position = int32_t(It - Open.begin()) + 1;
        Info.Position = Position;
    }
    cupsFreeJobs(N, Jobs);
    if (!Found) return false;
    // Page counts come with the job's own attributes.
    char Uri[256];
    std::snprintf(Uri, sizeof(Uri), "ipp://localhost/jobs/%d", JobID);
    ipp_t* Req = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(Req, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, Uri);
    if (ipp_t* Resp = cupsDoRequest(CUPS_HTTP_DEFAULT, Req, "/")) {
        if (ipp_attribute_t* A = ippFindAttribute(Resp, "job-impressions", IPP_TAG_INTEGER))
            Info.TotalPages = ippGetInteger(A, 0);
        if (ipp_attribute_t* A =
                ippFindAttribute(Resp, "job-impressions-completed", IPP_TAG_INTEGER))
            Info.PagesPrinted = ippGetInteger(A, 0);
        ippDelete(Resp);
    }
    return true;
}

bool HoldPrintJob(std::string_view Printer, int32_t JobID) {
    return JobID > 0 && CupsDestExists(Printer) && JobRequest(IPP_OP_HOLD_JOB, JobID);
}

bool ReleasePrintJob(std::string_view Printer, int32_t JobID) {
    return JobID > 0 && CupsDestExists(Printer) && JobRequest(IPP_OP_RELEASE_JOB, JobID);
}

bool CancelPrintJob(std::string_view Printer, int32_t JobID) {
    if (JobID <= 0 || !CupsDestExists(Printer)) return false;
    const std::string Queue = QueueOf(Printer);
    return cupsCancelJob2(CUPS_HTTP_DEFAULT, Queue.c_str(), JobID, 0) <=
           IPP_STATUS_OK_EVENTS_COMPLETE;
}

// ---------------------------------------------------------------------------
// Printer device contexts

namespace {

struct TPrinterDevice {
    std::string Printer;
    bool Local = false;
    TDevMode DevMode;
    TPrinterCaps Caps;
    TBitmap Page;
    HDC Dc = nullptr;
    HBITMAP Attached = nullptr;
    bool InDoc = false, InPage = false;
    std::string Output;  // UTF-8 path; empty: spool
    std::string Title;
    int32_t Job = 0;
    std::string Pdf;
    cairo_surface_t* Surface = nullptr;
    std::vector<std::pair<std::string, std::string>> Options;

    ~TPrinterDevice() {
        if (Surface) cairo_surface_destroy(Surface);
        if (Dc) DeleteDC(Dc);
        if (Attached) DetachBitmapObject(Attached);
    }
};

std::mutex& DeviceMutex() {
    static std::mutex M;
    return M;
}
std::unordered_map<HDC, std::unique_ptr<TPrinterDevice>>& Devices() {
    static std::unordered_map<HDC, std::unique_ptr<TPrinterDevice>> D;
    return D;
}
TPrinterDevice* FindDevice(HDC Dc) {
    std::lock_guard<std::mutex> G(DeviceMutex());
    auto It = Devices().find(Dc);
    return It == Devices().end() ? nullptr : It->second.get();
}

cairo_status_t AppendPdf(void* Closure, const unsigned char* Data, unsigned int Length) {
    static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
    return CAIRO_STATUS_SUCCESS;
}

// The page raster is made when first drawn on, so that contexts used only
// for their capabilities hold no page.
bool EnsurePage(TPrinterDevice& D) {
    if (D.Attached != nullptr) return true;
    D.Page.SetSize(D.Caps.HorzRes, D.Caps.VertRes);
    for (int Y = 0; Y < D.Page.Height(); ++Y)
        std::memset(D.Page.ScanLine(Y), 0xFF, size_t(D.Page.Width()) * 3);
    D.Attached = AttachBitmapObject(D.Page);
    if (D.Attached == nullptr) return false;
    SelectObject(D.Dc, D.Attached);
    return true;
}

void ClearPage(TPrinterDevice& D) {
    for (int Y = 0; Y < D.Page.Height(); ++Y)
        std::memset(D.Page.ScanLine(Y), 0xFF, size_t(D.Page.Width()) * 3);
}

// Adds the page raster to the PDF document: bands of rows that hold any
// ink become images placed in device pixels (white bands are the paper).
void EmitPage(TPrinterDevice& D) {
    cairo_t* Cr = cairo_create(D.Surface);
    cairo_scale(Cr, 72.0 / D.Caps.DPIX, 72.0 / D.Caps.DPIY);
    cairo_translate(Cr, D.Caps.OffsetX, D.Caps.OffsetY);
    const int W = D.Page.Width(), H = D.Page.Height();
    constexpr int kBand = 256;
    for (int Y0 = 0; Y0 < H; Y0 += kBand) {
        const int BH = std::min(kBand, H - Y0);
        bool Ink = false;
        for (int Y = Y0; Y < Y0 + BH && !Ink; ++Y) {
            const uint8_t* Row = D.Page.ScanLine(Y);
            for (int X = 0; X < W * 3; ++X)
                if (Row[X] != 0xFF) {
                    Ink = true;
                    break;
                }
        }
        if (!Ink) continue;
        cairo_surface_t* Img = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W, BH);
        if (cairo_surface_status(Img) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(Img);
            continue;
        }
        cairo_surface_flush(Img);
        uint8_t* Dst = cairo_image_surface_get_data(Img);
        const int Stride = cairo_image_surface_get_stride(Img);
        for (int Y = 0; Y < BH; ++Y) {
            const uint8_t* Src = D.Page.ScanLine(Y0 + Y);
            uint32_t* Out = reinterpret_cast<uint32_t*>(Dst + size_t(Y) * Stride);
            for (int X = 0; X < W; ++X)
                Out[X] = 0xFF000000u | (uint32_t(Src[3 * X + 2]) << 16) |
                         (uint32_t(Src[3 * X + 1]) << 8) | Src[3 * X];
        }
        cairo_surface_mark_dirty(Img);
        cairo_set_source_surface(Cr, Img, 0, Y0);
        cairo_pattern_set_filter(cairo_get_source(Cr), CAIRO_FILTER_NEAREST);
        cairo_rectangle(Cr, 0, Y0, W, BH);
        cairo_fill(Cr);
        cairo_surface_destroy(Img);
    }
    cairo_destroy(Cr);
    cairo_surface_show_page(D.Surface);
}

void CloseSurface(TPrinterDevice& D) {
    if (D.Surface == nullptr) return;
    cairo_surface_finish(D.Surface);
    cairo_surface_destroy(D.Surface);
    D.Surface = nullptr;
}

bool SendJob(TPrinterDevice& D) {
    const std::string Queue = QueueOf(D.Printer);
    const std::string Doc = D.Title.empty() ? "Document" : D.Title;
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, Queue.c_str(), D.Job, Doc.c_str(), CUPS_FORMAT_PDF,
                          1) != HTTP_STATUS_CONTINUE)
        return false;
    size_t Pos = 0;
    bool Ok = true;
    while (Pos < D.Pdf.size() && Ok) {
        const size_t N = std::min<size_t>(65536, D.Pdf.size() - Pos);
        Ok = cupsWriteRequestData(CUPS_HTTP_DEFAULT, D.Pdf.data() + Pos, N) == HTTP_STATUS_CONTINUE;
        Pos += N;
    }
    const ipp_status_t S = cupsFinishDocument(CUPS_HTTP_DEFAULT, Queue.c_str());
    return Ok && S <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

}  // namespace

HDC CreatePrinterDC(std::string_view Printer, const TDevMode* DevMode) {
    auto D = std::make_unique<TPrinterDevice>();
    TLocalPrinterInfo Local;
    D->Local = FindLocal(Printer, Local);
    D->Printer = std::string(Printer);
    if (!GetPrinterCaps(Printer, DevMode, D->Caps)) return nullptr;
    D->DevMode = DevMode ? *DevMode : TDevMode::ForPrinter(Printer, D->Caps.DPIX, 1);
    if (int64_t(D->Caps.HorzRes) * D->Caps.VertRes > TBitmap::MaxPixels) return nullptr;
    D->Dc = CreateCompatibleDC(nullptr);
    if (D->Dc == nullptr) return nullptr;
    HDC Dc = D->Dc;
    std::lock_guard<std::mutex> G(DeviceMutex());
    Devices()[Dc] = std::move(D);
    return Dc;
}

BOOL DeletePrinterDC(HDC Dc) {
    if (TPrinterDevice* D = FindDevice(Dc))
        if (D->InDoc) AbortDoc(Dc);
    std::unique_ptr<TPrinterDevice> Gone;
    {
        std::lock_guard<std::mutex> G(DeviceMutex());
        auto It = Devices().find(Dc);
        if (It == Devices().end()) return 0;
        Gone = std::move(It->second);
        Devices().erase(It);
    }
    return 1;
}

bool IsPrinterDC(HDC Dc) { return FindDevice(Dc) != nullptr; }

int GetDeviceCaps(HDC Dc, int Index) {
    TPrinterDevice* D = FindDevice(Dc);
    if (D == nullptr) return 0;
    const TPrinterCaps& C = D->Caps;
    switch (Index) {
        case HORZSIZE: return int(std::lround(C.HorzRes * 25.4 / C.DPIX));
        case VERTSIZE: return int(std::lround(C.VertRes * 25.4 / C.DPIY));
        case HORZRES: return C.HorzRes;
        case VERTRES: return C.VertRes;
        case LOGPIXELSX: return C.DPIX;
        case LOGPIXELSY: return C.DPIY;
        case PHYSICALWIDTH: return C.PhysicalWidth;
        case PHYSICALHEIGHT: return C.PhysicalHeight;
        case PHYSICALOFFSETX: return C.OffsetX;
        case PHYSICALOFFSETY: return C.OffsetY;
        default: return 0;
    }
}

int ExtEscape(HDC Dc, int Escape, int InSize, const void* In, int OutSize, void* Out) {
    // Nothing beyond the support query is offered, and that answers "not
    // supported" for every escape, JPEG and PNG pass-through included.
    (void)Escape;
    (void)InSize;
    (void)In;
    (void)OutSize;
    (void)Out;
    return 0;
}

int StartDocW(HDC Dc, const DOCINFOW& Info) {
    TPrinterDevice* D = FindDevice(Dc);
    if (D == nullptr || D->InDoc || !EnsurePage(*D)) return 0;
    D->Output = Utf16ToUtf8(Info.Output);
    D->Title = Utf16ToUtf8(Info.DocName);
    D->Options = DevModeJobOptions(D->Printer, D->DevMode);
    D->Pdf.clear();
    D->Job = 0;
    if (D->Output.empty()) {
        if (D->Local) {
            D->Job = 0;
        } else {
            cups_option_t* Opts = nullptr;
            int N = 0;
            for (const auto& [K, V] : D->Options) N = cupsAddOption(K.c_str(), V.c_str(), N, &Opts);
            const std::string Queue = QueueOf(D->Printer);
            const std::string Title = D->Title.empty() ? "Document" : D->Title;
            D->Job = cupsCreateJob(CUPS_HTTP_DEFAULT, Queue.c_str(), Title.c_str(), N, Opts);
            cupsFreeOptions(N, Opts);
            if (D->Job <= 0) return 0;
        }
    }
    const double WPt = D->Caps.PhysicalWidth * 72.0 / D->Caps.DPIX;
    const double HPt = D->Caps.PhysicalHeight * 72.0 / D->Caps.DPIY;
    D->Surface = cairo_pdf_surface_create_for_stream(AppendPdf, &D->Pdf, WPt, HPt);
    if (cairo_surface_status(D->Surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(D->Surface);
        D->Surface = nullptr;
        if (D->Job > 0) cupsCancelJob2(CUPS_HTTP_DEFAULT, QueueOf(D->Printer).c_str(), D->Job, 0);
        return 0;
    }
    if (!D->Title.empty()) cairo_pdf_surface_set_metadata(D->Surface, CAIRO_PDF_METADATA_TITLE,
                                                          D->Title.c_str());
    D->InDoc = true;
    return D->Job > 0 ? D->Job : 1;
}

int StartPage(HDC Dc) {
    TPrinterDevice* D = FindDevice(Dc);
    if (D == nullptr || !D->InDoc || D->InPage || !EnsurePage(*D)) return 0;
    ClearPage(*D);
    D->InPage = true;
    return 1;
}

int EndPage(HDC Dc) {
    TPrinterDevice* D = FindDevice(Dc);
    if (D == nullptr || !D->InDoc || !D->InPage || !EnsurePage(*D)) return 0;
    EmitPage(*D);
    D->InPage = false;
    return 1;
}

int EndDoc(HDC Dc) {
    TPrinterDevice* D = FindDevice(Dc);
    if (D == nullptr || !D->InDoc) return 0;
    if (D->InPage) EndPage(Dc);
    CloseSurface(*D);
    D->InDoc = false;
    bool Ok = true;
    if (!D->Output.empty()) {
        std::ofstream F(D->Output, std::ios::binary | std::ios::trunc);
        F.write(D->Pdf.data(), std::streamsize(D->Pdf.size()));
        Ok = bool(F);
    } else if (D->Job > 0) {
        Ok = SendJob(*D);
        if (!Ok) cupsCancelJob2(CUPS_HTTP_DEFAULT, QueueOf(D->Printer).c_str(), D->Job, 0);
    }
    D->Pdf.clear();
    D->Pdf.shrink_to_fit();
    return Ok ? 1 : 0;
}

int AbortDoc(HDC Dc) {
    TPrinterDevice* D = FindDevice(Dc);
    if (D == nullptr || !D->InDoc) return 0;
    CloseSurface(*D);
    D->InDoc = D->InPage = false;
    D->Pdf.clear();
    if (D->Job > 0) cupsCancelJob2(CUPS_HTTP_DEFAULT, QueueOf(D->Printer).c_str(), D->Job, 0);
    return 1;
}

TBitmap* PrinterDCPage(HDC Dc) {
    TPrinterDevice* D = FindDevice(Dc);
    return D && EnsurePage(*D) ? &D->Page : nullptr;
}

std::vector<std::pair<std::string, std::string>> PrinterDCJobOptions(HDC Dc) {
    TPrinterDevice* D = FindDevice(Dc);
    return D ? D->Options : std::vector<std::pair<std::string, std::string>>{};
}

}  // namespace velmo
