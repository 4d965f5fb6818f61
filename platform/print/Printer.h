// The platform printer object: a selected printer (device name and device
// mode), its job title, and a document printed through it on a printer
// device context (Print.h). One global object serves callers that do not
// make their own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/Canvas.h"
#include "platform/print/Print.h"

namespace velmo {

class TPrinter {
public:
    TPrinter();
    ~TPrinter();
    TPrinter(const TPrinter&) = delete;
    TPrinter& operator=(const TPrinter&) = delete;

    // The printers' names, read when first asked for and by Refresh.
    const std::vector<std::string>& Printers();
    void Refresh();
    // Index of the selected printer in Printers(), -1 when none is.
    int PrinterIndex();
    // Selects a printer by index (−1: the default printer) and gives it a
    // device mode with its defaults when it has none.
    void SetPrinterIndex(int Index);
    // Selects a device by name; Driver and Port are kept only. DevMode
    // null leaves the printer without a device mode until it is selected by
    // index.
    void SetPrinter(const std::string& Device, const std::string& Driver, const std::string& Port,
                    const TDevMode* DevMode);
    void GetPrinter(std::string& Device, std::string& Driver, std::string& Port);
    // The selected printer's device mode; null when it has none.
    TDevMode* DevMode() { return FDevMode.get(); }

    std::u16string Title;

    void BeginDoc();
    void NewPage();
    void EndDoc();
    void Abort();
    bool Printing() const { return FPrinting; }
    bool Aborted() const { return FAborted; }
    // The printer device context of the selected printer (made on demand,
    // remade when the selection changed); null without a known printer.
    HDC Handle();
    // The canvas drawing on Handle()'s page; null without one.
    TCanvas* Canvas();
    int PageWidth();
    int PageHeight();

private:
    void DropHandle();

    std::vector<std::string> FPrinters;
    bool FListed = false;
    std::string FDevice, FDriver, FPort;
    std::unique_ptr<TDevMode> FDevMode;
    HDC FHandle = nullptr;
    std::string FHandleDevice;
    std::string FHandleDevMode;
    bool FPrinting = false, FAborted = false;
};

// The process's printer object.
TPrinter& GlobalPrinter();

}  // namespace velmo
