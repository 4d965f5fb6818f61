#include "fonts/InstalledFaceCache.h"

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <tuple>

#include "platform/fonts/PlatformFonts.h"

namespace velmo {

namespace {

struct TFaceKey {
    std::string File;
    int FaceIndex = 0;
    int64_t Size = 0;
    int64_t MTime = 0;
    int64_t MTimeNs = 0;
    uint32_t TableOffset = 0;
    auto Tie() const { return std::tie(File, FaceIndex, Size, MTime, MTimeNs, TableOffset); }
    bool operator<(const TFaceKey& O) const { return Tie() < O.Tie(); }
    bool SameFile(const TFaceKey& O) const {
        return Size == O.Size && MTime == O.MTime && MTimeNs == O.MTimeNs;
    }
};

bool Stamp(const std::string& File, TFaceKey& Key) {
    struct stat St;
    if (::stat(File.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return false;
    Key.Size = St.st_size;
    Key.MTime = St.st_mtim.tv_sec;
    Key.MTimeNs = St.st_mtim.tv_nsec;
    return true;
}

// One slot per key, filled once; the map's lock is not held while a face
// is parsed, so loads of other faces go on meanwhile.
struct TSlot {
    std::once_flag Once;
    std::shared_ptr<const TPDFTrueTypeParser> Face;
};

struct TFaceCache {
    std::mutex Lock;
    std::map<TFaceKey, std::shared_ptr<TSlot>> Slots;
};

TFaceCache& Cache() {
    // Never destroyed: rasterizers may still hold faces at exit.
    static TFaceCache* C = new TFaceCache;
    return *C;
}

}  // namespace

std::shared_ptr<const TPDFTrueTypeParser> InstalledFace(const std::string& File, int FaceIndex,
                                                        uint32_t TableOffset) {
    TFaceKey Key;
    Key.File = File;
    Key.FaceIndex = FaceIndex;
    Key.TableOffset = TableOffset;
    if (FaceIndex < 0 || !Stamp(File, Key)) return nullptr;
    std::shared_ptr<TSlot> Slot;
    {
        TFaceCache& C = Cache();
        std::lock_guard<std::mutex> Guard(C.Lock);
        auto& S = C.Slots[Key];
        if (!S) S = std::make_shared<TSlot>();
        Slot = S;
    }
    std::call_once(Slot->Once, [&] {
        auto Data = platform::GetFaceData(File, FaceIndex);
        TFaceKey After;
        // Data read from a file that changed meanwhile belongs to no key.
        if (!Data || !Stamp(File, After) || !After.SameFile(Key)) return;
        auto P = std::make_shared<TPDFTrueTypeParser>();
        P->TableOffset = TableOffset;
        P->LoadFromBuffer(std::move(Data));
        Slot->Face = std::move(P);
    });
    return Slot->Face;
}

}  // namespace velmo
