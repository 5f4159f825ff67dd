// The photo set's camera: the printed page held in a shaking hand under a phone, seen through a
// lens (perspective, barrel distortion, depth-dependent defocus, vignetting), lit unevenly with
// a glare spot on the laminate, exposed by a settling auto-exposure onto a noisy sensor, tone
// mapped, sharpened and JPEG-compressed as a phone's pipeline does, and handed over as a '420f'
// buffer in the sensor's landscape orientation.

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "testing/MRZPhotoSet.hpp"
#include "testing/MRZPhotoSetParts.hpp"

namespace ostrel::testing {

namespace {

constexpr double kPhotoDegree = 3.141592653589793 / 180;

// Smooth noise: a coarse random grid resized up, in [-1, 1].
cv::Mat photoSmoothNoise(PhotoRandom& random, cv::Size size, int cell) {
  cv::Mat coarse(size.height / cell + 3, size.width / cell + 3, CV_32F);
  for (int y = 0; y < coarse.rows; ++y)
    for (int x = 0; x < coarse.cols; ++x) coarse.at<float>(y, x) = float(random.uniform(-1, 1));
  cv::Mat fine;
  cv::resize(coarse, fine, cv::Size(coarse.cols * cell, coarse.rows * cell), 0, 0, cv::INTER_CUBIC);
  return fine(cv::Rect(cell, cell, size.width, size.height)).clone();
}

// What lies behind the page, out of focus: a wooden table, a grey desk, dark cloth, or a room
// behind the hand that holds the page.
cv::Mat photoBackground(PhotoRandom& random, int kind, cv::Size size) {
  cv::Mat out(size, CV_32FC3);
  const cv::Mat low = photoSmoothNoise(random, size, 64);
  const cv::Mat mid = photoSmoothNoise(random, size, 8);
  const double grain = random.uniform(0.01, 0.03);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      const double n = low.at<float>(y, x), g = mid.at<float>(y, x);
      cv::Vec3f c;
      switch (kind) {
        case 0: {  // wood: rings along one axis, bent by the low noise
          const double ring = 0.5 + 0.5 * std::sin(y * 0.05 + 6 * n);
          c = cv::Vec3f(float(0.03 + 0.02 * ring), float(0.08 + 0.05 * ring), float(0.16 + 0.1 * ring));
          break;
        }
        case 1: c = cv::Vec3f(float(0.22 + 0.03 * n), float(0.22 + 0.03 * n), float(0.21 + 0.03 * n)); break;
        case 2: {
          const double weave = std::sin(x * 1.3) * std::sin(y * 1.3);
          c = cv::Vec3f(float(0.03 + 0.01 * weave), float(0.02 + 0.008 * weave), float(0.015 + 0.006 * weave));
          break;
        }
        default: c = cv::Vec3f(float(0.1 + 0.06 * n), float(0.12 + 0.06 * n), float(0.14 + 0.05 * n)); break;
      }
      c *= float(1 + grain * g + 0.15 * n);
      out.at<cv::Vec3f>(y, x) = c;
    }
  cv::GaussianBlur(out, out, cv::Size(), random.uniform(1.5, 4));
  return out;
}

cv::Matx33d photoRotation(double ax, double ay, double az) {
  const double cx = std::cos(ax), sx = std::sin(ax), cy = std::cos(ay), sy = std::sin(ay), cz = std::cos(az),
               sz = std::sin(az);
  const cv::Matx33d rx(1, 0, 0, 0, cx, -sx, 0, sx, cx);
  const cv::Matx33d ry(cy, 0, sy, 0, 1, 0, -sy, 0, cy);
  const cv::Matx33d rz(cz, -sz, 0, sz, cz, 0, 0, 0, 1);
  return rz * ry * rx;
}


}  // namespace

// The pose and light of one frame.
struct PhotoPose {
  double scale = 1;  // px per mm at the zone's centre
  cv::Point2d centre;  // zone's centre in the upright picture, undistorted
  double turn = 0, tiltX = 0, tiltY = 0;  // radians
  cv::Point2d motion;  // blur path during the exposure, px
  double focusError = 0;  // relative to the zone's depth
  cv::Point2d glare;  // the spot's centre, px
  double exposure = 1;  // over the settled one
  cv::Point2d backgroundShift;
};

struct PhotoSequenceRenderer::State {
  PhotoSequence sequence;
  PhotoPage page;
  std::vector<cv::Mat> pyramid;
  cv::Mat background;  // linear BGR, larger than the picture by `backgroundPad` on each side
  int backgroundPad = 24;
  cv::Size upright;
  double focal = 1000;
  double lightAngle = 0;
  double glareSigma = 40;
  double glareAspect = 1;
  double sheenAngle = 0;
  std::vector<PhotoPose> poses;
};

PhotoSequenceRenderer::PhotoSequenceRenderer(const PhotoSequence& sequence) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.sequence = sequence;
  const PhotoCamera& camera = sequence.camera;
  s.page = printPhotoPage(sequence);
  s.pyramid.push_back(s.page.texture);
  for (int level = 1; level < 4; ++level) {
    cv::Mat down;
    cv::pyrDown(s.pyramid.back(), down);
    s.pyramid.push_back(down);
  }
  s.upright = camera.upright ? cv::Size(camera.bufferHeight, camera.bufferWidth)
                             : cv::Size(camera.bufferWidth, camera.bufferHeight);
  const double W = s.upright.width, H = s.upright.height;
  // A phone's main camera: about 68 degrees across the long side.
  s.focal = 0.5 * std::max(W, H) / std::tan(34 * kPhotoDegree);
  PhotoRandom random(sequence.seed * 131 + std::uint64_t(sequence.index) * 104729 + 11);
  s.background = photoBackground(random, sequence.print.behind,
                                 cv::Size(s.upright.width + 2 * s.backgroundPad, s.upright.height + 2 * s.backgroundPad));
  s.lightAngle = random.uniform(0, 6.283185307179586);
  s.glareSigma = random.uniform(0.03, 0.08) * std::min(W, H);
  s.glareAspect = random.uniform(0.5, 2);
  s.sheenAngle = random.uniform(0, 3.14159);

  // Fit the zone to the region: a capital height the region cannot hold shrinks to one it can.
  const platform::Rect roi = photoSetRegionOfInterest(camera.upright);
  const double rx = roi.minX() * W, ry = (1 - roi.maxY()) * H, rw = roi.width() * W, rh = roi.height() * H;
  const double capMm = kPhotoCapMm * sequence.print.glyphScale;
  const double turn = std::abs(camera.turn) * kPhotoDegree;
  const double zoneW = s.page.zoneWidthMm, zoneH = s.page.zoneHeightMm;
  const double across = zoneW * std::cos(turn) + zoneH * std::sin(turn);
  const double tilt = std::hypot(camera.tiltX, camera.tiltY) * kPhotoDegree;
  const double fit = 0.86 * rw / (across * (1 + 0.6 * std::sin(tilt)));
  double scale0 = camera.capHeight / capMm;
  scale0 = std::min(scale0, fit / std::max(1.0, camera.approach));
  scale0 = std::min(scale0, 0.8 * rh / (zoneH + 2) / std::max(1.0, camera.approach));
  s.sequence.camera.capHeight = scale0 * capMm;

  // Where in the region the zone sits: anywhere its largest frame still fits, or, for a zone
  // the region's edge cuts off, a few characters past the edge.
  const double largest = scale0 * std::max(1.0, camera.approach);
  const double slackX = std::max(0.0, (0.92 * rw - across * largest) / 2);
  const double slackY = std::max(0.0, (0.85 * rh - (zoneH * std::cos(turn) + zoneW * std::sin(turn)) * largest) / 2);
  cv::Point2d place(rx + rw / 2 + random.uniform(-0.6, 0.6) * slackX, ry + rh / 2 + random.uniform(-0.6, 0.6) * slackY);
  if (sequence.negative == PhotoNegative::cutOff) {
    const double past = (3 + random.below(5)) * kPhotoPitchMm * largest;
    const double side = random.chance(0.5) ? 1 : -1;
    place.x = rx + rw / 2 + side * (rw / 2 - across * largest / 2 + past);
  }

  // The hand: a slow drift plus tremor (a damped random walk), a small angular tremor; the
  // distance changes smoothly over the sequence; auto-exposure settles from its first guess.
  cv::Point2d tremor(0, 0), velocity(0, 0);
  const cv::Point2d drift(random.uniform(-1, 1) * camera.tremor * 0.3, random.uniform(-1, 1) * camera.tremor * 0.3);
  const cv::Point2d glareStart(place.x + random.uniform(-0.5, 0.5) * across * largest,
                               place.y + random.uniform(-1.5, 1.5) * zoneH * largest);
  const cv::Point2d glareDrift(random.uniform(-1, 1) * 4, random.uniform(-1, 1) * 3);
  double angular = 0;
  for (int f = 0; f < kPhotoSetFrames; ++f) {
    PhotoPose pose;
    const double t = double(f) / (kPhotoSetFrames - 1);
    const double ease = t * t * (3 - 2 * t);
    pose.scale = scale0 * (1 + (camera.approach - 1) * ease);
    const cv::Point2d previous = tremor;
    velocity = velocity * 0.6 + cv::Point2d(random.normal(), random.normal()) * camera.tremor * 0.5;
    tremor = tremor * 0.8 + velocity;
    const double limit = 2.5 * camera.tremor;
    tremor.x = std::clamp(tremor.x, -limit, limit);
    tremor.y = std::clamp(tremor.y, -limit, limit);
    pose.centre = place + tremor + drift * (f - kPhotoSetFrames / 2.0) / 4.0;
    angular = angular * 0.7 + random.normal() * 0.15;
    pose.turn = (camera.turn + angular) * kPhotoDegree;
    pose.tiltX = (camera.tiltX + angular * 0.5) * kPhotoDegree;
    pose.tiltY = camera.tiltY * kPhotoDegree;
    // Blur along the hand's path, sometimes nearly still: some frames of every sequence are sharp.
    const double still = random.chance(0.3) ? 0.15 : 1.0;
    pose.motion = ((tremor - previous) * 0.8 + cv::Point2d(random.normal(), random.normal()) * camera.shake * 0.7) * still;
    pose.focusError = random.normal() * 0.02 * (1 + int(sequence.bucket));
    pose.glare = glareStart - tremor * 4.0 + glareDrift * f;
    pose.exposure = std::pow(camera.exposureStart, std::pow(0.7, f));
    pose.backgroundShift = tremor * 0.4;
    s.poses.push_back(pose);
  }
}

PhotoSequenceRenderer::~PhotoSequenceRenderer() = default;

PhotoFrame PhotoSequenceRenderer::frame(int frameIndex) const {
  const State& s = *state_;
  const PhotoCamera& camera = s.sequence.camera;
  const PhotoPose& pose = s.poses[std::size_t(std::clamp(frameIndex, 0, kPhotoSetFrames - 1))];
  PhotoRandom random(s.sequence.seed * 7 + std::uint64_t(s.sequence.index) * 1000003 + std::uint64_t(frameIndex) * 65537 + 5);
  const int W = s.upright.width, H = s.upright.height;
  const cv::Point2d opticalCentre(W / 2.0, H / 2.0);
  const double halfDiagonal = std::hypot(W / 2.0, H / 2.0);

  // Page millimetres (from the zone's centre) to the undistorted picture.
  const cv::Matx33d rotation = photoRotation(pose.tiltX, pose.tiltY, pose.turn);
  const double depth = s.focal / pose.scale;
  const cv::Vec3d translation((pose.centre.x - opticalCentre.x) * depth / s.focal,
                              (pose.centre.y - opticalCentre.y) * depth / s.focal, depth);
  const cv::Matx33d intrinsics(s.focal, 0, opticalCentre.x, 0, s.focal, opticalCentre.y, 0, 0, 1);
  const cv::Matx33d pageToCamera(rotation(0, 0), rotation(0, 1), translation[0], rotation(1, 0), rotation(1, 1),
                                 translation[1], rotation(2, 0), rotation(2, 1), translation[2]);
  const cv::Matx33d homography = intrinsics * pageToCamera;
  const PhotoPage& page = s.page;
  const cv::Point2d zoneCentreMm = page.zoneTopLeftMm + cv::Point2d(page.zoneWidthMm / 2, page.zoneHeightMm / 2);
  // The texture level whose pixels are still finer than the picture's.
  int level = 0;
  while (level + 1 < int(s.pyramid.size()) && page.pxPerMm / std::pow(2, level + 1) >= pose.scale * 1.15) ++level;
  const double levelScale = std::pow(2, level);
  const cv::Matx33d textureToPage(levelScale / page.pxPerMm, 0, (0.5 * levelScale - 0.5) / page.pxPerMm - page.marginMm - zoneCentreMm.x,
                                  0, levelScale / page.pxPerMm, (0.5 * levelScale - 0.5) / page.pxPerMm - page.marginMm - zoneCentreMm.y,
                                  0, 0, 1);
  const cv::Matx33d pictureToTexture = (homography * textureToPage).inv();
  const cv::Matx33d pictureToPage = homography.inv();

  auto distort = [&](cv::Point2d p) {  // undistorted -> picture (barrel), by a few fixed-point steps
    cv::Point2d d = p;
    for (int i = 0; i < 4; ++i) {
      const cv::Point2d q = (d - opticalCentre) * (1 / halfDiagonal);
      d = opticalCentre + (p - opticalCentre) * (1 / (1 + camera.barrel * (q.x * q.x + q.y * q.y)));
    }
    return d;
  };
  auto project = [&](double xMm, double yMm) {
    const cv::Vec3d v = homography * cv::Vec3d(xMm - zoneCentreMm.x, yMm - zoneCentreMm.y, 1);
    return distort(cv::Point2d(v[0] / v[2], v[1] / v[2]));
  };

  // Where the page lands, with its margin (a hand may be there).
  double x0 = W, y0 = H, x1 = 0, y1 = 0;
  for (double u = 0; u <= 1; u += 0.125)
    for (double v = 0; v <= 1; v += 0.125) {
      if (u > 0 && u < 1 && v > 0 && v < 1) continue;
      const cv::Point2d p = project(-page.marginMm + u * (page.widthMm + 2 * page.marginMm),
                                    -page.marginMm + v * (page.heightMm + 2 * page.marginMm));
      x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
    }
  const int pad = 16;
  const cv::Rect box = cv::Rect(cv::Point(int(x0) - pad, int(y0) - pad), cv::Point(int(x1) + pad, int(y1) + pad)) & cv::Rect(0, 0, W, H);

  // The scene in linear light: background, then the page through the lens.
  const cv::Rect backgroundWindow(s.backgroundPad + int(std::lround(pose.backgroundShift.x)),
                                  s.backgroundPad + int(std::lround(pose.backgroundShift.y)), W, H);
  cv::Mat scene = s.background(backgroundWindow & cv::Rect(0, 0, s.background.cols, s.background.rows)).clone();
  if (scene.size() != s.upright) cv::resize(scene, scene, s.upright);
  cv::Mat pageDepth(H, W, CV_32F, cv::Scalar(float(depth * 1.3)));
  if (box.area() > 0) {
    cv::Mat mapX(box.size(), CV_32F), mapY(box.size(), CV_32F);
    for (int y = 0; y < box.height; ++y)
      for (int x = 0; x < box.width; ++x) {
        const cv::Point2d d(box.x + x + 0.5, box.y + y + 0.5);
        const cv::Point2d q = (d - opticalCentre) * (1 / halfDiagonal);
        const cv::Point2d p = opticalCentre + (d - opticalCentre) * (1 + camera.barrel * (q.x * q.x + q.y * q.y));
        const cv::Vec3d t = pictureToTexture * cv::Vec3d(p.x - 0.5, p.y - 0.5, 1);
        mapX.at<float>(y, x) = float(t[0] / t[2]);
        mapY.at<float>(y, x) = float(t[1] / t[2]);
        const cv::Vec3d m = pictureToPage * cv::Vec3d(p.x, p.y, 1);
        const double mx = m[0] / m[2], my = m[1] / m[2];
        pageDepth.at<float>(box.y + y, box.x + x) =
            float(rotation(2, 0) * mx + rotation(2, 1) * my + translation[2]);
      }
    cv::Mat warped;
    cv::remap(s.pyramid[std::size_t(level)], warped, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0, 0));
    cv::Mat region = scene(box);
    // Light on the page: a gradient across the frame, the glare spot and the laminate's sheen.
    for (int y = 0; y < box.height; ++y)
      for (int x = 0; x < box.width; ++x) {
        const cv::Vec4f& t = warped.at<cv::Vec4f>(y, x);
        if (t[3] <= 0) continue;
        const double gx = box.x + x - pose.glare.x, gy = box.y + y - pose.glare.y;
        const double spot = camera.glare *
                            std::exp(-(gx * gx / s.glareAspect + gy * gy * s.glareAspect) / (2 * s.glareSigma * s.glareSigma));
        const double band = std::sin(((box.x + x) * std::cos(s.sheenAngle) + (box.y + y) * std::sin(s.sheenAngle)) / (0.3 * W) +
                                     frameIndex * 0.05);
        const double sheen = 0.015 * band * band;
        cv::Vec3f& out = region.at<cv::Vec3f>(y, x);
        for (int k = 0; k < 3; ++k)
          out[k] = out[k] * (1 - t[3]) + t[3] * float(t[k] + spot * 0.8 + sheen * (k == 0 ? 1.4 : k == 1 ? 0.6 : 1.0));
      }
  }
  // Light across the whole frame.
  for (int y = 0; y < H; ++y) {
    auto* row = scene.ptr<cv::Vec3f>(y);
    for (int x = 0; x < W; ++x) {
      const double along = ((x - W / 2.0) * std::cos(s.lightAngle) + (y - H / 2.0) * std::sin(s.lightAngle)) / (0.5 * std::max(W, H));
      row[x] *= float(std::max(0.2, 1 + camera.lightSlope * along) / (1 + 0.5 * camera.lightSlope));
    }
  }

  // Defocus: the lens focused near the zone's centre, the rest blurred by its depth away from it;
  // a few fixed blurs blended by each pixel's own.
  if (box.area() > 0) {
    cv::Mat region = scene(box);
    const double focus = depth * (1 + pose.focusError);
    const std::vector<double> sigmas = {camera.lensBlur, camera.lensBlur + 0.6, camera.lensBlur + 1.3, camera.lensBlur + 2.4};
    std::vector<cv::Mat> blurred;
    for (const double sigma : sigmas) {
      cv::Mat b;
      cv::GaussianBlur(region, b, cv::Size(), sigma);
      blurred.push_back(b);
    }
    for (int y = 0; y < box.height; ++y)
      for (int x = 0; x < box.width; ++x) {
        const double z = pageDepth.at<float>(box.y + y, box.x + x);
        const double extra = camera.defocus * std::abs(z - focus) / (0.1 * depth);
        const double sigma = std::sqrt(camera.lensBlur * camera.lensBlur + extra * extra);
        std::size_t k = 0;
        while (k + 2 < sigmas.size() && sigma > sigmas[k + 1]) ++k;
        const double w = std::clamp((sigma - sigmas[k]) / (sigmas[k + 1] - sigmas[k]), 0.0, 1.0);
        region.at<cv::Vec3f>(y, x) = blurred[k].at<cv::Vec3f>(y, x) * float(1 - w) + blurred[k + 1].at<cv::Vec3f>(y, x) * float(w);
      }
    // Motion blur along the hand's path during the exposure.
    const double length = std::min(14.0, std::hypot(pose.motion.x, pose.motion.y));
    if (length > 0.5) {
      const int size = int(std::ceil(length)) * 2 + 1;
      cv::Mat kernel(size, size, CV_32F, cv::Scalar(0));
      const cv::Point2d c(size / 2.0, size / 2.0), dir = pose.motion * (1 / std::hypot(pose.motion.x, pose.motion.y));
      for (int i = 0; i <= 32; ++i) {
        const cv::Point2d p = c + dir * (length * (i / 32.0 - 0.5));
        kernel.at<float>(std::clamp(int(p.y), 0, size - 1), std::clamp(int(p.x), 0, size - 1)) += 1;
      }
      kernel /= cv::sum(kernel)[0];
      cv::filter2D(region, region, -1, kernel);
    }
  }

  // The sensor: vignetting, exposure, shot and read noise; then the phone's tone curve,
  // sharpening and JPEG.
  cv::Mat noise(H, W, CV_32FC3), readNoise(H, W, CV_32FC3);
  cv::RNG rng(std::uint64_t(s.sequence.seed) * 2654435761u + std::uint64_t(s.sequence.index) * 40503u + std::uint64_t(frameIndex) + 1);
  rng.fill(noise, cv::RNG::NORMAL, 0, 1);
  rng.fill(readNoise, cv::RNG::NORMAL, 0, camera.readNoise);
  // Auto-exposure brings paper white to ~0.8 of full scale once settled.
  const double settled = 0.8 / 0.75;
  const double gain = settled * pose.exposure;
  cv::Mat picture(H, W, CV_32FC3);
  float tone[1025];
  for (int i = 0; i <= 1024; ++i) {
    const double v = i / 1024.0;
    const double g = std::pow(v, 1 / camera.gamma);
    tone[i] = float(std::clamp(g + 0.08 * g * (1 - g) * (g - 0.35), 0.0, 1.0));  // a gentle S
  }
  for (int y = 0; y < H; ++y) {
    const auto* in = scene.ptr<cv::Vec3f>(y);
    const auto* n = noise.ptr<cv::Vec3f>(y);
    const auto* r = readNoise.ptr<cv::Vec3f>(y);
    auto* out = picture.ptr<cv::Vec3f>(y);
    for (int x = 0; x < W; ++x) {
      const double q = std::hypot(x - W / 2.0, y - H / 2.0) / halfDiagonal;
      const double vignette = 1 / std::pow(1 + camera.vignetting * q * q * 2, 2);
      for (int k = 0; k < 3; ++k) {
        const double signal = std::max(0.0, in[x][k] * gain * vignette);
        const double electrons = signal * camera.fullWell;
        const double v = std::clamp(signal + std::sqrt(electrons) / camera.fullWell * n[x][k] + r[x][k], 0.0, 1.0);
        out[x][k] = tone[int(v * 1024)];
      }
    }
  }
  cv::Mat soft;
  cv::GaussianBlur(picture, soft, cv::Size(), 1.2);
  picture = picture * (1 + camera.sharpen) - soft * camera.sharpen;
  cv::Mat bgr;
  picture.convertTo(bgr, CV_8UC3, 255);
  const int quality = std::clamp(camera.jpegQuality + random.below(7) - 3, 20, 100);
  std::vector<uchar> jpeg;
  cv::imencode(".jpg", bgr, jpeg, {cv::IMWRITE_JPEG_QUALITY, quality});
  bgr = cv::imdecode(jpeg, cv::IMREAD_COLOR);

  PhotoFrame result;
  result.upright = bgr;
  result.capHeight = pose.scale * kPhotoCapMm * s.sequence.print.glyphScale;
  if (!s.sequence.lines.empty()) {
    const cv::Point2d corners[] = {page.zoneTopLeftMm, page.zoneTopLeftMm + cv::Point2d(page.zoneWidthMm, 0),
                                   page.zoneTopLeftMm + cv::Point2d(page.zoneWidthMm, page.zoneHeightMm),
                                   page.zoneTopLeftMm + cv::Point2d(0, page.zoneHeightMm)};
    for (const auto& c : corners) {
      const cv::Point2d p = project(c.x, c.y);
      result.zoneCorners.emplace_back(p.x / W, 1 - p.y / H);
    }
  }
  // The sensor's landscape buffer: an upright picture is turned back a quarter.
  cv::Mat sensor = bgr;
  if (camera.upright) cv::rotate(bgr, sensor, cv::ROTATE_90_COUNTERCLOCKWISE);
  result.exifOrientation = camera.upright ? 6 : 1;
  // '420f', full-range BT.601: luma per pixel, chroma averaged over 2 x 2 blocks; rows padded
  // to 64 bytes as camera buffers are.
  const int bw = sensor.cols, bh = sensor.rows;
  const std::size_t lumaStride = (std::size_t(bw) + 63) / 64 * 64;
  const int cw = (bw + 1) / 2, ch = (bh + 1) / 2;
  const std::size_t chromaStride = (std::size_t(cw) * 2 + 63) / 64 * 64;
  platform::PixelPlane luma{bw, bh, lumaStride, std::vector<std::uint8_t>(lumaStride * std::size_t(bh), 0)};
  platform::PixelPlane chroma{cw, ch, chromaStride, std::vector<std::uint8_t>(chromaStride * std::size_t(ch), 128)};
  for (int y = 0; y < bh; ++y) {
    const auto* row = sensor.ptr<cv::Vec3b>(y);
    for (int x = 0; x < bw; ++x)
      luma.bytes[std::size_t(y) * lumaStride + std::size_t(x)] =
          cv::saturate_cast<uchar>(0.299 * row[x][2] + 0.587 * row[x][1] + 0.114 * row[x][0]);
  }
  for (int y = 0; y < ch; ++y)
    for (int x = 0; x < cw; ++x) {
      double cb = 0, cr = 0;
      int count = 0;
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          const int sy = 2 * y + dy, sx = 2 * x + dx;
          if (sy >= bh || sx >= bw) continue;
          const cv::Vec3b& p = sensor.at<cv::Vec3b>(sy, sx);
          cb += 128 - 0.168736 * p[2] - 0.331264 * p[1] + 0.5 * p[0];
          cr += 128 + 0.5 * p[2] - 0.418688 * p[1] - 0.081312 * p[0];
          ++count;
        }
      chroma.bytes[std::size_t(y) * chromaStride + std::size_t(2 * x)] = cv::saturate_cast<uchar>(cb / count);
      chroma.bytes[std::size_t(y) * chromaStride + std::size_t(2 * x + 1)] = cv::saturate_cast<uchar>(cr / count);
    }
  std::vector<platform::PixelPlane> planes;
  planes.push_back(std::move(luma));
  planes.push_back(std::move(chroma));
  result.buffer = std::make_shared<platform::PixelBuffer>(platform::PixelFormat::yCbCr420BiPlanarFullRange, bw, bh,
                                                           std::move(planes));
  return result;
}

}  // namespace ostrel::testing
