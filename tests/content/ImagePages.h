// Image pages built by the engine itself: a blank document, each image added
// through the document's image registry, given a page of its pixel size in
// points and drawn there by the page tree's painter; the document's save
// writes the file.
#pragma once

#include <memory>
#include <string>

#include "content/Image.h"
#include "content/Painter.h"
#include "core/StringHelpers.h"
#include "document/Document.h"
#include "document/ImageBase.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"

namespace vpltest {

struct TImagePages {
    std::unique_ptr<velmo::TPDFDocument> Doc;
    int32_t Pages = 0;

    TImagePages() {
        // The document makes its painter and images through these.
        velmo::InstallContentServices();
        Doc = std::make_unique<velmo::TPDFDocument>();
        Doc->CreateBlank();
        const std::string now = velmo::NowAsPDFDate();
        Doc->SetRawInfo("CreationDate", now, velmo::smString);
        Doc->SetRawInfo("ModDate", now, velmo::smString);
    }

    // The image, or nullptr when the registry refuses the data.
    velmo::TPDFImage* AddImagePage(velmo::TStream& In, int32_t Options = 0) {
        using namespace velmo;
        auto* img = dynamic_cast<TPDFImage*>(Doc->NewImageFromStream(In, Options, 0));
        if (img == nullptr) return nullptr;
        if (img->Contains16Bit() && Doc->Version() < "1.5") Doc->SetVersion("1.5");
        TPDFPageTree* tree = Doc->PageTree();
        const double w = img->FWidth, h = img->FHeight;
        if (Pages > 0) tree->NewPages(Pages + 1, 1, w, h);
        tree->SetPage(++Pages);
        tree->SetPageWidth(w);
        tree->SetPageHeight(h);
        tree->UseImage(img);
        dynamic_cast<TPDFPainter*>(tree->Painter())->DrawImage(img, 0, h, w, h);
        return img;
    }

    velmo::TPDFImage* AddImagePage(const std::string& Bytes, int32_t Options = 0) {
        velmo::TStringStream in(Bytes);
        return AddImagePage(in, Options);
    }
};

}  // namespace vpltest
