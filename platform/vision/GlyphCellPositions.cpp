#include "platform/vision/GlyphRowSteps.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <optional>

namespace ostrel::platform::glyphrows {

namespace {

// Least squares of u = a + b t (+ c t^2) over the numbered centres; the points further than a
// quarter pitch from a first fit are left out of a second.
std::optional<CellPositions> fitNumberedCentres(const std::vector<double>& centres,
                                                const std::vector<double>& cells, double pitch,
                                                double rowStart, double rowEnd, bool bend) {
  std::vector<bool> used(centres.size());
  for (std::size_t i = 0; i < cells.size(); ++i) used[i] = std::isfinite(cells[i]);
  CellPositions fitted;
  for (int round = 0; round < 2; ++round) {
    double n = 0, mid = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (used[i]) n += 1, mid += cells[i];
    }
    if (n < 3) return std::nullopt;
    mid /= n;
    const int terms = bend ? 3 : 2;
    cv::Matx33d normal = cv::Matx33d::zeros();
    cv::Vec3d right(0, 0, 0);
    double lo = 1e18, hi = -1e18;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (!used[i]) continue;
      const double t = cells[i] - mid;
      lo = std::min(lo, t), hi = std::max(hi, t);
      const double basis[3] = {1, t, t * t};
      for (int r = 0; r < terms; ++r) {
        right[r] += basis[r] * centres[i];
        for (int q = 0; q < terms; ++q) normal(r, q) += basis[r] * basis[q];
      }
    }
    if (bend && hi - lo < 8) return std::nullopt;
    if (!bend) normal(2, 2) = 1;
    cv::Vec3d solution;
    if (!cv::solve(normal, right, solution, cv::DECOMP_LU)) return std::nullopt;
    fitted = {mid, solution[0], solution[1], bend ? solution[2] : 0.0};
    // The pitch stays near the row's own at both ends of the numbered centres and of the row's
    // ink: a bend fitted to the glyphs of part of a row must not run wild over the rest of it
    // (the pitch would fall to nothing there and the cells grow without end).
    std::vector<double> ends = {lo, hi};
    for (const double u : {rowStart, rowEnd}) {
      const double cell = fitted.cellAt(u);
      // Where the bend never reaches a centre, there is no cell for it.
      if (!std::isfinite(cell) || std::abs(fitted.centre(cell) - u) > 0.5 * pitch) return std::nullopt;
      ends.push_back(cell - mid);
    }
    for (double t : ends) {
      const double local = fitted.b + 2 * fitted.c * t;
      if (!(local > 0.75 * pitch && local < 1.3 * pitch)) return std::nullopt;
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
      used[i] = std::isfinite(cells[i]) && std::abs(fitted.centre(cells[i]) - centres[i]) < 0.25 * pitch;
    }
  }
  return fitted;
}

}  // namespace

// Numbers the glyph centres by cell and fits their positions. Two numberings are tried: one
// on the row's single pitch and phase, and one that steps from each glyph to the next against
// the pitch of the glyphs just before, which follows a pitch that drifts along the row.
CellPositions fitCellPositions(const std::vector<double>& centres, double phase, double pitch, double rowStart,
                               double rowEnd) {
  // The steps between neighbouring glyphs give the pitch too, and still do where the pitch
  // drifts along the row so much that the profile's period is smeared.
  std::vector<double> steps;
  for (std::size_t i = 1; i < centres.size(); ++i) {
    const double step = centres[i] - centres[i - 1];
    if (step > 0.6 * pitch && step < 1.45 * pitch) steps.push_back(step);
  }
  const double stepPitch = steps.size() >= 4 ? median(steps) : pitch;
  std::vector<std::vector<double>> numberings;
  for (double p : {pitch, stepPitch}) {
    std::complex<double> phaseSum = 0;
    for (double u : centres) phaseSum += std::polar(1.0, 2 * std::numbers::pi * u / p);
    const double gridPhase = p == pitch ? phase : std::arg(phaseSum) / (2 * std::numbers::pi) * p;
    std::vector<double> onGrid, stepped;
    for (double u : centres) onGrid.push_back(std::round((u - gridPhase) / p));
    // A centre that falls between cells (a speck, a broken glyph) is left unnumbered and the
    // next step is taken from the last numbered one.
    stepped.push_back(onGrid.front());
    double local = p;
    std::size_t last = 0;
    for (std::size_t i = 1; i < centres.size(); ++i) {
      const double step = (centres[i] - centres[last]) / local;
      const double cells = std::round(step);
      if (cells < 1 || std::abs(step - cells) > 0.3) {
        stepped.push_back(std::numeric_limits<double>::quiet_NaN());
        continue;
      }
      stepped.push_back(stepped[last] + cells);
      if (cells == 1) local = std::clamp(0.7 * local + 0.3 * (centres[i] - centres[last]), 0.8 * p, 1.25 * p);
      last = i;
    }
    numberings.push_back(std::move(onGrid));
    numberings.push_back(std::move(stepped));
    if (std::abs(stepPitch - pitch) < 0.02 * pitch) break;
  }
  CellPositions best{0, phase, pitch, 0};
  double bestError = 1e18;
  for (const auto& cells : numberings) {
    for (bool bend : {false, true}) {
      const auto fitted = fitNumberedCentres(centres, cells, stepPitch, rowStart, rowEnd, bend);
      if (!fitted) continue;
      // Judged by how near every centre falls to some cell's middle, so numberings compete
      // fairly; a bend must earn its extra freedom.
      double error = 0;
      for (double u : centres) {
        const double offset = fitted->cellAt(u);
        error += std::isfinite(offset) ? std::pow(offset - std::round(offset), 2) : 1;
      }
      error = error / double(centres.size()) + (bend ? 1e-4 : 0);
      if (error < bestError) bestError = error, best = *fitted;
    }
  }
  return best;
}

}  // namespace ostrel::platform::glyphrows
