#include <cstdlib>
#include <iostream>

#include <gtest/gtest.h>

#include "platform/vision/MRZLineRecognizer.hpp"
#include "testing/MRZEvaluation.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel::testing {
namespace {

class EvaluationSetTest : public RuntimeTest {
 protected:
  void SetUp() override {
    platform::TextRecognizerBackend::install(std::make_shared<platform::MRZLineRecognizer>());
  }
};

TEST_F(EvaluationSetTest, Probe) {
  const int count = std::getenv("EVAL_COUNT") ? std::atoi(std::getenv("EVAL_COUNT")) : 20;
  int ok = 0, wrong = 0;
  for (int i = 0; i < count; ++i) {
    const auto zone = evaluationZone(i);
    const auto run = scanLikeTheScanner(evaluationSequence(i), 30);
    const bool good = run.matches(zone);
    ok += good;
    if (run.zoneText && !good) ++wrong;
    if (!good) {
      const auto style = evaluationStyle(i);
      std::cout << i << " size " << style.characterHeight << " rot " << style.rotationDegrees << " blur " << style.blurSigma << " frames " << run.framesRead << (run.zoneText ? " WRONG" : " none") << "\n";
    }
  }
  std::cout << "ok " << ok << "/" << count << " wrong " << wrong << "\n";
}

}  // namespace
}  // namespace ostrel::testing
