#include "platform/com/ClassRegistry.h"

#include <mutex>
#include <string>
#include <unordered_set>

namespace velmo {

namespace {

std::u16string Folded(std::u16string_view S) {
    std::u16string F(S);
    for (char16_t& C : F)
        if (C >= u'A' && C <= u'Z') C = static_cast<char16_t>(C + 32);
    return F;
}

struct Registry {
    std::mutex Lock;
    std::unordered_set<std::u16string> Names;
};

Registry& TheRegistry() {
    static Registry R;
    return R;
}

}  // namespace

void RegisterProgID(std::u16string_view ProgID) {
    Registry& R = TheRegistry();
    std::lock_guard<std::mutex> G(R.Lock);
    R.Names.insert(Folded(ProgID));
}

bool CLSIDFromProgID(std::u16string_view ProgID) {
    Registry& R = TheRegistry();
    std::lock_guard<std::mutex> G(R.Lock);
    return R.Names.count(Folded(ProgID)) != 0;
}

}  // namespace velmo
