#pragma once
// An upload on its way in: the bytes go straight to a temporary shot file
// and through the PNG check as they arrive, so no upload is held whole.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/byte_stream.h"
#include "storage/shot_storage.h"
#include "web/upload/png_check.h"

namespace site {

class ShotUpload final : public ByteSink {
public:
    explicit ShotUpload(std::unique_ptr<IncomingShot> file) : file_(std::move(file)) {}

    // Past the largest shot nothing more is written and tooLarge() holds.
    void append(std::string_view bytes) override;
    bool tooLarge() const { return tooLarge_; }
    std::uint64_t size() const { return size_; }
    PngProblem pngProblem() const { return png_.finish(); }
    // Durable under `id` once it returns.
    void keep(const std::string& id) { file_->keep(id); }

private:
    std::unique_ptr<IncomingShot> file_;
    PngChecker png_;
    std::uint64_t size_ = 0;
    bool tooLarge_ = false;
};

}  // namespace site
