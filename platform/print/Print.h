// Printers, printer device contexts and print jobs over CUPS.
//
// Printers are the CUPS destinations of the server the client library is
// pointed at (CUPS_SERVER), plus printers registered inside the program
// (tests register them; their jobs go only to files). A printer device
// context is a device context (DC.h) drawing into a page raster at the
// printer's resolution; each page bracket becomes one page of a PDF document
// (a cairo PDF surface in device pixels), which the end of the document sends
// as one application/pdf job or writes to the document's output file.
//
// Device capabilities come from the queue's PPD (PageSize, ImageableArea,
// Resolution), else from its IPP defaults (media-col-default,
// printer-resolution-default); what neither gives is 600 DPI, US Letter,
// no margins.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi/DC.h"

namespace velmo {

// ---- Device mode ----------------------------------------------------------

// Field flags of the device mode.
constexpr uint32_t DM_ORIENTATION = 0x1;
constexpr uint32_t DM_PAPERSIZE = 0x2;
constexpr uint32_t DM_PAPERLENGTH = 0x4;
constexpr uint32_t DM_PAPERWIDTH = 0x8;
constexpr uint32_t DM_COPIES = 0x100;
constexpr uint32_t DM_DEFAULTSOURCE = 0x200;
constexpr uint32_t DM_PRINTQUALITY = 0x400;
constexpr uint32_t DM_COLOR = 0x800;
constexpr uint32_t DM_DUPLEX = 0x1000;
constexpr uint32_t DM_YRESOLUTION = 0x2000;
constexpr uint32_t DM_COLLATE = 0x8000;
constexpr uint32_t DM_MEDIATYPE = 0x8000000;

// The 220-byte device mode record of the wide-character layout, kept as its
// bytes (little-endian fields at their offsets) so that callers can copy
// whole records in and out.
class TDevMode {
public:
    static constexpr size_t kSize = 220;
    // Offsets of the fields used here.
    static constexpr size_t oDeviceName = 0, oSpecVersion = 64, oSize = 68, oDriverExtra = 70,
                            oFields = 72, oOrientation = 76, oPaperSize = 78,
                            oPaperLength = 80, oPaperWidth = 82, oScale = 84, oCopies = 86,
                            oDefaultSource = 88, oPrintQuality = 90, oColor = 92, oDuplex = 94,
                            oYResolution = 96, oCollate = 100, oFormName = 102,
                            oMediaType = 196;

    TDevMode();
    // A record for a printer: its name and the defaults of its capabilities.
    static TDevMode ForPrinter(std::string_view Name, int32_t DPI, int32_t PaperSize);

    uint8_t* Data() { return FBytes.data(); }
    const uint8_t* Data() const { return FBytes.data(); }
    // dmSize + dmDriverExtra: the bytes that a whole-record copy covers.
    size_t TotalSize() const;
    std::string Bytes() const;

    int16_t Get16(size_t Offset) const;
    void Set16(size_t Offset, int32_t Value);
    uint32_t Get32(size_t Offset) const;
    void Set32(size_t Offset, uint32_t Value);
    uint32_t Fields() const { return Get32(oFields); }
    void SetFields(uint32_t Value) { Set32(oFields, Value); }
    std::string DeviceName() const;  // UTF-8

private:
    std::array<uint8_t, kSize> FBytes{};
};

// ---- Printers -------------------------------------------------------------

// Page metrics of a printer in device pixels.
struct TPrinterCaps {
    int32_t DPIX = 600, DPIY = 600;
    int32_t PhysicalWidth = 5100, PhysicalHeight = 6600;  // the paper
    int32_t OffsetX = 0, OffsetY = 0;                     // printable area's corner
    int32_t HorzRes = 5100, VertRes = 6600;               // printable area
};

// A paper bin or media type: its code (standard codes for the common names,
// 256 + index for the others), the option's choice keyword and its text.
struct TPrinterChoice {
    int32_t Code = 0;
    std::string Keyword;
    std::string Text;
};

// A printer inside the program: listed with the others, printed only to
// files (a job without an output file is dropped).
struct TLocalPrinterInfo {
    std::string Name;
    TPrinterCaps Caps;
    std::vector<TPrinterChoice> Bins, MediaTypes;
};
void RegisterLocalPrinter(const TLocalPrinterInfo& Info);
void UnregisterLocalPrinter(std::string_view Name);

// Names (UTF-8) of every printer: the program's, then the server's
// destinations (name, or name/instance).
std::vector<std::string> ListPrinters();
// The default destination's name; empty when there is none.
std::string DefaultPrinterName();
bool PrinterExists(std::string_view Name);

// Capabilities of a printer under a device mode (paper size, orientation
// and resolution taken from it when its flags say so); false for an unknown
// printer.
bool GetPrinterCaps(std::string_view Name, const TDevMode* DevMode, TPrinterCaps& Caps);
// Paper bins (PPD InputSlot or media-source-supported) and media types (PPD
// MediaType or media-type-supported).
std::vector<TPrinterChoice> GetPrinterBins(std::string_view Name);
std::vector<TPrinterChoice> GetPrinterMediaTypes(std::string_view Name);
// The job options that a device mode asks for: media, copies, sides,
// print-color-mode, printer-resolution, collate, orientation-requested,
// InputSlot, MediaType.
std::vector<std::pair<std::string, std::string>> DevModeJobOptions(std::string_view Printer,
                                                                   const TDevMode& DevMode);

// ---- Jobs -----------------------------------------------------------------

// Status bits of a job.
constexpr uint32_t JOB_STATUS_PAUSED = 0x1, JOB_STATUS_ERROR = 0x2, JOB_STATUS_DELETING = 0x4,
                   JOB_STATUS_SPOOLING = 0x8, JOB_STATUS_PRINTING = 0x10,
                   JOB_STATUS_PRINTED = 0x80, JOB_STATUS_DELETED = 0x100,
                   JOB_STATUS_BLOCKED = 0x200, JOB_STATUS_COMPLETE = 0x1000;

struct TPrintJobInfo {
    int32_t JobID = 0;
    int32_t Priority = 0;
    int32_t Position = 0;  // 1-based among the queue's unfinished jobs; 0 when finished
    int32_t TotalPages = 0;
    int32_t PagesPrinted = 0;
    int64_t CreationTime = 0;  // seconds since the epoch (UTC)
    uint32_t Status = 0;
    std::string DataType;  // document format
};
// False when the printer or the job is unknown.
bool GetPrintJob(std::string_view Printer, int32_t JobID, TPrintJobInfo& Info);
bool HoldPrintJob(std::string_view Printer, int32_t JobID);
bool ReleasePrintJob(std::string_view Printer, int32_t JobID);
bool CancelPrintJob(std::string_view Printer, int32_t JobID);

// ---- Printer device contexts ------------------------------------------------

constexpr int HORZSIZE = 4, VERTSIZE = 6, HORZRES = 8, VERTRES = 10, LOGPIXELSX = 88,
              LOGPIXELSY = 90, PHYSICALWIDTH = 110, PHYSICALHEIGHT = 111,
              PHYSICALOFFSETX = 112, PHYSICALOFFSETY = 113;
constexpr int QUERYESCSUPPORT = 8, CHECKJPEGFORMAT = 4119, CHECKPNGFORMAT = 4120;

// A printer device context (null for an unknown printer); DevMode null
// takes the printer's defaults. Information contexts are the same kind
// (they simply never start a document). Its page raster is made when a
// document starts or the page is first asked for (PrinterDCPage); until
// then drawing on the context reaches no page.
HDC CreatePrinterDC(std::string_view Printer, const TDevMode* DevMode);
// Ends an open document first (as an abort) and frees the context.
BOOL DeletePrinterDC(HDC Dc);
bool IsPrinterDC(HDC Dc);
int GetDeviceCaps(HDC Dc, int Index);
// Escapes: only QUERYESCSUPPORT is known, and it supports nothing (JPEG and
// PNG pass-through are not offered).
int ExtEscape(HDC Dc, int Escape, int InSize, const void* In, int OutSize, void* Out);

struct DOCINFOW {
    std::u16string DocName;
    std::u16string Output;  // file to write instead of spooling; empty for none
};
// Starts a document: for a spooled document the job is created now (its id
// is returned, so it can be held before any page is sent); a document written
// to a file returns 1. 0 or less on failure.
int StartDocW(HDC Dc, const DOCINFOW& Info);
// Page brackets: StartPage clears the page raster to white, EndPage adds it
// to the document. Results > 0 on success.
int StartPage(HDC Dc);
int EndPage(HDC Dc);
// Sends or writes the document.
int EndDoc(HDC Dc);
// Drops the document and cancels its job.
int AbortDoc(HDC Dc);
// The raster of the current page (null outside a printer context).
TBitmap* PrinterDCPage(HDC Dc);
// The options the job was sent with (tests read them).
std::vector<std::pair<std::string, std::string>> PrinterDCJobOptions(HDC Dc);

}  // namespace velmo
