// Printing: the print job on a platform printer object (or on a preview
// bitmap in its place), custom printer settings applied to a printer's
// device mode, and the helpers of the library interface: printer lists,
// paper bins and media types, device-mode bytes, print-job status and
// control, the default printer, and the copy of renderer-library bands onto
// the paper.
//
// Every job enters a process-wide list under its lock and leaves it on
// destruction; the abort procedure searches the list under the same lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/Bitmap.h"
#include "platform/print/Printer.h"
#include "render/Renderer.h"

namespace velmo {

class TVPLPrinterJob : public TVPLPrinter {
public:
    // Printer null makes every operation a no-op. UseLocal prints on a
    // device context of the job's own (needed for a file name, a job id and
    // a paused start).
    TVPLPrinterJob(TPrinter* Printer, const std::u16string& FileName, bool UseLocal);
    ~TVPLPrinterJob() override;
    TVPLPrinterJob(const TVPLPrinterJob&) = delete;
    TVPLPrinterJob& operator=(const TVPLPrinterJob&) = delete;

    void BeginDoc();
    void NewPage() override;
    void EndDoc();

    TCanvas* Canvas() override;
    HDC Handle() override;
    int32_t GetDPI() override;
    int32_t PageWidth() override;
    int32_t PageHeight() override;
    int32_t FullPageWidth() override;
    int32_t FullPageHeight() override;
    int32_t PrintOffsetX() override;
    int32_t PrintOffsetY() override;
    bool HasPreview() override { return FPreviewBitmap != nullptr; }
    bool Printing();
    bool Aborted();

    std::u16string Title() const;
    void SetTitle(const std::u16string& Value);
    void SetStartPaused(bool StartPaused) { FStartPaused = StartPaused; }
    // A preview bitmap whose larger side is MaxDimension takes the place of
    // the paper.
    void SetupPreview(int32_t MaxDimension);
    // The preview as a BMP file; empty without one.
    std::string SavePreviewToString();
    double PreviewScale() const { return FPreviewScale; }
    int32_t PrinterJobID() const { return FPrinterJobID; }
    const std::string& PrinterName() const { return FPrinterName; }
    TBitmap* PreviewBitmap() const { return FPreviewBitmap.get(); }

private:
    int32_t Scaled(int32_t Value) const;

    TPrinter* FPrinter;
    HDC FLocalDC = nullptr;
    std::u16string FFileName;
    bool FUseLocal;
    int32_t FPrinterJobID = 0;
    std::string FPrinterName;
    bool FStartPaused = false;
    std::unique_ptr<TBitmap> FPreviewBitmap;
    double FPreviewScale = 1.0;
};

// Continue (true) unless the job printing on Dc reports aborted; false
// when no job prints on Dc.
bool PrinterAbortProc(HDC Dc, int32_t Code);

// Settings applied to a printer's device mode; -1 is unset.
class TPDFCustomPrinter {
public:
    explicit TPDFCustomPrinter(const std::u16string& OriginalPrinterName);
    // Stores an accepted value and forces its device-mode field; false for
    // an unknown setting or a value out of range.
    bool Setup(int32_t Setting, int32_t Value);
    // Copies DevModeString over the device mode when the lengths agree,
    // then writes every setting that is set.
    void SetPrinter(TPrinter& Printer, const std::string& DevModeString);
    const std::u16string& OriginalPrinterName() const { return FOriginalPrinterName; }

    uint32_t Fields = 0;
    int32_t PaperSize = -1, PaperLength = -1, PaperWidth = -1, Copies = -1, PrintQuality = -1,
            Color = -1, Duplex = -1, Collate = -1, DefaultSource = -1, MediaType = -1,
            Orientation = -1;

private:
    std::u16string FOriginalPrinterName;
};

// "code,\"name\"\r\n" for each paper bin or media type of the selected
// printer; empty without a device mode or a list.
std::string GetPrinterBinList(TPrinter& Printer);
std::string GetPrinterMediaTypeList(TPrinter& Printer);
// The selected printer's device-mode bytes; empty unless the record is the
// 220-byte kind.
std::string GetPrinterDevModeData(TPrinter& Printer);
// Appends every printer's name (UTF-8).
void ListPrinterNames(std::vector<std::string>& List);
std::u16string GetSystemDefaultPrinterName();
// Job queries (200-207, 300-314) and control (401 pause, 402 resume, 403
// delete); 0 for an unknown printer or job, or another command.
int32_t RequestPrintJobStatus(int32_t Command, int32_t JobID, const std::string& PrinterName);

bool PrinterAcceptsJPEG(HDC Dc);
bool PrinterAcceptsPNG(HDC Dc);
// Copies the band (Left, Top, Width, Height) of a bottom-up 24-bit buffer of
// BufferWidth × BufferHeight pixels (rows of 3 × BufferWidth bytes) onto Dc
// at (OriginX + Left, OriginY + Top). The band is cut to the buffer.
void PrintRendererBand(HDC Dc, const uint8_t* Buffer, int32_t BufferWidth, int32_t BufferHeight,
                       int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t OriginX,
                       int32_t OriginY, int32_t PrintMode);

}  // namespace velmo
