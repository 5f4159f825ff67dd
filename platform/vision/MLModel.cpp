#include "platform/vision/MLModel.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <mutex>

#include <opencv2/dnn.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/OnnxModelInfo.hpp"
#include "platform/vision/VisionError.hpp"

namespace ostrel::platform {
namespace {

std::mutex& loaderLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<ModelLoader>& installedLoader() {
  static std::shared_ptr<ModelLoader> loader;
  return loader;
}

// The importer prints its complaints about a broken file; the error we throw carries them.
class QuietOpenCV {
 public:
  QuietOpenCV()
      : previous_(cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT)) {}
  ~QuietOpenCV() { cv::utils::logging::setLogLevel(previous_); }

 private:
  cv::utils::logging::LogLevel previous_;
};

[[noreturn]] void failed(VisionErrorCode code, const std::string& what) {
  throw VisionError(code, what);
}

// Scores are ranked best first; a score that is not a number ranks last.
bool ranksBefore(const ClassificationLabel& a, const ClassificationLabel& b) {
  if (std::isnan(b.confidence)) return !std::isnan(a.confidence);
  if (std::isnan(a.confidence)) return false;
  return a.confidence > b.confidence;
}

class OnnxDetector : public MLModel {
 public:
  OnnxDetector(cv::dnn::Net net, OnnxModelInfo info)
      : net_(std::move(net)), info_(std::move(info)) {}

  // Runs the graph once on a blank input so that a model whose outputs do not fit the format
  // is refused when it is loaded, not on every frame.
  void check() {
    cv::Mat blank(info_.inputHeight, info_.inputWidth, CV_8UC3, cv::Scalar::all(0));
    auto [confidence, coordinates] = run(blank);
    (void)coordinates;
    if (!info_.labels) failed(VisionErrorCode::invalidModel, "The model has no \"labels\".");
    if (static_cast<std::size_t>(confidence.cols) != info_.labels->size()) {
      failed(VisionErrorCode::invalidModel,
             "The model scores " + std::to_string(confidence.cols) + " classes but names " +
                 std::to_string(info_.labels->size()) + " in \"labels\".");
    }
  }

  std::vector<RecognizedObjectObservationPtr> detectObjects(
      const cv::Mat& uprightRGBA, ImageCropAndScaleOption option) override {
    if (uprightRGBA.empty() || uprightRGBA.type() != CV_8UC4) {
      failed(VisionErrorCode::invalidImage, "The picture is empty or not RGBA.");
    }
    auto [input, mapping] =
        fitToModelInput(uprightRGBA, info_.inputWidth, info_.inputHeight, option);
    auto [confidence, coordinates] = run(input);
    const auto& labels = *info_.labels;
    if (static_cast<std::size_t>(confidence.cols) != labels.size()) {
      failed(VisionErrorCode::internalError, "The model scored an unexpected number of classes.");
    }
    std::vector<RecognizedObjectObservationPtr> found;
    for (int i = 0; i < confidence.rows; ++i) {
      std::vector<ClassificationLabel> ranked;
      for (int c = 0; c < confidence.cols; ++c) {
        ranked.push_back({labels[static_cast<std::size_t>(c)], confidence.at<float>(i, c)});
      }
      std::stable_sort(ranked.begin(), ranked.end(), ranksBefore);
      const float* box = coordinates.ptr<float>(i);
      Rect inputBox{box[0] - box[2] / 2.0, box[1] - box[3] / 2.0, box[2], box[3]};
      float top = ranked.empty() ? 0.f : ranked.front().confidence;
      found.push_back(RecognizedObjectObservation::make(pictureBoxFromInputBox(inputBox, mapping),
                                                        top, std::move(ranked)));
    }
    return found;
  }

 private:
  // The two outputs as N x C and N x 4 float matrices.
  std::pair<cv::Mat, cv::Mat> run(const cv::Mat& rgb) {
    std::vector<cv::Mat> outputs;
    try {
      cv::Mat blob = cv::dnn::blobFromImage(rgb, 1.0 / 255.0, cv::Size(), cv::Scalar(), false,
                                            false, CV_32F);
      std::lock_guard lock(runLock_);
      net_.setInput(blob, info_.inputName);
      net_.forward(outputs, std::vector<cv::String>{"confidence", "coordinates"});
    } catch (const cv::Exception& e) {
      failed(VisionErrorCode::internalError, std::string("The model could not run: ") + e.what());
    }
    if (outputs.size() != 2) failed(VisionErrorCode::internalError, "The model gave no outputs.");
    cv::Mat confidence = asMatrix(outputs[0], "confidence", -1);
    cv::Mat coordinates = asMatrix(outputs[1], "coordinates", 4);
    if (confidence.rows != coordinates.rows) {
      failed(VisionErrorCode::invalidModel,
             "\"confidence\" and \"coordinates\" disagree on the number of detections.");
    }
    return {confidence, coordinates};
  }

  static cv::Mat asMatrix(const cv::Mat& output, const char* name, int columns) {
    if (output.depth() != CV_32F || output.dims != 2 || (columns > 0 && output.cols != columns)) {
      failed(VisionErrorCode::invalidModel,
             std::string("The output \"") + name + "\" does not have the detector's shape.");
    }
    return output.clone();
  }

  cv::dnn::Net net_;
  OnnxModelInfo info_;
  std::mutex runLock_;
};

}  // namespace

MLModelPtr MLModel::contentsOf(const std::filesystem::path& url) {
  return ModelLoader::current()->load(url);
}

void ModelLoader::install(std::shared_ptr<ModelLoader> loader) {
  std::lock_guard lock(loaderLock());
  installedLoader() = std::move(loader);
}

std::shared_ptr<ModelLoader> ModelLoader::current() {
  std::lock_guard lock(loaderLock());
  if (!installedLoader()) installedLoader() = std::make_shared<OnnxDetectorLoader>();
  return installedLoader();
}

MLModelPtr OnnxDetectorLoader::load(const std::filesystem::path& url) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(url, error)) {
    failed(VisionErrorCode::invalidModel, "No model file at " + url.string() + ".");
  }
  std::ifstream in(url, std::ios::binary);
  if (!in) failed(VisionErrorCode::invalidModel, "The model file cannot be read.");
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return loadFromBytes(data);
}

MLModelPtr OnnxDetectorLoader::loadFromBytes(const Bytes& data) {
  OnnxModelInfo info = readOnnxModelInfo(data);
  for (const char* name : {"confidence", "coordinates"}) {
    if (std::find(info.outputNames.begin(), info.outputNames.end(), name) ==
        info.outputNames.end()) {
      failed(VisionErrorCode::invalidModel,
             std::string("The model has no output \"") + name + "\".");
    }
  }
  cv::dnn::Net net;
  QuietOpenCV quiet;
  try {
    net = cv::dnn::readNetFromONNX(reinterpret_cast<const char*>(data.data()), data.size());
  } catch (const std::exception& e) {
    failed(VisionErrorCode::invalidModel, std::string("The model cannot be read: ") + e.what());
  }
  if (net.empty()) failed(VisionErrorCode::invalidModel, "The model has no layers.");
  net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
  net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
  auto model = std::make_shared<OnnxDetector>(std::move(net), std::move(info));
  model->check();
  return model;
}

std::pair<cv::Mat, ModelInputMapping> fitToModelInput(const cv::Mat& uprightRGBA, int width,
                                                      int height,
                                                      ImageCropAndScaleOption option) {
  cv::Mat rgb;
  cv::cvtColor(uprightRGBA, rgb, cv::COLOR_RGBA2RGB);
  const double W = rgb.cols, H = rgb.rows;
  ModelInputMapping mapping;
  cv::Mat input;
  switch (option) {
    case ImageCropAndScaleOption::centerCrop: {
      const double aspect = double(width) / height;
      double cw = W, ch = H;
      if (W / H > aspect) {
        cw = H * aspect;
      } else {
        ch = W / aspect;
      }
      cv::Rect crop(static_cast<int>(std::lround((W - cw) / 2)),
                    static_cast<int>(std::lround((H - ch) / 2)),
                    std::max(1, static_cast<int>(std::lround(cw))),
                    std::max(1, static_cast<int>(std::lround(ch))));
      crop &= cv::Rect(0, 0, rgb.cols, rgb.rows);
      cv::resize(rgb(crop), input, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
      mapping = {crop.x / W, crop.width / W, crop.y / H, crop.height / H};
      break;
    }
    case ImageCropAndScaleOption::scaleFit: {
      const double s = std::min(width / W, height / H);
      const int cw = std::clamp(static_cast<int>(std::lround(W * s)), 1, width);
      const int ch = std::clamp(static_cast<int>(std::lround(H * s)), 1, height);
      const int ox = (width - cw) / 2, oy = (height - ch) / 2;
      input = cv::Mat(height, width, CV_8UC3, cv::Scalar::all(0));
      cv::resize(rgb, input(cv::Rect(ox, oy, cw, ch)), cv::Size(cw, ch), 0, 0, cv::INTER_LINEAR);
      mapping = {-double(ox) / cw, double(width) / cw, -double(oy) / ch, double(height) / ch};
      break;
    }
    case ImageCropAndScaleOption::scaleFill:
      cv::resize(rgb, input, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
      break;
  }
  return {input, mapping};
}

Rect pictureBoxFromInputBox(const Rect& box, const ModelInputMapping& m) {
  // Values pass through unchanged in kind: a model that answers NaN gets NaN back, and the
  // reader of the observation decides what to do with it.
  double x = m.offsetX + m.scaleX * box.minX();
  double y = m.offsetY + m.scaleY * box.minY();
  double w = m.scaleX * box.width();
  double h = m.scaleY * box.height();
  return {x, 1 - y - h, w, h};
}

}  // namespace ostrel::platform
