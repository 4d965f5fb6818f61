#include "platform/print/Printer.h"

#include <algorithm>
#include <cctype>

#include "platform/gdi/Bitmap.h"

namespace velmo {

namespace {
bool SameName(const std::string& A, const std::string& B) {
    return A.size() == B.size() &&
           std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
               return std::tolower(uint8_t(X)) == std::tolower(uint8_t(Y));
           });
}
}  // namespace

TPrinter::TPrinter() = default;

TPrinter::~TPrinter() {
    if (FPrinting) Abort();
    DropHandle();
}

const std::vector<std::string>& TPrinter::Printers() {
    if (!FListed) Refresh();
    return FPrinters;
}

void TPrinter::Refresh() {
    FPrinters = ListPrinters();
    FListed = true;
}

int TPrinter::PrinterIndex() {
    if (FDevice.empty()) return -1;
    // A printer added since the list was read is found by reading it again.
    for (int Pass = 0; Pass < 2; ++Pass) {
        const auto& L = Printers();
        for (size_t I = 0; I < L.size(); ++I)
            if (SameName(L[I], FDevice)) return int(I);
        if (Pass == 0) Refresh();
    }
    return -1;
}

void TPrinter::SetPrinterIndex(int Index) {
    const auto& L = Printers();
    std::string Name;
    if (Index >= 0 && size_t(Index) < L.size())
        Name = L[size_t(Index)];
    else if (Index == -1)
        Name = DefaultPrinterName();
    if (Name.empty()) return;
    if (!SameName(Name, FDevice) || !FDevMode) {
        TPrinterCaps Caps;
        GetPrinterCaps(Name, nullptr, Caps);
        FDevMode = std::make_unique<TDevMode>(TDevMode::ForPrinter(Name, Caps.DPIX, 1));
    }
    FDevice = Name;
}

void TPrinter::SetPrinter(const std::string& Device, const std::string& Driver,
                          const std::string& Port, const TDevMode* DevMode) {
    if (!SameName(Device, FDevice)) FDevMode.reset();
    FDevice = Device;
    FDriver = Driver;
    FPort = Port;
    if (DevMode) FDevMode = std::make_unique<TDevMode>(*DevMode);
}

void TPrinter::GetPrinter(std::string& Device, std::string& Driver, std::string& Port) {
    Device = FDevice;
    Driver = FDriver;
    Port = FPort;
}

void TPrinter::DropHandle() {
    if (FHandle) DeletePrinterDC(FHandle);
    FHandle = nullptr;
}

HDC TPrinter::Handle() {
    if (FDevice.empty()) return nullptr;
    const std::string Mode = FDevMode ? FDevMode->Bytes() : std::string();
    if (FHandle && !FPrinting && (FHandleDevice != FDevice || FHandleDevMode != Mode)) DropHandle();
    if (FHandle == nullptr) {
        FHandle = CreatePrinterDC(FDevice, FDevMode.get());
        FHandleDevice = FDevice;
        FHandleDevMode = Mode;
    }
    return FHandle;
}

TCanvas* TPrinter::Canvas() {
    TBitmap* Page = PrinterDCPage(Handle());
    return Page ? &Page->Canvas() : nullptr;
}

int TPrinter::PageWidth() { return GetDeviceCaps(Handle(), HORZRES); }
int TPrinter::PageHeight() { return GetDeviceCaps(Handle(), VERTRES); }

void TPrinter::BeginDoc() {
    if (FPrinting) return;
    HDC Dc = Handle();
    FAborted = false;
    if (Dc == nullptr) return;
    DOCINFOW Info;
    Info.DocName = Title;
    if (StartDocW(Dc, Info) <= 0) return;
    FPrinting = true;
    StartPage(Dc);
}

void TPrinter::NewPage() {
    if (!FPrinting) return;
    EndPage(FHandle);
    StartPage(FHandle);
}

void TPrinter::EndDoc() {
    if (!FPrinting) return;
    EndPage(FHandle);
    if (!FAborted) velmo::EndDoc(FHandle);
    FPrinting = false;
}

void TPrinter::Abort() {
    if (!FPrinting) return;
    AbortDoc(FHandle);
    FAborted = true;
    FPrinting = false;
}

TPrinter& GlobalPrinter() {
    static TPrinter P;
    return P;
}

}  // namespace velmo
