#pragma once

#include <vector>

namespace ostrel::platform {

// How the device is held (raw values as the phone platform numbers them).
enum class DeviceOrientation : int {
  unknown = 0,
  portrait = 1,
  portraitUpsideDown = 2,
  landscapeLeft = 3,
  landscapeRight = 4,
  faceUp = 5,
  faceDown = 6,
};

enum class UserInterfaceIdiom : int { unspecified = -1, phone = 0, pad = 1 };

// The device the library runs on, as far as screens ask about it. A headless machine has no
// sensors, so the orientation is whatever was last set (portrait at start); tests and the demo
// set it. Safe from any thread.
class Device {
 public:
  static Device& current();

  DeviceOrientation orientation() const;
  void setOrientation(DeviceOrientation orientation);

  // Phone unless a test says otherwise.
  UserInterfaceIdiom userInterfaceIdiom() const;
  void setUserInterfaceIdiom(UserInterfaceIdiom idiom);

  // The older systems' way of asking for an orientation: setting the device's "orientation"
  // value. Recorded (every raw value set, in order); it does not turn the device here.
  void setLegacyOrientationValue(int rawValue);
  std::vector<int> legacyOrientationValues() const;

  // What the system offers, standing for checks of its version: the photo picker of newer
  // systems and scene geometry requests. Both on unless a test switches them off.
  bool supportsModernPhotoPicker() const;
  void setSupportsModernPhotoPicker(bool supported);
  bool supportsSceneGeometryRequests() const;
  void setSupportsSceneGeometryRequests(bool supported);

  // Back to a portrait phone with every capability and nothing recorded (between tests).
  void resetForTesting();

 private:
  Device() = default;
};

}  // namespace ostrel::platform
