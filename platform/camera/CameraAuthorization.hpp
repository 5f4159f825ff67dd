#pragma once

#include <functional>
#include <memory>

namespace ostrel::platform {

// Whether the user lets the application use a capture device (raw values as the phone
// platform numbers them).
enum class AuthorizationStatus {
  notDetermined = 0,
  restricted = 1,
  denied = 2,
  authorized = 3,
};

enum class MediaType { video, audio };

// Who answers the permission questions. Process-wide, installed like the chip reader backend:
// the default looks at the video device nodes; tests install a scripted one.
class CameraAuthorizationBackend {
 public:
  virtual ~CameraAuthorizationBackend() = default;
  virtual AuthorizationStatus status(MediaType type) = 0;
  // Must answer exactly once, on any queue but the caller's turn (never inline).
  virtual void requestAccess(MediaType type, std::function<void(bool granted)> answer) = 0;
};

class CameraAuthorization {
 public:
  static AuthorizationStatus authorizationStatus(MediaType type = MediaType::video);
  // The answer arrives once, off the main queue, as the platform's does.
  static void requestAccess(MediaType type, std::function<void(bool granted)> completionHandler);

  // The installed backend; the device-node one unless something else was installed.
  static std::shared_ptr<CameraAuthorizationBackend> current();
  // Null puts the default back.
  static void install(std::shared_ptr<CameraAuthorizationBackend> backend);
};

// The default: authorised when a video device node can be opened for reading, denied when one
// exists but cannot be opened, authorised when there is no camera at all (setting a session up
// then fails for want of a device). A question is answered with the same rule.
class DeviceNodeCameraAuthorization : public CameraAuthorizationBackend {
 public:
  AuthorizationStatus status(MediaType type) override;
  void requestAccess(MediaType type, std::function<void(bool granted)> answer) override;
};

}  // namespace ostrel::platform
