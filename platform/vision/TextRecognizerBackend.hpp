#pragma once

// What reads text for a text recognition request: on a phone the platform's recogniser; here
// the zone-line reader by default, or a scripted recogniser in tests. Installed process-wide.

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/media/Geometry.hpp"

namespace ostrel::platform {

// One line of text as a recogniser reports it.
struct RecognizedTextLine {
  std::string string;
  float confidence = 0;  // 0-1
  // Normalised to the picture that was read, origin bottom-left (as observations report it).
  Rect boundingBox;
  // Per character of `string`, whether it is a guess: the glyph looks nearly as much like some
  // other character. Empty when the recogniser does not tell.
  std::vector<bool> unsure = {};
  // Per character of `string`, what the glyph reads as where only a letter or the filler can
  // stand (a glyph read as 0 may then be a D, an O or a U), and whether that is a guess. Empty
  // when the recogniser does not tell.
  std::string letters = {};
  std::vector<bool> unsureLetters = {};
};

struct TextRecognitionOptions {
  bool fast = false;
  bool usesLanguageCorrection = true;
};

class TextRecognizerBackend {
 public:
  virtual ~TextRecognizerBackend() = default;

  // The installed backend; the zone-line reader unless something else was installed.
  static std::shared_ptr<TextRecognizerBackend> current();
  // nullptr goes back to the zone-line reader.
  static void install(std::shared_ptr<TextRecognizerBackend> backend);

  // Reads the lines of an upright 8-bit grey picture, top to bottom. May be called from any
  // queue, one call at a time per request; throws std::runtime_error when it cannot read at all.
  virtual std::vector<RecognizedTextLine> recognize(const cv::Mat& grey,
                                                    const TextRecognitionOptions& options) = 0;
};

}  // namespace ostrel::platform
