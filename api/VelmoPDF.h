// The engine's one public class. It owns the open documents (one of them
// selected), names every engine object it hands out by a plain integer ID,
// converts the caller's units and origin to points, and records the code of
// the last failure. Results are 1 for success and 0 for failure unless a
// method says otherwise; indexes and page numbers are 1-based.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Objects.h"
#include "core/StringList.h"
#include "document/Document.h"
#include "document/PageServices.h"
#include "render/Printing.h"

namespace velmo {

class TPDFImageBase;
class TPDFImage;
class TPDFPainter;
class TPDFImageList;
class TStream;

// What an ID names. Look-ups compare the kind recorded with the slot, so an
// ID of one kind never reaches code that expects another.
enum class TVPLIDKind : uint8_t {
    idNone,
    idDocument,
    idFont,
    idImage,
    idCapturedPage,
    idStringList,
    idImageList,
    idTextBlocks,
};

// One entry of the object-ID table. Slots are never reused; when the object
// dies its slot is emptied, so an ID handed out earlier resolves to nothing
// and a new object (even at the same address) gets a new slot.
struct TVPLIDSlot {
    void* Obj = nullptr;
    TVPLIDKind Kind = TVPLIDKind::idNone;
    TPDFDocument* Owner = nullptr;  // the document that owns the object, if any
};

// Where FitImage draws: the painter call (0 upright, else a rotated draw at
// Angle degrees about Left, Bottom) and its box in points.
struct TVPLImagePlacement {
    bool Rotated = false;
    double Left = 0, TopOrBottom = 0, Width = 0, Height = 0, Angle = 0;
};

// Placement of a W x H pixel image (resolutions HDPI, VDPI) fitted into the
// box L, T, BoxW, BoxH (points, Y up) by FitImage's alignment and rotation.
// False for an alignment outside 0..2, a rotation outside 0..3 or an empty
// image.
bool FitImagePlacement(int32_t W, int32_t H, int32_t HDPI, int32_t VDPI, double L, double T,
                       double BoxW, double BoxH, int32_t HAlign, int32_t VAlign, int32_t Rotate,
                       TVPLImagePlacement& Out);

// Paper size by name (upper-case, optional "LANDSCAPE"), in points; False
// when the name is not known.
bool PaperSizeByName(const std::u16string& PaperName, double& Width, double& Height);

class TVelmoPDF {
public:
    static constexpr int32_t IDBase = 0x58000000;
    static constexpr int32_t IDIndexMask = 0x07FFFFFF;

    TVelmoPDF();
    ~TVelmoPDF();
    TVelmoPDF(const TVelmoPDF&) = delete;
    TVelmoPDF& operator=(const TVelmoPDF&) = delete;

    // ---- Core ----
    int32_t LastErrorCode();
    std::u16string LibraryVersion();
    std::u16string LibraryVersionEx();
    int32_t DocumentCount();
    int32_t GetDocumentID(int32_t Index);
    int32_t SelectedDocument();
    int32_t SetMeasurementUnits(int32_t MeasurementUnits);
    int32_t SetScale(double NewScale);
    int32_t MultiplyScale(double MultScaleBy);
    int32_t SetOrigin(int32_t Origin);
    int32_t GetOrigin();
    int32_t SetPrecision(int32_t NewPrecision);
    int32_t SetDecodeMode(int32_t NewDecodeMode);
    int32_t SetTempPath(const std::u16string& NewPath);
    std::u16string GetTempPath();
    int32_t TestTempPath();
    int32_t SetTempFile(const std::u16string& FileName);
    int32_t GetObjectCount();
    int32_t GetMaxObjectNumber();
    std::string GetObjectToString(int32_t ObjectNumber);
    int32_t SetObjectFromString(int32_t ObjectNumber, const std::string& Source);
    int32_t CreateNewObject();
    int32_t CheckObjects();
    int32_t GetObjectDecodeError(int32_t ObjectNumber);
    int32_t GetStringListCount(int32_t StringListID);
    std::u16string GetStringListItem(int32_t StringListID, int32_t ItemIndex);
    int32_t ReleaseStringList(int32_t StringListID);

    // ---- Documents ----
    int32_t NewDocument();
    int32_t LoadFromFile(const std::u16string& FileName, const std::u16string& Password);
    int32_t LoadFromStream(TStream& InStream, const std::u16string& Password);
    int32_t LoadFromString(const std::string& Source, const std::u16string& Password);
    int32_t SaveToFile(const std::u16string& FileName);
    std::string SaveToString();
    int32_t SaveToStream(TStream& OutStream);
    int32_t AppendToFile(const std::u16string& FileName);
    int32_t SetAppendInputFromString(const std::string& Source);
    std::string AppendToString(int32_t AppendMode);
    int32_t SelectDocument(int32_t DocumentID);
    int32_t RemoveDocument(int32_t DocumentID);
    int32_t MergeDocument(int32_t DocumentID);
    int32_t ExtractPages(int32_t StartPage, int32_t PageCount);
    int32_t ExtractPageRanges(const std::u16string& RangeList);

    // ---- Pages ----
    int32_t PageCount();
    int32_t SelectedPage();
    int32_t SelectPage(int32_t PageNumber);
    int32_t NewPage();
    int32_t NewPages(int32_t PageCount);
    int32_t InsertPages(int32_t StartPage, int32_t PageCount);
    int32_t ClonePages(int32_t StartPage, int32_t EndPage, int32_t RepeatCount);
    int32_t DeletePages(int32_t StartPage, int32_t PageCount);
    int32_t MovePage(int32_t NewPosition);
    int32_t HidePage();
    double PageWidth();
    double PageHeight();
    int32_t SetPageDimensions(double NewPageWidth, double NewPageHeight);
    int32_t SetPageSize(const std::u16string& PaperName);
    double GetPageUserUnit();
    int32_t SetPageUserUnit(double UserUnit);
    int32_t RotatePage(int32_t PageRotation);
    int32_t PageRotation();
    int32_t SetCropBox(double Left, double Top, double Width, double Height);
    double GetPageBox(int32_t BoxType, int32_t Dimension);
    int32_t HasPageBox(int32_t BoxType);
    int32_t SetPageBox(int32_t BoxType, double Left, double Top, double Width, double Height);
    int32_t RemovePageBox(int32_t BoxType);
    int32_t SetPageThumbnail();
    int32_t SetPageTransparencyGroup(int32_t CS, int32_t Isolate, int32_t Knockout);
    std::u16string GetPageColorSpaces(int32_t Options);
    int32_t BalancePageTree(int32_t Options);
    int32_t CopyPageRanges(int32_t DocumentID, const std::u16string& RangeList);
    int32_t CopyPageRangesEx(int32_t DocumentID, const std::u16string& RangeList, int32_t Options);
    int32_t CapturePage(int32_t Page);
    int32_t CapturePageEx(int32_t Page, int32_t Options);
    int32_t DrawCapturedPage(int32_t CaptureID, double Left, double Top, double Width,
                             double Height);
    int32_t DrawRotatedCapturedPage(int32_t CaptureID, double Left, double Bottom, double Width,
                                    double Height, double Angle);
    int32_t DrawCapturedPageMatrix(int32_t CaptureID, double M11, double M12, double M21,
                                   double M22, double MDX, double MDY);
    int32_t SetCapturedPageOptional(int32_t CaptureID, int32_t OptionalContentGroupID);
    int32_t SetCapturedPageTransparencyGroup(int32_t CaptureID, int32_t CS, int32_t Isolate,
                                             int32_t Knockout);

    // ---- Fonts (selection) ----
    int32_t SelectFont(int32_t FontID);
    int32_t SelectedFont();

    // ---- Images ----
    int32_t AddImageFromFile(const std::u16string& FileName, int32_t Options);
    int32_t AddImageFromStream(TStream& InStream, int32_t Options);
    int32_t AddImageFromString(const std::string& Source, int32_t Options);
    int32_t AddImageFromFileOffset(const std::u16string& FileName, int32_t Offset,
                                   int32_t DataLength, int32_t Options);
    int32_t AddImageDirectFromString(const std::string& Source, int32_t Width, int32_t Height,
                                     int32_t BitsPerComponent, const std::u16string& ColorSpace,
                                     const std::u16string& Filter, const std::u16string& Decode,
                                     int32_t Interpolate);
    int32_t ImageCount();
    int32_t GetImageID(int32_t Index);
    int32_t SelectImage(int32_t ImageID);
    int32_t SelectedImage();
    int32_t ImageWidth();
    int32_t ImageHeight();
    int32_t ImageType();
    int32_t ImageFillColor();
    int32_t ImageHorizontalResolution();
    int32_t ImageVerticalResolution();
    int32_t ImageResolutionUnits();
    int32_t SetImageResolution(int32_t Horizontal, int32_t Vertical, int32_t Units);
    int32_t GetImagePageCount(const std::u16string& FileName);
    int32_t GetImagePageCountFromString(const std::string& Source);
    int32_t DrawImage(double Left, double Top, double Width, double Height);
    int32_t DrawScaledImage(double Left, double Top, double Scale);
    int32_t DrawRotatedImage(double Left, double Bottom, double Width, double Height, double Angle);
    int32_t DrawImageMatrix(double M11, double M12, double M21, double M22, double MDX, double MDY);
    int32_t FitImage(double Left, double Top, double Width, double Height, int32_t HAlign,
                     int32_t VAlign, int32_t Rotate);
    int32_t SetImageMask(double FromRed, double FromGreen, double FromBlue, double ToRed,
                         double ToGreen, double ToBlue);
    int32_t SetImageMaskCMYK(double FromC, double FromM, double FromY, double FromK, double ToC,
                             double ToM, double ToY, double ToK);
    int32_t SetImageAsMask(int32_t MaskType);
    int32_t SetImageMaskFromImage(int32_t ImageID);
    int32_t ReverseImage(int32_t Reset);
    int32_t SetImageOptional(int32_t OptionalContentGroupID);
    int32_t ClearImage(int32_t ImageID);
    int32_t ReplaceImage(int32_t OriginalImageID, int32_t NewImageID);
    int32_t ReleaseImage(int32_t ImageID);
    int32_t CompressImages(int32_t Compress);
    int32_t SaveImageToFile(const std::u16string& FileName);
    int32_t SaveImageToStream(TStream& OutStream);
    std::string SaveImageToString();
    int32_t SetFindImagesMode(int32_t NewFindImagesMode);
    int32_t FindImages();
    int32_t GetPageImageList(int32_t Options);
    int32_t GetImageListCount(int32_t ImageListID);
    int32_t GetImageListItemIntProperty(int32_t ImageListID, int32_t ImageIndex,
                                        int32_t PropertyID);
    double GetImageListItemDblProperty(int32_t ImageListID, int32_t ImageIndex, int32_t PropertyID);
    std::string GetImageListItemDataToString(int32_t ImageListID, int32_t ImageIndex,
                                             int32_t Options);
    int32_t SaveImageListItemDataToFile(int32_t ImageListID, int32_t ImageIndex, int32_t Options,
                                        const std::u16string& ImageFileName);
    std::u16string GetImageListItemFormatDesc(int32_t ImageListID, int32_t ImageIndex,
                                              int32_t Options);
    int32_t ReleaseImageList(int32_t ImageListID);

    // ---- Rendering pages to files, streams, device contexts and memory ----
    // Options: 0 BMP, 1 JPEG, 2 WMF, 3 EMF, 4 EPS, 5 PNG, 6 GIF, 7 TIFF,
    // 8 EMF+, 9 HTML5 canvas, 10 CCITT Group 4 TIFF.
    int32_t RenderDocumentToFile(double DPI, int32_t StartPage, int32_t EndPage, int32_t Options,
                                 const std::u16string& FileName);
    int32_t RenderPageToFile(double DPI, int32_t Page, int32_t Options,
                             const std::u16string& FileName);
    int32_t RenderPageToStream(double DPI, int32_t Page, int32_t Options, TStream& Target);
    std::string RenderPageToString(double DPI, int32_t Page, int32_t Options);
    int32_t RenderPageToDC(double DPI, int32_t Page, HDC DC);
    int32_t RenderPageToDCClip(double DPI, int32_t Page, HDC DC, const std::string& Clip);
    int32_t RenderPageToMemory(double DPI, int32_t Page, void* Target, int32_t Width,
                               int32_t Height, int32_t BitsPerPixel);
    int32_t RenderAsMultipageTIFFToFile(double DPI, const std::u16string& PageRanges,
                                        int32_t ImageOptions, int32_t OutputOptions,
                                        const std::u16string& FileName);
    std::u16string LastRenderError() const;
    int32_t CreateRenderer();
    int32_t DestroyRenderer();
    int32_t SetRenderScale(double NewScale);
    double GetRenderScale() const { return FRenderScale; }
    int32_t SetJPEGQuality(int32_t Quality);
    int32_t SetPNGTransparencyColor(int32_t RedByte, int32_t GreenByte, int32_t BlueByte);
    int32_t SetRenderCropType(int32_t NewCropType);
    int32_t SetRenderDCOffset(int32_t NewOffsetX, int32_t NewOffsetY);
    int32_t SetRenderDCErasePage(int32_t NewErasePage);
    int32_t SetGDIPlusFileName(const std::u16string& DLLFileName);
    int32_t SetGDIPlusOptions(int32_t OptionID, int32_t NewValue);
    int32_t SetRenderOptions(int32_t OptionID, int32_t NewValue);
    int32_t SetCairoFileName(const std::u16string& FileName);
    int32_t SetKPLRFileName(const std::u16string& FileName);
    int32_t SelectRenderer(int32_t RendererID);
    int32_t SelectedRenderer() const;

    // ---- Printing ----
    // Options: the word PrintOptions returns (page scaling, auto-rotate and
    // centre, title number).
    int32_t PrintDocument(const std::u16string& PrinterName, int32_t StartPage, int32_t EndPage,
                          int32_t Options);
    int32_t PrintDocumentToFile(const std::u16string& PrinterName, int32_t StartPage,
                                int32_t EndPage, int32_t Options, const std::u16string& FileName);
    int32_t PrintDocumentToPrinterObject(TPrinter* APrinter, int32_t StartPage, int32_t EndPage,
                                         int32_t Options);
    int32_t PrintPages(const std::u16string& PrinterName, const std::u16string& PageRanges,
                       int32_t Options);
    int32_t PrintPagesToFile(const std::u16string& PrinterName, const std::u16string& PageRanges,
                             int32_t Options, const std::u16string& FileName);
    int32_t PrintPagesToPrinterObject(TPrinter* APrinter, const std::u16string& PageRanges,
                                      int32_t Options);
    int32_t PrintOptions(int32_t PageScaling, int32_t AutoRotateCenter, const std::u16string& Title);
    std::string GetPrintPreviewBitmapToString(const std::u16string& PrinterName,
                                              int32_t PreviewPage, int32_t PrintOptions,
                                              int32_t MaxDimension, int32_t PreviewOptions);
    int32_t NewInternalPrinterObject(int32_t Options);
    std::u16string GetPrinterNames();
    std::u16string GetLatestPrinterNames();
    std::u16string GetDefaultPrinterName();
    std::u16string GetPrinterBins(const std::u16string& PrinterName);
    std::u16string GetPrinterMediaTypes(const std::u16string& PrinterName);
    std::string GetPrinterDevModeToString(const std::u16string& PrinterName);
    int32_t SetPrinterDevModeFromString(const std::string& Source);
    std::u16string NewCustomPrinter(const std::u16string& OriginalPrinterName);
    int32_t SetupCustomPrinter(const std::u16string& CustomPrinterName, int32_t Setting,
                               int32_t NewValue);
    int32_t RequestPrinterStatus(int32_t StatusCommand);
    int32_t PrintMode(int32_t Mode);
    // The printer object printing uses: the internal one, else the
    // process's.
    TPrinter* CurrentPrinter();

    // ---- Progress ----
    void SetOnProgress(TVelmoPDFProgressEvent Handler) { FOnProgress = std::move(Handler); }

    // ---- Unit and origin conversion (the selected document's) ----
    double UnitsToPoints(double V) const;
    double XToPoints(double X);
    double YToPoints(double Y);

    // ---- ID table ----
    // The ID of Obj, registering it on first sight; 0 for nil.
    int32_t ObjectToID(void* Obj, TVPLIDKind Kind, TPDFDocument* Owner = nullptr);
    // The live object of a valid ID of the given kind, else nil.
    void* IDToObject(int32_t ID, TVPLIDKind Kind) const;
    // Registers a runtime string list (owned from now on) and gives its ID.
    int32_t AddStringList(std::unique_ptr<TVelmoPDFStringList> List);

protected:
    // Progress of the current step of a long operation (0..100).
    void SubProgress(int32_t Percent);
    void ProgressDone();

    TPDFDocument* FindDocument(int32_t ID) const;
    TPDFImageBase* FindImage(int32_t ID) const;
    // The page image list of ID when the selected document holds it.
    TPDFImageList* FindImageList(int32_t ID) const;
    // The image of ID when the selected document holds it.
    TPDFImageBase* FindDocImage(int32_t ID) const;
    TPDFImage* SelImage() const;
    TPDFPainter* Painter() const;
    TPDFPainter* PrepareImageDraw();
    // Empties the slots of an object that is about to be freed.
    void ForgetObject(const void* Obj);
    // Empties the slots of a document and of everything it owns.
    void ForgetDocument(TPDFDocument* Doc);

    // A new blank document with the library's information entries.
    std::unique_ptr<TPDFDocument> MakeBlankDocument();
    // Appends a document, selects it and gives its ID.
    int32_t AddDocument(std::unique_ptr<TPDFDocument> Doc);
    int32_t LoadDocument(TStream* InStream, const std::string* Source,
                         const std::u16string& Password, TPDFDocument** Loaded);
    void ReselectFont();
    void PrepareSave();
    // The selected document's image import; nil when the data is not an
    // image the engine reads.
    TPDFImageBase* ImportImage(TStream& InStream, int32_t Options);
    int32_t AddImage(TStream& InStream, int32_t Options);

public:
    // ---- Fields ----
    std::vector<std::unique_ptr<TPDFDocument>> FDocs;
    TPDFDocument* FSelDoc = nullptr;
    TPDFImageBase* FSelImage = nullptr;
    TObject* FSelFont = nullptr;
    int32_t FLastErrorCode = 0;
    std::vector<std::unique_ptr<TVelmoPDFStringList>> FAnalysisInfo;
    std::u16string FTempPath;
    TVelmoPDFProgressEvent FOnProgress;
    double FSubProgressScale = 1.0;
    int32_t FSubProgressOffset = 0;
    int32_t FSubProgressPiece = 1;
    int32_t FSubProgressCount = 1;
    int32_t FLastProgress = 0;
    std::string FLastRenderError;
    int32_t FJPEGQuality = 75;
    std::string FCompatibility;
    TVPLExtractionOptions FDATextExtractOptions;
    int32_t FRenderDCOffsetX = 0;
    int32_t FRenderDCOffsetY = 0;
    bool FRenderDCErasePage = true;
    double FRenderScale = 1.0;
    int32_t FFindImagesMode = 1;
    int32_t FRenderCropType = 2;
    std::vector<std::unique_ptr<TVelmoPDFStringList>> FStringLists;
    std::vector<TVPLIDSlot> FIntCasts;
    std::string FAppendInput;
    int32_t FDefaultDecodeMode = 2;
    bool FNeedCoUninit = false;
    std::u16string FCairoFileName;
    bool FUseCairo = false;
    std::u16string FKPLRFileName;
    bool FUseKPLR = false;
    uint32_t PNGTransparencyColor = 0xFFFFFF;
    bool HasPNGTransparency = false;
    // Drawing settings copied into every renderer.
    std::unique_ptr<TGDIPlusSettings> FGDIPlusSettings;
    // Printing state.
    std::unique_ptr<TPrinter> FPrinter;
    std::vector<std::pair<std::string, std::unique_ptr<TPDFCustomPrinter>>> FCustomPrinters;
    std::vector<std::string> FPrintTitles;
    std::string FPrinterDevMode;
    std::u16string FPrintToFile;
    bool FPrintPreview = false;
    int32_t FPrintPreviewMaxDimension = 0;
    std::string FPrintPreviewBitmapData;
    bool FPrinterStatusNeeded = false, FPrinterStartPaused = false;
    int32_t FPrinterJobID = 0;
    std::string FPrinterJobPrinterName;
    // The persistent renderers CreateRenderer made, by document.
    std::unordered_map<const TPDFDocument*, std::unique_ptr<TPDFRendererBase>> FRenderers;

private:
    // Live objects to their slot: ObjectToID in constant time.
    std::unordered_map<const void*, uint32_t> FSlotOf;
};

// The library banner written into new documents' Producer and Creator.
extern const char* const VelmoPDFBanner;

}  // namespace velmo
