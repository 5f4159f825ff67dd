#include "liveness/FaceChecks.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/crypto/Crypto.hpp"

namespace ostrel::face_checks {

using platform::FaceObservation;
using platform::FaceObservationPtr;
using platform::Rect;

namespace {

constexpr float kPi = 3.1415925f;

bool isFinite(const Rect& r) {
  return std::isfinite(r.minX()) && std::isfinite(r.minY()) && std::isfinite(r.width()) &&
         std::isfinite(r.height());
}

bool containsRect(const Rect& outer, const Rect& inner) {
  return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() &&
         inner.minY() >= outer.minY() && inner.maxY() <= outer.maxY();
}

// Whether the angle, when present, has the sign the movement wants.
bool hasSign(float angle, int sign) {
  return sign < 0 ? angle <= 0 : angle >= 0;
}

}  // namespace

float degrees(float radians) {
  const float magnitude = std::fabs(radians);
  const float scaled = magnitude * 180.0f;
  return scaled / kPi;
}

Rect faceBox(const Rect& boundingBox, const Rect& reference) {
  const double w = reference.width(), h = reference.height();
  const Rect box{boundingBox.minX() * w, h - boundingBox.minY() * h - boundingBox.height() * h,
                 boundingBox.width() * w, boundingBox.height() * h};
  // A box from an untrusted detector that overflows is no face at all.
  return isFinite(box) ? box : Rect();
}

bool isFaceLargeEnough(const Rect& face, const Rect& crop, double widthRatio,
                       double heightRatio) {
  return !(face.width() < widthRatio * crop.width() && face.height() < heightRatio * crop.height());
}

std::vector<FaceObservationPtr> filterFaces(const std::vector<FaceObservationPtr>& observations,
                                            const Rect& reference, const Rect& crop,
                                            double widthRatio, double heightRatio) {
  std::vector<FaceObservationPtr> large;
  for (const auto& observation : observations) {
    if (!observation) continue;
    if (isFaceLargeEnough(faceBox(observation->boundingBox, reference), crop, widthRatio,
                          heightRatio)) {
      large.push_back(observation);
    }
  }
  return large;
}

Verdict judgeFace(const Rect& face, const FaceObservation& angles, const Rect& crop,
                  double cameraViewHeight, bool withPitch) {
  if (face.width() > kTooCloseRatio * crop.width() ||
      face.height() > kTooCloseRatio * cameraViewHeight) {
    return Verdict::tooClose;
  }
  if (face.width() < kTooFarRatio * crop.width() || face.height() < kTooFarRatio * crop.height()) {
    return Verdict::tooFar;
  }
  if (withPitch && angles.pitch) {
    const float pitch = *angles.pitch;
    if (pitch <= 0 && degrees(pitch) > 30.0f) return Verdict::angle;
    if (pitch >= 0 && degrees(pitch) > 15.0f) return Verdict::angle;
  }
  if (angles.yaw && degrees(*angles.yaw) > 30.0f) return Verdict::angle;
  if (angles.roll && degrees(*angles.roll) > 30.0f) return Verdict::angle;

  const double t = crop.width() * kCentringFactor;
  const double dx = face.midX() - crop.midX();
  const double dy = face.midY() - crop.midY();
  const double margin = std::min({face.minX() - crop.minX(), crop.maxX() - face.maxX(),
                                  face.minY() - crop.minY(), crop.maxY() - face.maxY()});
  if (!containsRect(crop, face) || std::sqrt(dx * dx + dy * dy) > t || t > margin) {
    return Verdict::offCenter;
  }
  return Verdict::good;
}

std::string messageKey(Verdict verdict) {
  switch (verdict) {
    case Verdict::good: return {};
    case Verdict::tooClose: return "liveness_message_too_close";
    case Verdict::tooFar: return "liveness_message_too_far";
    case Verdict::angle: return "liveness_message_angle";
    case Verdict::offCenter: return "liveness_message_center";
  }
  return {};
}

bool isActionCompleted(OSLFaceAction action, const FaceObservation& face, bool withPitch) {
  switch (action) {
    case OSLFaceAction::turnUp:
      return withPitch && face.pitch && hasSign(*face.pitch, -1) && degrees(*face.pitch) > 30.0f;
    case OSLFaceAction::turnDown:
      return withPitch && face.pitch && hasSign(*face.pitch, 1) && degrees(*face.pitch) > 15.0f;
    case OSLFaceAction::turnLeft:
      return face.yaw && hasSign(*face.yaw, -1) && degrees(*face.yaw) >= 30.0f;
    case OSLFaceAction::turnRight:
      return face.yaw && hasSign(*face.yaw, 1) && degrees(*face.yaw) >= 30.0f;
    // The tilts count whole degrees only (19.9 is 19); truncating the float itself keeps any
    // size, however large, away from an integer conversion.
    case OSLFaceAction::tiltLeft:
      return face.roll && hasSign(*face.roll, 1) && std::trunc(degrees(*face.roll)) >= 20.0f;
    case OSLFaceAction::tiltRight:
      return face.roll && hasSign(*face.roll, -1) && std::trunc(degrees(*face.roll)) >= 25.0f;
  }
  return false;
}

std::uint64_t randomWord() {
  const platform::Bytes bytes = platform::crypto::randomBytes(8);
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < 8 && i < bytes.size(); ++i) {
    word |= std::uint64_t(bytes[i]) << (8 * i);
  }
  return word;
}

std::uint64_t boundedRandom(std::uint64_t bound, const std::function<std::uint64_t()>& draw) {
  if (bound <= 1) return 0;
  unsigned __int128 product = static_cast<unsigned __int128>(draw()) * bound;
  auto low = static_cast<std::uint64_t>(product);
  if (low < bound) {
    // (2^64 - bound) mod bound, in 64-bit arithmetic.
    const std::uint64_t threshold = (0 - bound) % bound;
    while (low < threshold) {
      product = static_cast<unsigned __int128>(draw()) * bound;
      low = static_cast<std::uint64_t>(product);
    }
  }
  return static_cast<std::uint64_t>(product >> 64);
}

std::vector<OSLFaceAction> randomFaceActions(bool withPitch,
                                             const std::function<std::uint64_t()>& draw) {
  std::vector<OSLFaceAction> actions;
  for (OSLFaceAction action : face_action::allCases) {
    const bool pitch = action == OSLFaceAction::turnUp || action == OSLFaceAction::turnDown;
    if (withPitch || !pitch) actions.push_back(action);
  }
  const std::size_t n = actions.size();
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const std::size_t j = i + static_cast<std::size_t>(boundedRandom(n - i, draw));
    if (i != j) std::swap(actions[i], actions[j]);
  }
  actions.resize(std::min<std::size_t>(n, 3));
  return actions;
}

}  // namespace ostrel::face_checks
