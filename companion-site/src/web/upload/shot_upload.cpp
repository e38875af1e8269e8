#include "web/upload/shot_upload.h"

#include "web/quota.h"

namespace site {

void ShotUpload::append(std::string_view bytes) {
    if (tooLarge_ || size_ + bytes.size() > kMaxShotBytes) {
        tooLarge_ = true;
        return;
    }
    size_ += bytes.size();
    png_.feed(bytes);
    file_->write(bytes);
}

}  // namespace site
