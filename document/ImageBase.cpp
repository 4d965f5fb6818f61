#include "document/ImageBase.h"

namespace velmo {

TPDFImageFactory& ImageFactory() {
    static TPDFImageFactory factory;
    return factory;
}

}  // namespace velmo
