#pragma once

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

// The device the library runs on, as far as screens ask about it. A headless machine has no
// sensors, so the orientation is whatever was last set (portrait at start); tests and the demo
// set it. Safe from any thread.
class Device {
 public:
  static Device& current();

  DeviceOrientation orientation() const;
  void setOrientation(DeviceOrientation orientation);

  // Back to a portrait device (between tests).
  void resetForTesting();

 private:
  Device() = default;
};

}  // namespace ostrel::platform
