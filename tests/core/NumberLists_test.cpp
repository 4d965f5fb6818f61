#include "core/NumberLists.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <random>

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace velmo {
namespace {

// Bytes currently allocated on the heap.
size_t AllocatedBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

TEST(TVelmoPDFIntegerList, ListOperationsAndErrors) {
    TVelmoPDFIntegerList L;
    EXPECT_EQ(L.Add(5), 0);
    EXPECT_EQ(L.Add(-3), 1);
    L.Insert(2, 9);
    L.Insert(0, 7);
    EXPECT_EQ(L.Count(), 4);
    EXPECT_EQ(L.GetItem(0), 7);
    EXPECT_EQ(L[3], 9);
    EXPECT_EQ(L.IndexOf(-3), 2);
    EXPECT_EQ(L.IndexOf(42), -1);
    EXPECT_TRUE(L.Find(9));
    EXPECT_FALSE(L.Find(8));
    L.SortList();
    EXPECT_EQ(std::vector<int>({L[0], L[1], L[2], L[3]}), std::vector<int>({-3, 5, 7, 9}));
    L.SortListReverse();
    EXPECT_EQ(std::vector<int>({L[0], L[1], L[2], L[3]}), std::vector<int>({9, 7, 5, -3}));
    try {
        L.Insert(5, 1);
        FAIL() << "no error";
    } catch (const EListError& E) {
        EXPECT_STREQ(E.what(), "List index out of bounds (5)");
    }
    EXPECT_THROW(L.GetItem(4), EListError);
    EXPECT_THROW(L.GetItem(-1), EListError);
    EXPECT_THROW(L.Insert(-1, 0), EListError);
    L.Insert(4, 1);  // at Count is allowed
    EXPECT_EQ(L[4], 1);
}

TEST(TVelmoPDFIntegerList, IndexOfStaysCorrectThroughChanges) {
    // Many look-ups switch to a hash index; every change must keep answers right.
    TVelmoPDFIntegerList L;
    std::vector<int32_t> Model;
    std::mt19937 Rng(7);
    for (int Step = 0; Step < 4000; ++Step) {
        const int32_t V = static_cast<int32_t>(Rng() % 200);
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
                    L.PutItem(I, V);
                    Model[I] = V;
                }
                break;
            case 3:
            case 4:
                L.Add(V);
                Model.push_back(V);
                break;
            default: {
                auto It = std::find(Model.begin(), Model.end(), V);
                const int32_t Expected =
                    It == Model.end() ? -1 : static_cast<int32_t>(It - Model.begin());
                ASSERT_EQ(L.IndexOf(V), Expected) << "step " << Step;
            }
        }
    }
}

TEST(TVelmoPDFIntegerList2, MembershipWithoutAllocatingByTheLargestValue) {
    TVelmoPDFIntegerList2 L;
    for (int32_t V : {3, 0, 70000, 3}) L.Add(V);
    EXPECT_EQ(L.Count(), 4);
    EXPECT_EQ(L.GetValue(2), 70000);
    EXPECT_EQ(L.GetValue(4), 0);
    EXPECT_EQ(L.GetValue(-1), 0);
    EXPECT_TRUE(L.Contains(3));
    EXPECT_TRUE(L.Contains(70000));
    EXPECT_FALSE(L.Contains(4));
    EXPECT_FALSE(L.Contains(65536 * 5));
    EXPECT_FALSE(L.Contains(-1));

    const size_t Before = AllocatedBytes();
    TVelmoPDFIntegerList2 Big;
    Big.Add(2147483647);
    Big.Add(2147483647 - 100000000);
    EXPECT_TRUE(Big.Contains(2147483647));
    EXPECT_FALSE(Big.Contains(2147483646));
    EXPECT_FALSE(Big.Contains(0));
    EXPECT_LT(AllocatedBytes() - Before, 64u * 1024);
    for (int32_t I = 0; I < 3000; ++I) Big.Add(I * 7);
    EXPECT_EQ(Big.Count(), 3002);
    EXPECT_EQ(Big.GetValue(3001), 2999 * 7);
    EXPECT_TRUE(Big.Contains(2999 * 7));
    EXPECT_FALSE(Big.Contains(2999 * 7 - 1));
}

TEST(TVPLSortedNumberList, GetNextNum) {
    TVPLSortedNumberList L;
    EXPECT_EQ(L.GetNextNum(5), 0);
    for (int32_t V : {30, 20, 10, 20}) L.Add(V);
    L.Sort();
    EXPECT_EQ(L.Count(), 4);
    EXPECT_EQ(L.GetNumAt(1), 20);
    EXPECT_EQ(L.GetNumAt(4), 0);
    const int32_t Queries[][2] = {{20, 30}, {25, 30}, {30, 30}, {5, 10}, {99, 30}, {10, 20}};
    for (const auto& Q : Queries) EXPECT_EQ(L.GetNextNum(Q[0]), Q[1]) << Q[0];

    TVPLSortedInt64List L64;
    EXPECT_EQ(L64.GetNextNum(1), 0);
    // More than the initial capacity, in descending order.
    for (int64_t V = 5000; V >= 1; --V) L64.Add(V * 10000000000LL);
    L64.Sort();
    EXPECT_EQ(L64.GetNextNum(10000000000LL), 20000000000LL);
    EXPECT_EQ(L64.GetNextNum(15000000000LL), 20000000000LL);
    EXPECT_EQ(L64.GetNextNum(-1), 10000000000LL);
    EXPECT_EQ(L64.GetNextNum(INT64_MAX), 50000000000000LL);
}

TEST(PairLists, SortAndLookUp) {
    TVPLIntegerPairList P;
    EXPECT_EQ(P.GetValue(1), 0);
    P.Sort();
    std::mt19937 Rng(3);
    std::vector<int32_t> Keys;
    for (int32_t I = 0; I < 3000; ++I) Keys.push_back(I * 3 - 4000);
    std::shuffle(Keys.begin(), Keys.end(), Rng);
    for (int32_t K : Keys) P.Add(K, K * 2 + 1);
    P.Sort();
    for (int32_t K : Keys) ASSERT_EQ(P.GetValue(K), K * 2 + 1);
    EXPECT_EQ(P.GetValue(-3999), 0);

    TVPLInt64PairList Q;
    Q.Add(5000000000LL, 1);
    Q.Add(-5000000000LL, 2);
    Q.Sort();
    EXPECT_EQ(Q.GetValue(-5000000000LL), 2);
    EXPECT_EQ(Q.GetValue(5000000000LL), 1);
    EXPECT_EQ(Q.GetValue(0), 0);

    TVPLWordPairList W;
    W.Add(0xFFFF, 9);
    W.Add(7, 0);
    W.Add(0x8000, 3);
    W.Sort();
    EXPECT_EQ(W.GetValue(7), 0);
    EXPECT_TRUE(W.Found());
    EXPECT_EQ(W.GetValue(8), 0);
    EXPECT_FALSE(W.Found());
    EXPECT_EQ(W.GetValue(0xFFFF), 9);  // keys compare unsigned
    EXPECT_EQ(W.GetValue(0x8000), 3);
    EXPECT_TRUE(W.Found());

    TVPLWordPairList One;
    One.Add(1, 2);
    One.Sort();
    EXPECT_EQ(One.GetValue(1), 2);
}

TEST(PairLists, EqualKeysFollowTheShellSortOrder) {
    // 5 pairs: gaps 2 and 1. Keys 1,1,0,1,0 with values 0..4 end as
    // (0,2) (0,4) (1,1) (1,3) (1,0): the first pair of each key answers.
    TVPLIntegerPairList P;
    const int32_t Keys[] = {1, 1, 0, 1, 0};
    for (int32_t I = 0; I < 5; ++I) P.Add(Keys[I], I);
    P.Sort();
    EXPECT_EQ(P.GetValue(0), 2);
    EXPECT_EQ(P.GetValue(1), 1);
}

TEST(TVPLSortedUniqueIntegerList, SetOperations) {
    TVPLSortedUniqueIntegerList S;
    const size_t Before = AllocatedBytes();
    EXPECT_FALSE(S.Contains(70000));
    EXPECT_FALSE(S.Contains(0xFFFFFFFFu));
    EXPECT_EQ(AllocatedBytes(), Before);  // a query allocates nothing
    EXPECT_TRUE(S.AddUnique(7));
    EXPECT_FALSE(S.AddUnique(7));
    EXPECT_TRUE(S.Contains(7));
    EXPECT_FALSE(S.Contains(8));
    EXPECT_TRUE(S.AddUnique(0xFFFFFFFFu));
    EXPECT_TRUE(S.Contains(0xFFFFFFFFu));
    EXPECT_FALSE(S.Contains(0xFFFFFFFEu));
    EXPECT_LT(AllocatedBytes() - Before, 8u * 1024);
    S.Clear();
    EXPECT_FALSE(S.Contains(7));
    EXPECT_TRUE(S.AddUnique(7));
}

}  // namespace
}  // namespace velmo
