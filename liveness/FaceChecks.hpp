#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "liveness/OSLFaceAction.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/vision/FaceObservation.hpp"

namespace ostrel::face_checks {

// The judgement of one face against the capture circle, free of any screen so that it can be
// measured and pinned on its own. Every comparison is made on the values exactly as written
// here: the ratios and the centring factor in double precision on the rectangles, the angles in
// single precision.
//
// F is a face box in the reference frame R (the preview's frame), C the capture circle's frame
// in the mask's coordinates; the layout keeps the mask exactly over the preview, so the two are
// compared directly.

inline constexpr double kSizeFilterRatio = 0.3;
inline constexpr double kTooCloseRatio = 0.65;
inline constexpr double kTooFarRatio = 0.32;
inline constexpr double kCentringFactor = 0.08662508662508661;
inline constexpr int kConfidenceStep = 15;
inline constexpr int kMessagePenalty = 10;

// Degrees of an angle in radians: |angle| x 180 / 3.1415925, all in single precision (the
// thresholds were tuned on exactly this arithmetic, whose pi is slightly short).
float degrees(float radians);

// The observation's normalised box (origin bottom-left) as a box in `reference` (origin
// top-left), relative to the reference's own origin.
platform::Rect faceBox(const platform::Rect& boundingBox, const platform::Rect& reference);

// False only when the face is both narrower than `widthRatio` x C and shorter than
// `heightRatio` x C.
bool isFaceLargeEnough(const platform::Rect& face, const platform::Rect& crop, double widthRatio,
                       double heightRatio);

// The observations, in their order, whose box in `reference` is large enough against `crop`.
std::vector<platform::FaceObservationPtr> filterFaces(
    const std::vector<platform::FaceObservationPtr>& observations,
    const platform::Rect& reference, const platform::Rect& crop, double widthRatio,
    double heightRatio);

enum class Verdict { good, tooClose, tooFar, angle, offCenter };

// The checks of one sizeable face, in their order: too close (against C's width or the camera
// view's height), too far, head angle (pitch only where the device reports it), centring.
Verdict judgeFace(const platform::Rect& face, const platform::FaceObservation& angles,
                  const platform::Rect& crop, double cameraViewHeight, bool withPitch);

// The guide message of a verdict (empty for `good`).
std::string messageKey(Verdict verdict);

// Whether the face completes `action`. A missing angle, or a pitch movement on a device without
// pitch, never completes.
bool isActionCompleted(OSLFaceAction action, const platform::FaceObservation& face,
                       bool withPitch);

// 64 random bits from the library's random source (`platform::crypto::randomBytes`), the eight
// bytes read least significant first.
std::uint64_t randomWord();

// A uniform value in 0 ..< `bound` (bound > 0) from 64-bit draws: the high half of draw x bound,
// drawing again while the low half is below (2^64 - bound) mod bound.
std::uint64_t boundedRandom(std::uint64_t bound, const std::function<std::uint64_t()>& draw);

// The movements a run asks for: all six (only the four without pitch when the device gives no
// pitch), shuffled by Fisher-Yates with `boundedRandom`, the first three of them.
std::vector<OSLFaceAction> randomFaceActions(
    bool withPitch, const std::function<std::uint64_t()>& draw = randomWord);

}  // namespace ostrel::face_checks
