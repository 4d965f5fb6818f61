#include "core/StringList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "core/FileHelpers.h"
#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

namespace velmo {
namespace {

std::vector<std::string> Items(const TVelmoPDFStringList& L) {
    std::vector<std::string> V;
    for (int32_t I = 0; I < L.Count(); ++I) V.push_back(L.Get(I));
    return V;
}

void* Tag(intptr_t N) { return reinterpret_cast<void*>(N); }

TEST(TVelmoPDFStringList, SortedInsertAndDuplicates) {
    TVelmoPDFStringList L;
    L.SetSorted(true);
    EXPECT_EQ(L.Add("abc"), 0);
    EXPECT_EQ(L.Add("ABC"), 0);  // dupIgnore: the equal item's index
    EXPECT_EQ(L.Count(), 1);
    EXPECT_EQ(L.Get(0), "abc");

    TVelmoPDFStringList A;
    A.SetSorted(true);
    A.SetDuplicates(dupAccept);
    EXPECT_EQ(A.AddObject("abc", Tag(1)), 0);
    EXPECT_EQ(A.AddObject("ABC", Tag(2)), 0);  // goes in front of the first
    EXPECT_EQ(Items(A), std::vector<std::string>({"ABC", "abc"}));
    EXPECT_EQ(A.GetObject(0), Tag(2));

    TVelmoPDFStringList E;
    E.SetSorted(true);
    E.SetDuplicates(dupError);
    E.Add("x");
    EXPECT_EQ(E.Add("X"), 0);  // no error, kept like dupAccept
    EXPECT_EQ(E.Count(), 2);

    TVelmoPDFStringList S;
    S.SetSorted(true);
    for (const char* T : {"pear", "Apple", "fig", "banana", "_x", "Zed"}) S.Add(T);
    EXPECT_EQ(Items(S), std::vector<std::string>({"_x", "Apple", "banana", "fig", "pear", "Zed"}));
    int32_t Index;
    EXPECT_TRUE(S.Find("BANANA", Index));
    EXPECT_EQ(Index, 2);
    EXPECT_FALSE(S.Find("cherry", Index));
    EXPECT_EQ(Index, 3);
    EXPECT_EQ(S.IndexOf("ZED"), 5);
    EXPECT_EQ(S.IndexOf("kiwi"), -1);

    TVelmoPDFCaseSensitiveStringList C;
    C.SetSorted(true);
    for (const char* T : {"b", "B", "a", "A"}) C.Add(T);
    EXPECT_EQ(Items(C), std::vector<std::string>({"A", "B", "a", "b"}));
}

TEST(TVelmoPDFStringList, FindWithDuplicatesAcceptedGivesTheFirst) {
    TVelmoPDFStringList L;
    L.SetDuplicates(dupAccept);
    L.SetSorted(true);
    for (int I = 0; I < 7; ++I) L.Add("k");
    L.Add("a");
    L.Add("z");
    int32_t Index;
    EXPECT_TRUE(L.Find("K", Index));
    EXPECT_EQ(Index, 1);
}

TEST(TVelmoPDFStringList, IndexOfNamesAndValues) {
    TVelmoPDFStringList L;
    L.Add("abc");
    EXPECT_EQ(L.IndexOf("ABC"), 0);
    TVelmoPDFCaseSensitiveStringList C;
    C.Add("abc");
    C.Add("");
    EXPECT_EQ(C.IndexOf("ABC"), -1);
    EXPECT_EQ(C.IndexOf("abc"), 0);
    EXPECT_EQ(C.IndexOf(""), 1);

    for (TVelmoPDFStringList* List :
         {static_cast<TVelmoPDFStringList*>(&L), static_cast<TVelmoPDFStringList*>(&C)}) {
        List->Clear();
        List->Add("plain");
        List->Add("key=1");
        List->Add("Key=2");
        List->Add("Key=");
    }
    EXPECT_EQ(L.Values("Key"), "1");
    EXPECT_EQ(C.Values("Key"), "2");
    EXPECT_EQ(L.IndexOfName("KEY"), 1);
    EXPECT_EQ(L.Values("plain"), "");
    EXPECT_EQ(L.IndexOfName("plain"), -1);
    EXPECT_EQ(L.Values("missing"), "");
    L.Put(1, "other=1");
    L.Put(2, "x");
    EXPECT_EQ(L.Values("key"), "");

    int A, B;
    L.AddObject("obj", &A);
    EXPECT_EQ(L.IndexOfObject(&A), 4);
    EXPECT_EQ(L.IndexOfObject(&B), -1);
}

TEST(TVelmoPDFStringList, TextInAndOut) {
    TVelmoPDFStringList L;
    L.SetText("");
    EXPECT_EQ(L.Count(), 1);
    EXPECT_EQ(L.Get(0), "");
    L.SetText("\r\n");
    EXPECT_EQ(L.Count(), 0);
    L.SetText(std::string("a\r\n\r\nb\0c\n", 9));
    EXPECT_EQ(Items(L), std::vector<std::string>({"a", "b", "c"}));
    L.SetText("a\rb");
    EXPECT_EQ(L.GetText(), "a\r\nb\r\n");
    EXPECT_EQ(L.Text(), "a\r\nb\r\n");

    TVelmoPDFStringList S;
    S.SetSorted(true);
    S.SetText("b\na\nB\n");
    EXPECT_EQ(Items(S), std::vector<std::string>({"a", "b"}));

    TStringStream Out;
    L.SaveToStream(Out);
    EXPECT_EQ(Out.DataString(), "a\r\nb\r\n");
}

TEST(TVelmoPDFStringList, BadIndexesChangeNothing) {
    TVelmoPDFStringList L;
    L.AddObject("a", Tag(5));
    L.Delete(L.Count());
    L.Delete(-1);
    L.Put(-1, "x");
    L.Put(1, "x");
    L.PutObject(1, Tag(6));
    L.Insert(2, "x");
    L.Insert(-1, "x");
    EXPECT_EQ(Items(L), std::vector<std::string>({"a"}));
    EXPECT_EQ(L.GetObject(L.Count()), nullptr);
    EXPECT_EQ(L.GetObject(-1), nullptr);
    EXPECT_EQ(L.Get(1), "");
    EXPECT_EQ(L.Get(-1), "");
    L.Insert(1, "z");  // at Count
    L.InsertObject(0, "first", Tag(9));
    EXPECT_EQ(Items(L), std::vector<std::string>({"first", "a", "z"}));
    EXPECT_EQ(L.GetObject(1), Tag(5));
    L.SetCapacity(1);  // below Count: ignored
    EXPECT_GE(L.Capacity(), 3);
    L.SetCapacity(100);
    EXPECT_EQ(L.Capacity(), 100);
    L.SetCapacity(3);
    EXPECT_EQ(L.Capacity(), 3);
    EXPECT_EQ(Items(L), std::vector<std::string>({"first", "a", "z"}));
    L.Clear();
    EXPECT_EQ(L.Count(), 0);
    EXPECT_EQ(L.Capacity(), 0);
}

TEST(TVelmoPDFStringList, GrowthSteps) {
    TVelmoPDFStringList L;
    std::vector<int32_t> Caps;
    for (int I = 0; I < 120; ++I) {
        L.Add("x");
        if (Caps.empty() || Caps.back() != L.Capacity()) Caps.push_back(L.Capacity());
    }
    EXPECT_EQ(Caps, std::vector<int32_t>({4, 8, 12, 28, 44, 60, 76, 95, 118, 147}));
}

TEST(TVelmoPDFStringList, SortKeepsObjectsWithTheirStrings) {
    TVelmoPDFStringList L;
    std::mt19937 Rng(11);
    for (int I = 0; I < 2000; ++I) {
        std::string S = std::to_string(Rng() % 500);
        L.AddObject(S, Tag(std::stoi(S) + 1));
    }
    L.Sort();
    for (int32_t I = 0; I < L.Count(); ++I) {
        ASSERT_EQ(L.GetObject(I), Tag(std::stoi(L.Get(I)) + 1));
        if (I > 0) {
            ASSERT_LE(L.CompareStrings(L.Get(I - 1), L.Get(I)), 0);
        }
    }
    // Sorted input, reversed input and all-equal input sort without trouble.
    TVelmoPDFStringList Many;
    for (int I = 0; I < 50000; ++I) Many.Add(std::string(5, 'a'));
    Many.SetSorted(true);
    EXPECT_EQ(Many.Count(), 50000);
}

TEST(TVelmoPDFStringList, IndexOfStaysCorrectThroughChanges) {
    TVelmoPDFStringList L;
    std::vector<std::string> Model;
    std::mt19937 Rng(5);
    auto Lower = [](std::string S) {
        for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
        return S;
    };
    for (int Step = 0; Step < 4000; ++Step) {
        std::string V = std::string(1, "aAbBcC"[Rng() % 6]) + std::to_string(Rng() % 40);
        switch (Rng() % 10) {
            case 0:
                if (!Model.empty()) {
                    const int32_t I = static_cast<int32_t>(Rng() % Model.size());
                    L.Delete(I);
                    Model.erase(Model.begin() + I);
                }
                break;
            case 1: {
                const int32_t I = static_cast<int32_t>(Rng() % (Model.size() + 1));
                L.Insert(I, V);
                Model.insert(Model.begin() + I, V);
                break;
            }
            case 2:
                if (!Model.empty()) {
                    const int32_t I = static_cast<int32_t>(Rng() % Model.size());
                    L.Put(I, V);
                    Model[I] = V;
                }
                break;
            case 3:
            case 4:
                L.Add(V);
                Model.push_back(V);
                break;
            default: {
                int32_t Expected = -1;
                for (size_t I = 0; I < Model.size() && Expected < 0; ++I)
                    if (Lower(Model[I]) == Lower(V)) Expected = static_cast<int32_t>(I);
                ASSERT_EQ(L.IndexOf(V), Expected) << "step " << Step;
            }
        }
    }
}

TEST(TVelmoPDFStringList, FreeingLeavesObjectsAlone) {
    auto* Owned = new std::string("still here");
    {
        TVelmoPDFStringList L;
        L.AddObject("x", Owned);
        L.Delete(0);
        L.AddObject("y", Owned);
    }
    EXPECT_EQ(*Owned, "still here");
    delete Owned;
}

TEST(TVelmoPDFStringList, SaveToFileReplacesTheFileWhole) {
    const vpltest::TempDir Temp;
    const std::filesystem::path Dir = Temp.path();
    const std::u16string Name = FileSystemNameToWide((Dir / "list.txt").string());
    TVelmoPDFStringList L;
    L.Add("one");
    L.Add("two");
    L.SaveToFile(Name);
    {
        std::ifstream In(Dir / "list.txt", std::ios::binary);
        std::stringstream Buf;
        Buf << In.rdbuf();
        EXPECT_EQ(Buf.str(), "one\r\ntwo\r\n");
    }
    EXPECT_THROW(L.SaveToFile(FileSystemNameToWide((Dir / "no" / "such.txt").string())),
                 EFCreateError);
    size_t Files = 0;
    for (const auto& E : std::filesystem::directory_iterator(Dir)) Files += E.is_regular_file();
    EXPECT_EQ(Files, 1u);  // no temporary file left behind
}

}  // namespace
}  // namespace velmo

namespace velmo {
namespace {

TEST(TVelmoPDFStringList, ConcurrentReadersOfAFilledList) {
    // Process-wide lists are filled once and then read by several threads.
    TVelmoPDFStringList L;
    for (int I = 0; I < 500; ++I) L.Add("name" + std::to_string(I));
    std::vector<std::thread> Readers;
    std::atomic<int> Wrong{0};
    for (int T = 0; T < 4; ++T)
        Readers.emplace_back([&] {
            for (int I = 0; I < 500; ++I)
                if (L.IndexOf("NAME" + std::to_string(I)) != I) ++Wrong;
        });
    for (auto& R : Readers) R.join();
    EXPECT_EQ(Wrong.load(), 0);
}

}  // namespace
}  // namespace velmo
