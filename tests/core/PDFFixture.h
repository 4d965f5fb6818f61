// A store whose indirect objects live in a map: references resolve through
// it and new indirect objects get the next free number.
#pragma once

#include <map>
#include <string_view>

#include "core/Objects.h"
#include "core/Structure.h"

namespace vpltest {

class PDFFixture {
public:
    PDFFixture() {
        S.OnIndObjLookup = [this](velmo::TObject*, int32_t Num, int32_t, velmo::TPDFObject*& Obj) {
            auto It = Objects.find(Num);
            Obj = It == Objects.end() ? nullptr : It->second;
        };
        S.OnNewIndObj = [this](velmo::TObject*, velmo::TPDFObject* Obj, int32_t& Num,
                               int32_t& Gen) {
            Num = Objects.empty() ? 1 : Objects.rbegin()->first + 1;
            Gen = 0;
            Put(Num, Obj);
        };
    }
    // Parses Text and makes it indirect object Num.
    velmo::TPDFObject* Put(int32_t Num, std::string_view Text) { return Put(Num, S.Decode(Text)); }
    velmo::TPDFObject* Put(int32_t Num, velmo::TPDFObject* Obj) {
        Obj->Own(Num, 0);
        Objects[Num] = Obj;
        return Obj;
    }
    velmo::TPDFDictionary* Dict(std::string_view Text) {
        return velmo::ObjAs<velmo::TPDFDictionary>(S.Decode(Text));
    }
    velmo::TPDFDictionary* Get(int32_t Num) {
        auto It = Objects.find(Num);
        return It == Objects.end() ? nullptr : velmo::ObjAs<velmo::TPDFDictionary>(It->second);
    }
    velmo::TPDFIndRef* Ref(int32_t Num) { return S.NewIndirectRef(Num, 0); }

    velmo::TPDFStructure S;
    std::map<int32_t, velmo::TPDFObject*> Objects;
};

}  // namespace vpltest
