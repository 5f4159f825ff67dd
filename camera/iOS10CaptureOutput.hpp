#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/camera/CaptureSession.hpp"
#include "platform/foundation/PlatformError.hpp"
#include "platform/media/Image.hpp"

namespace ostrel {

// Answers a photo request with a picture, or an error.
using CaptureCompletion =
    std::function<void(platform::ImagePtr image, std::optional<platform::PlatformError> error)>;

// Takes still photos of a running camera.
class CaptureOutput {
 public:
  virtual ~CaptureOutput() = default;
  // Returns at once; the completion is called later, exactly once, on the photo output's queue.
  virtual void capture(CaptureCompletion completion) = 0;
};

// The still photo of a running camera session, decoded with its EXIF orientation.
//
// Each request keeps its own completion under the photo's id, so two requests made before the
// first answer are each answered once, with their own photo. Undecodable photo bytes answer with
// neither picture nor error; callers treat that as a failed capture.
class iOS10CaptureOutput : public ostrel::CaptureOutput,
                           public platform::CapturePhotoCaptureDelegate,
                           public std::enable_shared_from_this<iOS10CaptureOutput> {
 public:
  // The error of a photo that came without data.
  static constexpr const char* kErrorDomain = "CameraView";
  static constexpr const char* kConversionFailed = "Fail to convert pixel buffer";
  static constexpr const char* kNoFileData = "AVCapturePhoto.fileDataRepresentation() return null";

  iOS10CaptureOutput();

  const std::shared_ptr<platform::CapturePhotoOutput>& output() const { return output_; }

  void capture(CaptureCompletion completion) override;
  void didFinishProcessingPhoto(platform::CapturePhotoOutput& output,
                                const platform::CapturePhoto& photo,
                                const std::optional<platform::PlatformError>& error) override;

  // Requests not answered yet.
  std::size_t pendingRequestCount() const;

 private:
  const std::shared_ptr<platform::CapturePhotoOutput> output_;
  mutable std::mutex mutex_;
  std::map<std::int64_t, CaptureCompletion> callbacks_;
};

}  // namespace ostrel
