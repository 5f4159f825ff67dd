#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <set>
#include <vector>

#include "liveness/FaceChecks.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/foundation/DeviceInfo.hpp"

namespace ostrel {
namespace {

using namespace platform;
using face_checks::Verdict;

float after(float v) { return std::nextafter(v, std::numeric_limits<float>::infinity()); }
double below(double v) { return std::nextafter(v, -std::numeric_limits<double>::infinity()); }
double above(double v) { return std::nextafter(v, std::numeric_limits<double>::infinity()); }

FaceObservation angles(std::optional<float> pitch, std::optional<float> yaw,
                       std::optional<float> roll) {
  return *FaceObservation::make(Rect(), pitch, yaw, roll);
}

TEST(FaceChecks, DegreesUseTheShortPiInSinglePrecision) {
  // 20 degrees computed in float falls just short of 20 and truncates to 19.
  EXPECT_LT(face_checks::degrees(0.34906581f), 20.0f);
  EXPECT_EQ(face_checks::degrees(0.34906584f), 20.0f);
  EXPECT_EQ(face_checks::degrees(0.436332285f), 25.0f);
  EXPECT_EQ(face_checks::degrees(-0.523598731f), 30.0f);
  EXPECT_EQ(face_checks::degrees(0.261799365f), 15.0f);
  EXPECT_NEAR(face_checks::degrees(-0.53f), 30.37f, 0.01f);
  EXPECT_NEAR(face_checks::degrees(0.27f), 15.47f, 0.01f);
}

TEST(FaceChecks, FaceBoxFlipsIntoTheReferenceAndDropsOverflowingBoxes) {
  const Rect reference{0, 0, 512, 1024};
  EXPECT_EQ(face_checks::faceBox({0.25, 0.5, 0.25, 0.125}, reference), Rect(128, 384, 128, 128));
  // Finite but huge numbers overflow once scaled: no face rather than a NaN box.
  EXPECT_EQ(face_checks::faceBox({0, -1e308, 1, 1e308}, reference), Rect());
  EXPECT_EQ(face_checks::faceBox({0, 0, 1e308, 0.1}, reference), Rect());
}

TEST(FaceChecks, SizeFilterPassesWideOrTallFaces) {
  const Rect crop{0, 0, 300, 300};
  const double edge = 0.3 * 300;
  struct Row {
    double w, h;
    bool large;
  };
  for (const Row& row : {Row{edge, below(edge), true}, Row{below(edge), edge, true},
                         Row{below(edge), below(edge), false}, Row{0, 0, false}}) {
    SCOPED_TRACE(::testing::Message() << row.w << " x " << row.h);
    EXPECT_EQ(face_checks::isFaceLargeEnough({0, 0, row.w, row.h}, crop, 0.3, 0.3), row.large);
  }
  // Two faces of which one is small count as one; the order is kept.
  const Rect reference{0, 0, 300, 300};
  auto big1 = FaceObservation::make({0.1, 0.1, 0.5, 0.5});
  auto small = FaceObservation::make({0.1, 0.1, 0.2, 0.2});
  auto big2 = FaceObservation::make({0.2, 0.2, 0.3, 0.3});
  const auto kept = face_checks::filterFaces({big1, small, nullptr, big2}, reference, reference,
                                             0.3, 0.3);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0], big1);
  EXPECT_EQ(kept[1], big2);
}

TEST(FaceChecks, EveryThresholdAtItsBoundary) {
  const Rect crop{0, 0, 300, 300};
  const double t = 300 * 0.08662508662508661;
  const double tall = 300 - 2 * t - 10;  // top margin t, bottom margin t + 10
  struct Row {
    const char* name;
    Rect face;
    FaceObservation pose;
    double cameraHeight;
    bool withPitch;
    Verdict verdict;
  };
  const FaceObservation level = angles(0, 0, 0);
  const std::vector<Row> rows{
      {"centred", {100, 100, 100, 100}, level, 1000, true, Verdict::good},
      {"width 0.65 C", {52.5, 100, 0.65 * 300, 100}, level, 1000, true, Verdict::good},
      {"wider", {52.5, 100, above(0.65 * 300), 100}, level, 1000, true, Verdict::tooClose},
      {"taller than 0.65 camera", {100, 85, 100, 131}, level, 200, true, Verdict::tooClose},
      {"width 0.32 C", {102, 100, 0.32 * 300, 100}, level, 1000, true, Verdict::good},
      {"narrower", {102, 100, below(0.32 * 300), 100}, level, 1000, true, Verdict::tooFar},
      {"height 0.32 C", {100, 102, 100, 0.32 * 300}, level, 1000, true, Verdict::good},
      {"shorter", {100, 102, 100, below(0.32 * 300)}, level, 1000, true, Verdict::tooFar},
      {"chin down", {100, 100, 100, 100}, angles(0.3f, 0, 0), 1000, true, Verdict::angle},
      {"chin down, no pitch", {100, 100, 100, 100}, angles(0.3f, 0, 0), 1000, false,
       Verdict::good},
      {"chin up", {100, 100, 100, 100}, angles(-0.3f, 0, 0), 1000, true, Verdict::good},
      {"chin down 15", {100, 100, 100, 100}, angles(0.261799365f, 0, 0), 1000, true,
       Verdict::good},
      {"chin up 30", {100, 100, 100, 100}, angles(-0.523598731f, 0, 0), 1000, true,
       Verdict::good},
      {"chin up past 30", {100, 100, 100, 100}, angles(-after(0.523598731f), 0, 0), 1000, true,
       Verdict::angle},
      {"yaw 30", {100, 100, 100, 100}, angles(0, 0.523598731f, 0), 1000, true, Verdict::good},
      {"yaw past 30", {100, 100, 100, 100}, angles(0, after(0.523598731f), 0), 1000, true,
       Verdict::angle},
      {"roll past 30", {100, 100, 100, 100}, angles(0, 0, -0.6f), 1000, true, Verdict::angle},
      {"no angles", {100, 100, 100, 100}, angles(std::nullopt, std::nullopt, std::nullopt), 1000,
       true, Verdict::good},
      {"margin exactly t", {100, t, 100, tall}, level, 1000, true, Verdict::good},
      {"margin under t", {100, below(t), 100, tall}, level, 1000, true, Verdict::offCenter},
      {"outside", {-1, 100, 100, 100}, level, 1000, true, Verdict::offCenter},
      {"centres too far apart", {127, 100, 100, 100}, level, 1000, true, Verdict::offCenter},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(face_checks::judgeFace(row.face, row.pose, crop, row.cameraHeight, row.withPitch),
              row.verdict);
  }
}

TEST(FaceChecks, HeadMovementsCompleteOnTheirAngleAndSign) {
  using A = OSLFaceAction;
  struct Row {
    const char* name;
    A action;
    FaceObservation face;
    bool withPitch;
    bool completed;
  };
  const auto none = std::nullopt;
  const std::vector<Row> rows{
      {"up -0.53", A::turnUp, angles(-0.53f, none, none), true, true},
      {"up -0.52", A::turnUp, angles(-0.52f, none, none), true, false},
      {"up +0.6", A::turnUp, angles(0.6f, none, none), true, false},
      {"up without pitch", A::turnUp, angles(-0.6f, none, none), false, false},
      {"down 0.27", A::turnDown, angles(0.27f, none, none), true, true},
      {"down 15", A::turnDown, angles(0.261799365f, none, none), true, false},
      {"left 30", A::turnLeft, angles(none, -0.523598731f, none), true, true},
      {"left 29.99", A::turnLeft, angles(none, -std::nextafter(0.523598731f, 0.0f), none), true, false},
      {"right -40", A::turnRight, angles(none, -0.698131f, none), true, false},
      {"right 30", A::turnRight, angles(none, 0.523598731f, none), false, true},
      {"tilt left 19.99", A::tiltLeft, angles(none, none, 0.34906581f), true, false},
      {"tilt left 20", A::tiltLeft, angles(none, none, 0.34906584f), true, true},
      {"tilt left wrong way", A::tiltLeft, angles(none, none, -0.5f), true, false},
      {"tilt left huge", A::tiltLeft, angles(none, none, 3e38f), true, true},
      {"tilt right 25", A::tiltRight, angles(none, none, -0.436332285f), true, true},
      {"tilt right 24", A::tiltRight, angles(none, none, -0.42f), true, false},
      {"no angle", A::tiltRight, angles(none, none, none), true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(face_checks::isActionCompleted(row.action, row.face, row.withPitch), row.completed);
  }
}

// The 64-bit draw whose bounded value for `bound` is `value`, far from the rejection zone.
std::uint64_t drawFor(std::uint64_t value, std::uint64_t bound) {
  return static_cast<std::uint64_t>((static_cast<unsigned __int128>(2 * value + 1) << 63) / bound);
}

TEST(FaceChecks, BoundedDrawRejectsTheBiasedZoneAndShufflesKnownDraws) {
  std::deque<std::uint64_t> words{0, drawFor(4, 6)};
  int draws = 0;
  auto next = [&] {
    ++draws;
    if (words.empty()) return std::numeric_limits<std::uint64_t>::max();
    const auto w = words.front();
    words.pop_front();
    return w;
  };
  // For 6, (2^64 - 6) mod 6 = 4: a draw of 0 (low half 0) is drawn again.
  EXPECT_EQ(face_checks::boundedRandom(6, next), 4u);
  EXPECT_EQ(draws, 2);
  words = {std::numeric_limits<std::uint64_t>::max()};
  EXPECT_EQ(face_checks::boundedRandom(6, next), 5u);

  // Offsets 2, 0, 3, 1, 0 over the six: turnLeft, turnDown, tiltRight come first.
  words = {drawFor(2, 6), drawFor(0, 5), drawFor(3, 4), drawFor(1, 3), drawFor(0, 2)};
  EXPECT_EQ(face_checks::randomFaceActions(true, next),
            (std::vector<OSLFaceAction>{OSLFaceAction::turnLeft, OSLFaceAction::turnDown,
                                        OSLFaceAction::tiltRight}));
  EXPECT_TRUE(words.empty());
}

TEST(FaceChecks, RandomWordsReadTheSourceLeastSignificantByteFirst) {
  crypto::setRandomSource([](std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
    return bytes;
  });
  EXPECT_EQ(face_checks::randomWord(), 0x0807060504030201ull);
  crypto::setRandomSource(nullptr);

  // Without pitch only the four yaw and roll movements ever come, always three distinct ones.
  std::set<OSLFaceAction> seen;
  for (int run = 0; run < 200; ++run) {
    const auto actions = face_checks::randomFaceActions(false);
    ASSERT_EQ(actions.size(), 3u);
    ASSERT_EQ(std::set<OSLFaceAction>(actions.begin(), actions.end()).size(), 3u);
    seen.insert(actions.begin(), actions.end());
  }
  EXPECT_EQ(seen, (std::set<OSLFaceAction>{OSLFaceAction::turnLeft, OSLFaceAction::turnRight,
                                           OSLFaceAction::tiltLeft, OSLFaceAction::tiltRight}));
}

}  // namespace
}  // namespace ostrel
