#include "render/Picasso.h"

namespace velmo {

void TPDFPicasso::DrawBitmap(TBitmap*, double&, double&, double&, double&, double&, double&) {}

HRESULT TImageBytesStreamAdapter::QueryInterface(const TGUID& Iid, void** Object) {
    return IStream::QueryInterface(Iid, Object);
}

}  // namespace velmo
