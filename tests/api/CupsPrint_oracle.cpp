// Printing through a private CUPS scheduler: a cupsd whose configuration,
// spool, cache, logs, PID file and Unix socket all lie in a temporary
// folder, with one queue writing its jobs to a file there. The public class
// lists exactly the scheduler's destinations, prints a page range as one
// PDF job (page count by qpdf, line widths by pdftoppm at 600 DPI), and
// pauses, resumes and deletes jobs through the status requests.
//
// The queue uses a PPD whose one filter copies the job through: the
// scheduler runs no process at all for a raw queue on a file device, so a
// raw queue would never write its file.
#include <gtest/gtest.h>

#include <cups/cups.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "api/VelmoPDF.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

namespace fs = std::filesystem;

const char* const kPPD = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "VPLTEST.PPD"
*Manufacturer: "Test"
*Product: "(Test)"
*ModelName: "Test PDF"
*ShortNickName: "Test PDF"
*NickName: "Test PDF"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter: "application/pdf 0 @FILTER@"
*OpenUI *PageSize/Media Size: PickOne
*DefaultPageSize: Letter
*PageSize Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*DefaultPageRegion: Letter
*PageRegion Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: Letter
*ImageableArea Letter: "0 0 612 792"
*DefaultPaperDimension: Letter
*PaperDimension Letter: "612 792"
*OpenUI *Resolution/Resolution: PickOne
*DefaultResolution: 600dpi
*Resolution 600dpi/600 DPI: "<</HWResolution[600 600]>>setpagedevice"
*CloseUI: *Resolution
*OpenUI *InputSlot/Media Source: PickOne
*DefaultInputSlot: Auto
*InputSlot Auto/Automatic: ""
*InputSlot Tray9/Tray 9: ""
*CloseUI: *InputSlot
*DefaultFont: Courier
*Font Courier: Standard "(002.004S)" Standard ROM
)PPD";

std::string Replace(std::string S, const std::string& From, const std::string& To) {
    for (size_t P = S.find(From); P != std::string::npos; P = S.find(From, P + To.size()))
        S.replace(P, From.size(), To);
    return S;
}

// A scheduler of our own, stopped by its process id when the test ends
// (also when an assertion ends it early).
class TPrivateCups {
public:
    fs::path Dir, Socket, Out;
    pid_t Pid = -1;
    std::string Problem;

    explicit TPrivateCups(const fs::path& Folder) : Dir(Folder) {
        Socket = Dir / "cups.sock";
        Out = Dir / "out.pdf";
        // The scheduler's filters run as user lp and must reach the spool.
        fs::permissions(Dir, fs::perms::owner_all | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read |
                                 fs::perms::others_exec);
        for (const char* Sub : {"spool", "cache", "state", "tmp", "logs", "bin", "bin/filter"})
            fs::create_directories(Dir / Sub);
        fs::create_symlink("/usr/lib/cups/daemon", Dir / "bin/daemon");
        fs::create_symlink("/usr/lib/cups/backend", Dir / "bin/backend");
        const fs::path Filter = Dir / "bin/filter/vplcopy";
        vpltest::WriteFile(Filter,
                           "#!/bin/sh\nif [ -n \"$6\" ]; then exec cat \"$6\"; else exec cat; fi\n");
        fs::permissions(Filter, fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
        vpltest::WriteFile(Dir / "vpltest.ppd", Replace(kPPD, "@FILTER@", Filter.string()));
        vpltest::WriteFile(Dir / "cupsd.conf",
                           "Listen " + Socket.string() +
                               "\nLogLevel info\nWebInterface No\nBrowsing No\n"
                               "DefaultAuthType None\n<Location />\n  Order allow,deny\n"
                               "  Allow all\n</Location>\n<Policy default>\n  <Limit All>\n"
                               "    Order deny,allow\n  </Limit>\n</Policy>\n");
        const std::string D = Dir.string();
        vpltest::WriteFile(Dir / "cups-files.conf",
                           "FileDevice Yes\nServerRoot " + D + "\nRequestRoot " + D +
                               "/spool\nCacheDir " + D + "/cache\nStateDir " + D +
                               "/state\nTempDir " + D + "/tmp\nErrorLog " + D +
                               "/logs/error_log\nAccessLog " + D + "/logs/access_log\nPageLog " +
                               D + "/logs/page_log\nServerBin " + D +
                               "/bin\nDataDir /usr/share/cups\n");
    }

    bool Start() {
        Pid = fork();
        if (Pid == 0) {
            const std::string Log = (Dir / "logs/stdout").string();
            FILE* F = std::freopen(Log.c_str(), "w", stdout);
            (void)F;
            dup2(fileno(stdout), 2);
            const std::string Conf = (Dir / "cupsd.conf").string();
            const std::string Files = (Dir / "cups-files.conf").string();
            execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", Conf.c_str(), "-s", Files.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        if (Pid < 0) return false;
        vpltest::WriteFile(Dir / "cupsd.pid", std::to_string(Pid) + "\n");
        for (int I = 0; I < 200; ++I) {
            if (fs::exists(Socket)) break;
            int Status = 0;
            if (waitpid(Pid, &Status, WNOHANG) == Pid) {
                Pid = -1;
                Problem = "cupsd ended at start: " + vpltest::ReadFile(Dir / "logs/stdout") +
                          vpltest::ReadFile(Dir / "logs/error_log");
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!fs::exists(Socket)) {
            Problem = "cupsd made no socket";
            return false;
        }
        setenv("CUPS_SERVER", Socket.c_str(), 1);
        cupsSetServer(nullptr);  // the client library reads CUPS_SERVER again
        return true;
    }

    ~TPrivateCups() {
        if (Pid > 0) {
            kill(Pid, SIGTERM);
            for (int I = 0; I < 100; ++I) {
                if (waitpid(Pid, nullptr, WNOHANG) == Pid) {
                    Pid = -1;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (Pid > 0) {
                kill(Pid, SIGKILL);
                waitpid(Pid, nullptr, 0);
            }
        }
        unsetenv("CUPS_SERVER");
        cupsSetServer(nullptr);
    }
};

// Dark rows of a column of a binary grey map (pdftoppm -gray output).
struct TGrey {
    int W = 0, H = 0;
    std::string Pixels;
};
bool ReadPgm(const fs::path& File, TGrey& G) {
    const std::string Data = vpltest::ReadFile(File);
    std::istringstream In(Data);
    std::string Magic;
    int Max = 0;
    In >> Magic >> G.W >> G.H >> Max;
    if (Magic != "P5" || G.W <= 0 || G.H <= 0) return false;
    In.get();
    const size_t Start = size_t(In.tellg());
    if (Data.size() < Start + size_t(G.W) * G.H) return false;
    G.Pixels = Data.substr(Start, size_t(G.W) * G.H);
    return true;
}
// Lengths of the runs of dark pixels down column X.
std::vector<int> DarkRuns(const TGrey& G, int X) {
    std::vector<int> Runs;
    int Run = 0;
    for (int Y = 0; Y < G.H; ++Y) {
        if (uint8_t(G.Pixels[size_t(Y) * G.W + X]) < 128) {
            ++Run;
        } else if (Run > 0) {
            Runs.push_back(Run);
            Run = 0;
        }
    }
    if (Run > 0) Runs.push_back(Run);
    return Runs;
}

std::string ThreePages() {
    // A 1-point line and a 0-width line on each page.
    const std::string Content = "0 0 0 RG 1 w 100 700 m 500 700 l S 0 w 100 600 m 500 600 l S";
    std::vector<std::string> Objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
    };
    for (int I = 0; I < 3; ++I)
        Objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R >>");
    Objects.push_back("<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" + Content +
                      "\nendstream");
    return vpltest::PdfFromObjects(Objects);
}

// Waits until Done() holds or Seconds pass.
template <typename F>
bool WaitFor(F Done, double Seconds) {
    const auto End = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    while (std::chrono::steady_clock::now() < End) {
        if (Done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return Done();
}

TEST(CupsPrintJob, PrivateSchedulerListsPrintsPausesResumesAndDeletes) {
    if (!fs::exists("/usr/sbin/cupsd")) GTEST_SKIP() << "cupsd (cups-daemon) is not installed";
    if (!fs::exists("/usr/sbin/lpadmin") || !fs::exists("/usr/bin/lpstat"))
        GTEST_SKIP() << "lpadmin and lpstat (cups-client) are not installed";
    VPL_REQUIRE_TOOL("qpdf");
    VPL_REQUIRE_TOOL("pdftoppm");
    vpltest::TempDir Temp;
    TPrivateCups Cups(Temp.path());
    ASSERT_TRUE(Cups.Start()) << Cups.Problem;
    const std::string Sock = Cups.Socket.string();
    const auto Add = vpltest::RunCommand({"/usr/sbin/lpadmin", "-h", Sock, "-p", "vpltest", "-E",
                                          "-v", "file://" + Cups.Out.string(), "-P",
                                          (Cups.Dir / "vpltest.ppd").string()},
                                         60);
    ASSERT_EQ(Add.exitCode, 0) << Add.err;

    // The lists agree with the scheduler's.
    const auto Lp = vpltest::RunCommand({"/usr/bin/lpstat", "-h", Sock, "-e"}, 60);
    ASSERT_EQ(Lp.exitCode, 0) << Lp.err;
    std::u16string Expected;
    std::istringstream Lines(Lp.out);
    for (std::string Line; std::getline(Lines, Line);) {
        if (Line.empty()) continue;
        if (!Expected.empty()) Expected += u',';
        Expected += u"\"" + std::u16string(Line.begin(), Line.end()) + u"\"";
    }
    TVelmoPDF Lib;
    EXPECT_EQ(Lib.GetLatestPrinterNames(), Expected);
    EXPECT_EQ(Lib.GetPrinterBins(u"vpltest"), u"7,\"Automatic\"\r\n257,\"Tray 9\"\r\n");

    // One job of three pages.
    ASSERT_NE(Lib.LoadFromString(ThreePages(), u""), 0);
    ASSERT_EQ(Lib.PrintPages(u"vpltest", u"1-3", 0), 1);
    auto Pages = [&] {
        if (!fs::exists(Cups.Out)) return std::string();
        const auto Q = vpltest::RunCommand({"qpdf", "--show-npages", Cups.Out.string()}, 60);
        return Q.exitCode == 0 ? Q.out : std::string();
    };
    ASSERT_TRUE(WaitFor([&] { return Pages() == "3\n"; }, 60))
        << "pages: " << Pages() << vpltest::ReadFile(Cups.Dir / "logs/error_log");

    // Line widths on the paper: a 1-point line is 8 or 9 pixels at 600 DPI
    // (its width scaled by the device matrix), a 0-width line one pixel.
    const auto Ppm = vpltest::RunCommand({"pdftoppm", "-r", "600", "-f", "1", "-l", "1", "-gray",
                                          Cups.Out.string(), (Cups.Dir / "page").string()},
                                         120);
    ASSERT_EQ(Ppm.exitCode, 0) << Ppm.err;
    fs::path Pgm;
    for (const auto& E : fs::directory_iterator(Cups.Dir))
        if (E.path().extension() == ".pgm") Pgm = E.path();
    TGrey G;
    ASSERT_TRUE(ReadPgm(Pgm, G));
    EXPECT_EQ(G.W, 5100);
    EXPECT_EQ(G.H, 6600);
    const std::vector<int> Runs = DarkRuns(G, 300 * 600 / 72);
    ASSERT_EQ(Runs.size(), 2u);
    EXPECT_TRUE(Runs[0] == 8 || Runs[0] == 9) << Runs[0];
    EXPECT_EQ(Runs[1], 1);

    // A job that starts paused waits until it is resumed.
    fs::remove(Cups.Out);
    EXPECT_EQ(Lib.RequestPrinterStatus(103), 1);
    ASSERT_EQ(Lib.PrintPages(u"vpltest", u"1-3", 0), 1);
    EXPECT_NE(Lib.RequestPrinterStatus(201), 0);
    EXPECT_EQ(Lib.RequestPrinterStatus(200), 1);
    EXPECT_EQ(Lib.RequestPrinterStatus(301), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(fs::exists(Cups.Out) && fs::file_size(Cups.Out) > 0);
    EXPECT_EQ(Lib.RequestPrinterStatus(402), 1);
    EXPECT_TRUE(WaitFor([&] { return Lib.RequestPrinterStatus(313) == 1; }, 60));
    EXPECT_EQ(Lib.RequestPrinterStatus(301), 0);
    EXPECT_TRUE(WaitFor([&] { return Pages() == "3\n"; }, 60));

    // Another paused job is deleted.
    ASSERT_EQ(Lib.PrintPages(u"vpltest", u"2", 0), 1);
    EXPECT_EQ(Lib.RequestPrinterStatus(301), 1);
    EXPECT_EQ(Lib.RequestPrinterStatus(403), 1);
    EXPECT_TRUE(WaitFor([&] { return Lib.RequestPrinterStatus(309) == 1; }, 30));
    EXPECT_EQ(Lib.RequestPrinterStatus(313), 0);
}

}  // namespace
}  // namespace velmo
