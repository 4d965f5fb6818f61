#include "core/GDIPlusBinding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/modules/Modules.h"
#include "tests/platform/GdiplusImageFixtures.h"

namespace velmo {
namespace {

// One distinct stub per entry point, generated from the binding's own list.
#define TAG(Name, Result, Params) struct Tag_##Name;
VPL_GDIPLUS_ENTRY_POINTS(TAG)
#undef TAG

template <class Tag, class F>
struct Stub;
template <class Tag, class R, class... A>
struct Stub<Tag, R (*)(A...)> {
    static R Call(A...) {
        if constexpr (std::is_void_v<R>)
            return;
        else
            return gsNotImplemented;
    }
};

// Replacement functions a test puts in place of the generated stubs.
using TOverrides = std::vector<TModuleExport>;

TModuleExports MakeExports(std::string_view Skip = {}, const TOverrides& Overrides = {}) {
    TModuleExports Exports;
    for (const TModuleExport& E : Overrides) Exports.push_back(E);
#define ADD(Name, Result, Params) \
    if (Skip != #Name)            \
        Exports.push_back(        \
            {#Name, reinterpret_cast<FARPROC>(&Stub<Tag_##Name, TKVPLGDIPlus::T##Name>::Call)});
    VPL_GDIPLUS_ENTRY_POINTS(ADD)
#undef ADD
    return Exports;
}

std::vector<std::string> EntryPointNames() {
    std::vector<std::string> Names;
#define NAME(Name, Result, Params) Names.push_back(#Name);
    VPL_GDIPLUS_ENTRY_POINTS(NAME)
#undef NAME
    return Names;
}

// Each field of Binding by name, as an untyped function.
std::vector<std::pair<std::string, FARPROC>> Fields(const TKVPLGDIPlus& Binding) {
    std::vector<std::pair<std::string, FARPROC>> Result;
#define FIELD(Name, Result_, Params) \
    Result.emplace_back(#Name, reinterpret_cast<FARPROC>(Binding.Name));
    VPL_GDIPLUS_ENTRY_POINTS(FIELD)
#undef FIELD
    return Result;
}

// A module registered for the life of one test.
class TFakeModule {
public:
    TFakeModule(std::u16string Name, const TModuleExports& Exports) : FName(std::move(Name)) {
        Registered = RegisterModule(FName, Exports);
    }
    ~TFakeModule() {
        if (Registered) UnregisterModule(FName);
    }
    const std::u16string& Name() const { return FName; }
    bool Registered = false;

private:
    std::u16string FName;
};

TEST(GdiplusBinding, StatusInjection) {
    const std::vector<std::string> Names = EntryPointNames();
    // The hundred and one the canvas uses, GdipDeleteMatrix, GdipDeleteFont.
    ASSERT_EQ(Names.size(), 103u);

    // No such library, as a bare name and as a file.
    for (const char16_t* Missing :
         {u"no-such-gdiplus-module.dll", u"/no/such/folder/gdiplus.dll"}) {
        TKVPLGDIPlus Binding;
        EXPECT_EQ(Binding.GDIPlusLoad(Missing, true), gpMissing);
        EXPECT_EQ(Binding.GDIPlusStatus, gpMissing);
        EXPECT_EQ(Binding.GDIPlusHandle, nullptr);
        EXPECT_FALSE(Binding.PiggyBack());
        CLSID Clsid;
        EXPECT_FALSE(Binding.GetEncoderClsid(u"image/bmp", Clsid));
    }

    // A complete module binds every field to the export of its own name.
    const TModuleExports Full = MakeExports();
    TFakeModule Complete(u"gdiplus-full-test.dll", Full);
    ASSERT_TRUE(Complete.Registered);
    {
        TKVPLGDIPlus Binding;
        EXPECT_EQ(Binding.GDIPlusStatus, gpUndefined);
        ASSERT_EQ(Binding.GDIPlusLoad(Complete.Name().c_str(), false), gpReady);
        EXPECT_NE(Binding.GDIPlusHandle, nullptr);
        EXPECT_FALSE(Binding.PiggyBack());
        for (const auto& [Name, Proc] : Fields(Binding)) {
            EXPECT_EQ(Proc, GetProcAddress(Binding.GDIPlusHandle, Name.c_str())) << Name;
            EXPECT_NE(Proc, nullptr) << Name;
        }
        Binding.GDIPlusFree();
        EXPECT_EQ(Binding.GDIPlusStatus, gpUndefined);
        EXPECT_EQ(Binding.GDIPlusHandle, nullptr);
        // Our own load was the only one: the library is gone.
        EXPECT_EQ(GetModuleHandleW(Complete.Name()), nullptr);
    }

    // A module lacking any one name is incompatible; every field is still
    // assigned, the missing one with nullptr even when a library bound before
    // had filled it.
    for (const std::string& Lacking : Names) {
        SCOPED_TRACE(Lacking);
        TFakeModule Partial(u"gdiplus-partial-test.dll", MakeExports(Lacking));
        ASSERT_TRUE(Partial.Registered);
        TKVPLGDIPlus Binding;
        ASSERT_EQ(Binding.GDIPlusLoad(Complete.Name().c_str(), false), gpReady);
        ASSERT_EQ(Binding.GDIPlusLoad(Partial.Name().c_str(), false), gpIncompatible);
        EXPECT_EQ(Binding.GDIPlusStatus, gpIncompatible);
        // Loading again let go of the first library.
        EXPECT_EQ(GetModuleHandleW(Complete.Name()), nullptr);
        for (const auto& [Name, Proc] : Fields(Binding)) {
            if (Name == Lacking)
                EXPECT_EQ(Proc, nullptr);
            else
                EXPECT_EQ(Proc, GetProcAddress(Binding.GDIPlusHandle, Name.c_str())) << Name;
        }
        // The encoder look-up is refused rather than called through a null field.
        CLSID Clsid;
        EXPECT_FALSE(Binding.GetEncoderClsid(u"image/bmp", Clsid));
        EXPECT_EQ(Binding.SelectImagePage(nullptr, 1), gsGenericError);
    }

    // The platform's own module: every call made before start-up, or after
    // the last shut-down, is refused with GdiplusNotInitialized, which the
    // canvas takes as its cue to fall back to plain GDI.
    RegisterGdiPlusModule();
    TKVPLGDIPlus Binding;
    ASSERT_EQ(Binding.GDIPlusLoad(nullptr, false), gpReady);
    auto CheckRefused = [&](bool Refused) {
        GpPath* Path = nullptr;
        GpSolidFill* Brush = nullptr;
        GpMatrix* Matrix = nullptr;
        GpRegion* Region = nullptr;
        uint32_t Count = 0, Size = 0;
        const TGPStatus Calls[] = {
            Binding.GdipCreatePath(FillModeAlternate, &Path),
            Binding.GdipCreateSolidFill(0xFF000000, &Brush),
            Binding.GdipCreateMatrix2(1, 0, 0, 1, 0, 0, &Matrix),
            Binding.GdipCreateRegion(&Region),
            Binding.GdipGetImageEncodersSize(&Count, &Size),
            Binding.GdipDisposeImage(nullptr),
        };
        for (TGPStatus S : Calls) EXPECT_EQ(S == gsGdiplusNotInitialized, Refused) << S;
        if (Path != nullptr) Binding.GdipDeletePath(Path);
        if (Brush != nullptr) Binding.GdipDeleteBrush(reinterpret_cast<GpBrush*>(Brush));
        if (Matrix != nullptr) Binding.GdipDeleteMatrix(Matrix);
        if (Region != nullptr) Binding.GdipDeleteRegion(Region);
    };
    CheckRefused(true);
    CLSID Clsid;
    EXPECT_FALSE(Binding.GetEncoderClsid(u"image/bmp", Clsid));

    // Start-ups are counted: two starts need two shut-downs. A start without
    // the background thread hands out the notification hooks.
    GdiplusStartupInput Input;
    GpULONG_PTR First = 0, Second = 0;
    ASSERT_EQ(Binding.GdiplusStartup(&First, &Input, nullptr), gsOk);
    Input.SuppressBackgroundThread = 1;
    TGdiplusStartupOutput Output;
    EXPECT_EQ(Binding.GdiplusStartup(&Second, &Input, nullptr), gsInvalidParameter);
    ASSERT_EQ(Binding.GdiplusStartup(&Second, &Input, &Output), gsOk);
    ASSERT_NE(Output.NotificationHook, nullptr);
    ASSERT_NE(Output.NotificationUnhook, nullptr);
    GpULONG_PTR HookToken = 0;
    EXPECT_EQ(Output.NotificationHook(&HookToken), gsOk);
    Output.NotificationUnhook(HookToken);
    Input.GdiplusVersion = 3;
    GpULONG_PTR Third = 0;
    EXPECT_EQ(Binding.GdiplusStartup(&Third, &Input, &Output), gsUnsupportedGdiplusVersion);
    CheckRefused(false);
    Binding.GdiplusShutdown(Second);
    CheckRefused(false);
    Binding.GdiplusShutdown(First);
    CheckRefused(true);
}

TEST(GdiplusBinding, PiggyBackNeverUnloadsTheHostsLibrary) {
    TFakeModule Module(u"gdiplus-host-test.dll", MakeExports());
    ASSERT_TRUE(Module.Registered);

    // The host loaded it first: the binding borrows that load.
    HMODULE Host = LoadLibraryW(Module.Name());
    ASSERT_NE(Host, nullptr);
    {
        TKVPLGDIPlus Binding;
        ASSERT_EQ(Binding.GDIPlusLoad(Module.Name().c_str(), true), gpReady);
        EXPECT_TRUE(Binding.PiggyBack());
        EXPECT_EQ(Binding.GDIPlusHandle, Host);
        // Loading again and freeing explicitly must not drop the host's load.
        ASSERT_EQ(Binding.GDIPlusLoad(Module.Name().c_str(), true), gpReady);
        Binding.GDIPlusFree();
        EXPECT_FALSE(Binding.PiggyBack());
        EXPECT_EQ(GetModuleHandleW(Module.Name()), Host);
        ASSERT_EQ(Binding.GDIPlusLoad(Module.Name().c_str(), true), gpReady);
    }
    EXPECT_EQ(GetModuleHandleW(Module.Name()), Host);
    EXPECT_TRUE(FreeLibrary(Host));
    EXPECT_EQ(GetModuleHandleW(Module.Name()), nullptr);
    EXPECT_FALSE(FreeLibrary(Host));

    // Without leave to piggy-back the binding counts a load of its own and
    // drops only that one.
    Host = LoadLibraryW(Module.Name());
    ASSERT_NE(Host, nullptr);
    {
        TKVPLGDIPlus Binding;
        ASSERT_EQ(Binding.GDIPlusLoad(Module.Name().c_str(), false), gpReady);
        EXPECT_FALSE(Binding.PiggyBack());
        EXPECT_EQ(Binding.GDIPlusHandle, Host);
    }
    EXPECT_EQ(GetModuleHandleW(Module.Name()), Host);
    EXPECT_TRUE(FreeLibrary(Host));
    EXPECT_EQ(GetModuleHandleW(Module.Name()), nullptr);

    // Leave to piggy-back, but nobody holds the library: the binding loads
    // it and unloads it again.
    {
        TKVPLGDIPlus Binding;
        ASSERT_EQ(Binding.GDIPlusLoad(Module.Name().c_str(), true), gpReady);
        EXPECT_FALSE(Binding.PiggyBack());
        EXPECT_NE(GetModuleHandleW(Module.Name()), nullptr);
    }
    EXPECT_EQ(GetModuleHandleW(Module.Name()), nullptr);
}

// Encoders listed by the fake library: records first, strings after them in
// the same buffer, as the library lays them out.
struct TFakeEncoder {
    std::u16string Mime;
    uint32_t Id;
};
std::vector<TFakeEncoder> GEncoders;
TGPStatus GSizeStatus = gsOk;
uint32_t GSizeShortBy = 0;  // reports a size this many bytes too small
int GListCalls = 0;

uint32_t EncoderBufferSize() {
    size_t Size = GEncoders.size() * sizeof(ImageCodecInfo);
    for (const TFakeEncoder& E : GEncoders) Size += (E.Mime.size() + 1) * sizeof(char16_t);
    return static_cast<uint32_t>(Size);
}

TGPStatus FakeEncodersSize(uint32_t* Count, uint32_t* Size) {
    *Count = static_cast<uint32_t>(GEncoders.size());
    *Size = GSizeStatus == gsOk ? EncoderBufferSize() - GSizeShortBy : 0;
    return GSizeStatus;
}

TGPStatus FakeEncoders(uint32_t Count, uint32_t Size, ImageCodecInfo* Codecs) {
    ++GListCalls;
    if (Count != GEncoders.size() || Size < EncoderBufferSize()) return gsInsufficientBuffer;
    auto* Text = reinterpret_cast<char16_t*>(Codecs + Count);
    for (uint32_t I = 0; I < Count; ++I) {
        Codecs[I] = ImageCodecInfo();
        Codecs[I].Clsid.D1 = GEncoders[I].Id;
        Codecs[I].MimeType = Text;
        std::memcpy(Text, GEncoders[I].Mime.c_str(),
                    (GEncoders[I].Mime.size() + 1) * sizeof(char16_t));
        Text += GEncoders[I].Mime.size() + 1;
    }
    return gsOk;
}

TEST(GdiplusBinding, EncoderLookupComparesMimeTypesExactly) {
    TFakeModule Module(
        u"gdiplus-encoders-test.dll",
        MakeExports({}, {{"GdipGetImageEncodersSize", reinterpret_cast<FARPROC>(&FakeEncodersSize)},
                         {"GdipGetImageEncoders", reinterpret_cast<FARPROC>(&FakeEncoders)}}));
    ASSERT_TRUE(Module.Registered);
    TKVPLGDIPlus Binding;
    ASSERT_EQ(Binding.GDIPlusLoad(Module.Name().c_str(), false), gpReady);
    GEncoders = {{u"image/bmp", 1}, {u"image/jpeg", 2}, {u"image/tiff", 3}, {u"image/png", 4}};
    GSizeStatus = gsOk;
    GSizeShortBy = 0;

    struct TCase {
        std::u16string Format;
        bool Found;
        uint32_t Id;
    };
    const TCase Cases[] = {
        {u"image/bmp", true, 1},
        {u"image/png", true, 4},
        {u"image/tiff", true, 3},
        {u"image/BMP", false, 0},
        {u"Image/bmp", false, 0},
        {u"image/bm", false, 0},
        {u"image/bmpx", false, 0},
        {u"", false, 0},
        {std::u16string(u"image/bmp\0", 10), false, 0},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(std::string(C.Format.begin(), C.Format.end()));
        CLSID Clsid;
        Clsid.D1 = 0xFFFF;
        EXPECT_EQ(Binding.GetEncoderClsid(C.Format, Clsid), C.Found);
        EXPECT_EQ(Clsid.D1, C.Found ? C.Id : 0xFFFFu);
    }

    CLSID Clsid;
    // The library refuses (not started): no encoders.
    GSizeStatus = gsGdiplusNotInitialized;
    EXPECT_FALSE(Binding.GetEncoderClsid(u"image/bmp", Clsid));
    GSizeStatus = gsOk;

    // A size too small for the records themselves is not read past.
    GListCalls = 0;
    GSizeShortBy = EncoderBufferSize() - 3 * static_cast<uint32_t>(sizeof(ImageCodecInfo));
    EXPECT_FALSE(Binding.GetEncoderClsid(u"image/bmp", Clsid));
    EXPECT_EQ(GListCalls, 0);
    // Room for the records but not the strings: the library's failure is
    // reported, not the unwritten buffer walked.
    GSizeShortBy = 2;
    EXPECT_FALSE(Binding.GetEncoderClsid(u"image/bmp", Clsid));
    EXPECT_EQ(GListCalls, 1);
    GSizeShortBy = 0;

    // No encoders at all.
    GEncoders.clear();
    EXPECT_FALSE(Binding.GetEncoderClsid(u"image/bmp", Clsid));

    // A freed binding never calls into the library it let go of.
    GEncoders = {{u"image/bmp", 1}};
    ASSERT_TRUE(Binding.GetEncoderClsid(u"image/bmp", Clsid));
    Binding.GDIPlusFree();
    GListCalls = 0;
    EXPECT_FALSE(Binding.GetEncoderClsid(u"image/bmp", Clsid));
    EXPECT_EQ(GListCalls, 0);
}

uint32_t GFrameCount = 1;
TGPStatus GFrameCountStatus = gsOk;
uint32_t GSelectedFrame = 0xFFFFFFFF;
bool GPageDimension = false;

TGPStatus FakeFrameCount(GpImage*, const TGUID* Dimension, uint32_t* Count) {
    const TGUID Page = {
        0x7462DC86, 0x6180, 0x4C7E, {0x8E, 0x3F, 0xEE, 0x73, 0x33, 0xA7, 0xA4, 0x83}};
    GPageDimension = *Dimension == Page;
    *Count = GFrameCount;
    return GFrameCountStatus;
}

TGPStatus FakeSelectFrame(GpImage*, const TGUID*, uint32_t Index) {
    GSelectedFrame = Index;
    return gsOk;
}

TEST(GdiplusBinding, SelectImagePageIsOneBasedAndBounded) {
    TFakeModule Module(
        u"gdiplus-frames-test.dll",
        MakeExports({},
                    {{"GdipImageGetFrameCount", reinterpret_cast<FARPROC>(&FakeFrameCount)},
                     {"GdipImageSelectActiveFrame", reinterpret_cast<FARPROC>(&FakeSelectFrame)}}));
    ASSERT_TRUE(Module.Registered);
    TKVPLGDIPlus Binding;
    ASSERT_EQ(Binding.GDIPlusLoad(Module.Name().c_str(), false), gpReady);

    struct TCase {
        uint32_t Frames;
        TGPStatus CountStatus;
        uint32_t Page;
        TGPStatus Expected;
        uint32_t Selected;
    };
    const TCase Cases[] = {
        {1, gsOk, 1, gsOk, 0},
        {1, gsOk, 0, gsGenericError, 0xFFFFFFFF},
        {1, gsOk, 2, gsGenericError, 0xFFFFFFFF},
        {3, gsOk, 3, gsOk, 2},
        {3, gsInvalidParameter, 1, gsGenericError, 0xFFFFFFFF},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Page);
        GFrameCount = C.Frames;
        GFrameCountStatus = C.CountStatus;
        GSelectedFrame = 0xFFFFFFFF;
        GPageDimension = false;
        EXPECT_EQ(Binding.SelectImagePage(nullptr, C.Page), C.Expected);
        EXPECT_EQ(GSelectedFrame, C.Selected);
        EXPECT_TRUE(GPageDimension);
    }
}

// Through the platform's own module: encoders are found by their exact MIME
// type, and pages of a two-page TIFF are selected 1-based (0 and 3 are
// refused, 1 and 2 give the page of that number).
TEST(GdiplusBinding, EncodersAndPagesOnTheFacade) {
    RegisterGdiPlusModule();
    TKVPLGDIPlus Binding;
    ASSERT_EQ(Binding.GDIPlusLoad(nullptr, false), gpReady);
    GdiplusStartupInput Input;
    GpULONG_PTR Token = 0;
    ASSERT_EQ(Binding.GdiplusStartup(&Token, &Input, nullptr), gsOk);
    for (const char16_t* Mime : {u"image/bmp", u"image/png", u"image/jpeg", u"image/tiff"}) {
        CLSID Clsid;
        EXPECT_TRUE(Binding.GetEncoderClsid(Mime, Clsid));
    }
    for (const char16_t* Mime : {u"image/BMP", u"image/bm", u"image/gif", u""}) {
        CLSID Clsid;
        EXPECT_FALSE(Binding.GetEncoderClsid(Mime, Clsid));
    }
    vpltest::TempDir Dir;
    const std::string Tiff = vpltest::TwoPageTiff(Dir / "two.tif");
    TStringStream Bytes(Tiff);
    TStreamAdapter Stream(Bytes);
    GpImage* Image = nullptr;
    ASSERT_EQ(Binding.GdipLoadImageFromStream(&Stream, &Image), gsOk);
    const struct {
        uint32_t Page;
        TGPStatus Status;
        uint32_t Width;  // of the page active afterwards
    } Cases[] = {
        {0, gsGenericError, 4}, {1, gsOk, 4}, {2, gsOk, 5}, {3, gsGenericError, 5}, {1, gsOk, 4}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Page);
        EXPECT_EQ(Binding.SelectImagePage(Image, C.Page), C.Status);
        uint32_t Width = 0;
        EXPECT_EQ(Binding.GdipGetImageWidth(Image, &Width), gsOk);
        EXPECT_EQ(Width, C.Width);
    }
    EXPECT_EQ(Binding.GdipDisposeImage(Image), gsOk);
    Binding.GdiplusShutdown(Token);
}

}  // namespace
}  // namespace velmo
