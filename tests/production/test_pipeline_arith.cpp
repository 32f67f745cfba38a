// The arithmetic of the pipeline: rounding, quality factors, the fit rule, placements and offsets.

#include <gtest/gtest.h>

#include <vector>

#include "platform/error.h"
#include "production/pipeline.h"

namespace mirelo::production {
namespace {

std::int32_t ErrorNumberOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST(PipelineArithmetic, NearestRoundsHalvesToEvenAndRefusesOutOfRange) {
  EXPECT_EQ(Nearest(2.5), 2);
  EXPECT_EQ(Nearest(3.5), 4);
  EXPECT_EQ(Nearest(49.5), 50);
  EXPECT_EQ(Nearest(48.5), 48);
  EXPECT_EQ(Nearest(-20.0), -20);
  EXPECT_EQ(Nearest(-0.5), 0);
  EXPECT_EQ(Nearest(32767.4), 32767);
  EXPECT_EQ(Nearest(-32768.5), -32768);
  EXPECT_EQ(ErrorNumberOf([] { Nearest(32767.5); }), err::kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { Nearest(-32769.0); }), err::kOverflow);
}

TEST(PipelineArithmetic, QualityFactor) {
  struct Row {
    std::int16_t quality;
    std::int16_t factor;
  };
  // 50 gives 128.5 exactly and so 128 (2.53 as a double would give 129); 10 gives 229.7.
  for (const Row& r :
       std::vector<Row>{{100, 2}, {75, 65}, {50, 128}, {0, 255}, {1, 252}, {10, 230}, {99, 5}}) {
    EXPECT_EQ(QualityFactorFor(r.quality), r.factor) << "quality " << r.quality;
  }
  EXPECT_EQ(ErrorNumberOf([] { QualityFactorFor(32767); }), err::kOverflow);
}

struct FitRow {
  std::int16_t fitMode;
  double sw, sh, bw, bh;
  std::int16_t placementCase;
  double fw, fh;
};

TEST(PipelineArithmetic, FitRuleTable) {
  const std::vector<FitRow> rows = {
      // Equal ratios (0.75) are case 0 in every rule.
      {1, 400, 300, 160, 120, 0, 160, 120},
      {2, 400, 300, 160, 120, 0, 160, 120},
      // Wide source, box ratio greater: fit inside gives 160 x 80, cover 240 x 120.
      {1, 400, 200, 160, 120, 1, 160, 80},
      {2, 400, 200, 160, 120, 1, 240, 120},
      {0, 400, 200, 160, 120, 0, 160, 120},
      // Tall source, box ratio smaller.
      {1, 300, 400, 160, 120, 2, 90, 120},
      {2, 300, 400, 160, 120, 2, 160, 213.33333333333334},
      {0, 300, 400, 160, 120, 0, 160, 120},
      // Unknown rule: nothing computed.
      {3, 300, 400, 160, 120, 0, 0, 0},
  };
  for (const FitRow& r : rows) {
    const Fit fit = ApplyFitRule(r.fitMode, r.sw, r.sh, r.bw, r.bh);
    EXPECT_EQ(fit.placementCase, r.placementCase) << r.fitMode << " " << r.sw << "x" << r.sh;
    EXPECT_DOUBLE_EQ(fit.fw, r.fw) << r.fitMode << " " << r.sw << "x" << r.sh;
    EXPECT_DOUBLE_EQ(fit.fh, r.fh) << r.fitMode << " " << r.sw << "x" << r.sh;
  }
}

TEST(PipelineArithmetic, FitRuleComparesRatiosExactly) {
  // 100 / 300 and 1 / 3 are the same double: case 0, no fractional size.
  Fit fit = ApplyFitRule(1, 300, 100, 3, 1);
  EXPECT_EQ(fit.placementCase, 0);
  // Nearly equal is not equal: 3000 / 4001 is just below 0.75, so the box ratio is greater.
  fit = ApplyFitRule(1, 4001, 3000, 160, 120);
  EXPECT_EQ(fit.placementCase, 1);
  EXPECT_EQ(fit.fh, (160.0 * 3000.0) / 4001.0);
  EXPECT_EQ(Nearest(fit.fh), 120);
  // The products in the order written: (sw * bh) / sh.
  fit = ApplyFitRule(1, 61, 49, 61, 48);
  EXPECT_EQ(fit.placementCase, 2);
  EXPECT_EQ(fit.fw, (61.0 * 48.0) / 49.0);
}

TEST(PipelineArithmetic, FitRuleDivisionByZero) {
  EXPECT_EQ(ErrorNumberOf([] { ApplyFitRule(1, 400, 300, 0, 120); }), err::kDivisionByZero);
  EXPECT_EQ(ErrorNumberOf([] { ApplyFitRule(0, 400, 300, 0, 0); }), err::kDivisionByZero);
  EXPECT_EQ(ErrorNumberOf([] { ApplyFitRule(2, 0, 300, 160, 120); }), err::kDivisionByZero);
  // A zero height of the box is no division by zero; the zero size is refused by the resize.
  EXPECT_EQ(ApplyFitRule(1, 400, 300, 160, 0).placementCase, 2);
}

struct ComposeRow {
  const char* what;
  std::int16_t fitMode;
  double sw, sh, bw, bh;
  // expected
  float canvasW, canvasH, dl, dt, dw, dh, sl, st;
};

TEST(PipelineArithmetic, CompositionWithoutFrame) {
  const std::vector<ComposeRow> rows = {
      {"equal ratios", 1, 400, 300, 160, 120, 160, 120, 0, 0, 160, 120, 0, 0},
      {"fit inside, wide", 1, 400, 200, 160, 120, 160, 80, 0, 0, 160, 80, 0, 0},
      {"fit inside, tall", 1, 300, 400, 160, 120, 90, 120, 0, 0, 90, 120, 0, 0},
      {"cover, wide: columns 40..199", 2, 400, 200, 160, 120, 160, 120, 0, 0, 160, 120, 40, 0},
      {"cover, tall", 2, 300, 400, 160, 120, 160, 120, 0, 0, 160, 120, 0, 47},
      {"stretch", 0, 400, 200, 160, 120, 160, 120, 0, 0, 160, 120, 0, 0},
      // 3 x 1 into 160 x 120 inside: 160 x 53.33, canvas rounded to 53, destination keeps the fraction.
      {"fractional height", 1, 300, 100, 160, 120, 160, 53, 0, 0, 160, 53.333332f, 0, 0},
  };
  for (const ComposeRow& r : rows) {
    const Fit fit = ApplyFitRule(r.fitMode, r.sw, r.sh, r.bw, r.bh);
    const Composition c = ComposeWithoutFrame(false, fit, r.fitMode, r.bw, r.bh);
    SCOPED_TRACE(r.what);
    EXPECT_FALSE(c.copyWhole);
    EXPECT_TRUE(c.createCanvas);
    EXPECT_EQ(c.canvasWidth, r.canvasW);
    EXPECT_EQ(c.canvasHeight, r.canvasH);
    EXPECT_EQ(c.destLeft, r.dl);
    EXPECT_EQ(c.destTop, r.dt);
    EXPECT_EQ(c.destWidth, r.dw);
    EXPECT_EQ(c.destHeight, r.dh);
    EXPECT_EQ(c.sourceLeft, r.sl);
    EXPECT_EQ(c.sourceTop, r.st);
  }
  EXPECT_TRUE(ComposeWithoutFrame(true, Fit{400, 300, 0}, 1, 400, 300).copyWhole);
}

TEST(PipelineArithmetic, CoverOffsetsRoundHalvesToEven) {
  // (160 - 61) / 2 = 49.5 gives 50; (160 - 63) / 2 = 48.5 gives 48, as source offsets of the cover
  // rule: box 61 wide, fitted 160 wide.
  Composition c = ComposeWithoutFrame(false, Fit{160, 50, 1}, 2, 61, 50);
  EXPECT_EQ(c.sourceLeft, 50);
  c = ComposeWithoutFrame(false, Fit{160, 50, 1}, 2, 63, 50);
  EXPECT_EQ(c.sourceLeft, 48);
  c = ComposeWithoutFrame(false, Fit{50, 160, 2}, 2, 50, 61);
  EXPECT_EQ(c.sourceTop, 50);
}

TEST(PipelineArithmetic, CompositionInFrame) {
  struct Row {
    const char* what;
    std::int16_t fitMode;
    double sw, sh;
    float dl, dt, dw, dh, sl, st;
  };
  // Frame rectangle left 10, top 20, 160 x 120.
  const std::vector<Row> rows = {
      {"filled", 1, 400, 300, 10, 20, 160, 120, 0, 0},
      {"tall inside: left edge at 10 + 35", 1, 300, 400, 45, 20, 160, 120, 0, 0},
      {"wide inside: offset -20, rows 40..119", 1, 400, 200, 10, 20, 160, 120, 0, -20},
      {"cover wide", 2, 400, 200, 10, 20, 160, 120, 40, 0},
      {"cover tall", 2, 300, 400, 10, 20, 160, 120, 0, 47},
      {"stretch", 0, 300, 400, 10, 20, 160, 120, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const Fit fit = ApplyFitRule(r.fitMode, r.sw, r.sh, 160, 120);
    const Composition c = ComposeInFrame(fit, r.fitMode, 160, 120, 10, 20, 160, 120);
    EXPECT_FALSE(c.createCanvas);
    EXPECT_FALSE(c.copyWhole);
    EXPECT_EQ(c.destLeft, r.dl);
    EXPECT_EQ(c.destTop, r.dt);
    EXPECT_EQ(c.destWidth, r.dw);
    EXPECT_EQ(c.destHeight, r.dh);
    EXPECT_EQ(c.sourceLeft, r.sl);
    EXPECT_EQ(c.sourceTop, r.st);
  }
  // Halves: fitted 61 and 63 wide in a 160 box centre at 10 + 50 and 10 + 48.
  EXPECT_EQ(ComposeInFrame(Fit{61, 120, 2}, 1, 160, 120, 10, 20, 160, 120).destLeft, 60);
  EXPECT_EQ(ComposeInFrame(Fit{63, 120, 2}, 1, 160, 120, 10, 20, 160, 120).destLeft, 58);
  // The centring is a 16-bit addition.
  EXPECT_EQ(ErrorNumberOf([] {
              ComposeInFrame(Fit{1, 120, 2}, 1, 30001, 120, 20000, 0, 30001, 120);
            }),
            err::kOverflow);
  EXPECT_EQ(ComposeInFrame(Fit{1, 120, 2}, 1, 30001, 120, 17767, 0, 30001, 120).destLeft, 32767);
}

TEST(PipelineArithmetic, TargetBox) {
  app::ThumbSettings s;
  s.StillFrameWidth = 200;
  s.StillFrameHeight = 150;
  s.VideoFrameWidth = 320;
  s.VideoFrameHeight = 240;

  TargetBox box = TargetBoxFor(EntryKind::Still, s, {"160", "120"});
  EXPECT_FALSE(box.sameAsSource);
  EXPECT_EQ(box.bw, 160);
  EXPECT_EQ(box.bh, 120);
  EXPECT_TRUE(TargetBoxFor(EntryKind::Still, s, {"0", "not read"}).sameAsSource);
  EXPECT_TRUE(TargetBoxFor(EntryKind::Still, s, {" 0 ", ""}).sameAsSource);
  EXPECT_EQ(ErrorNumberOf([&] { TargetBoxFor(EntryKind::Still, s, {"", "120"}); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([&] { TargetBoxFor(EntryKind::Still, s, {"160", "abc"}); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([&] { TargetBoxFor(EntryKind::Still, s, {"40000", "120"}); }), err::kOverflow);

  // With frames the size boxes play no part, 0 included.
  s.FrameMode = 1;
  box = TargetBoxFor(EntryKind::Still, s, {"0", "0"});
  EXPECT_FALSE(box.sameAsSource);
  EXPECT_EQ(box.bw, 200);
  EXPECT_EQ(box.bh, 150);
  box = TargetBoxFor(EntryKind::Video, s, {"abc", ""});
  EXPECT_EQ(box.bw, 320);
  EXPECT_EQ(box.bh, 240);
}

TEST(PipelineArithmetic, MinimumDecodeSizeIsTwiceTheFittedSize) {
  app::ThumbSettings s;
  s.FitMode = 1;
  const imaging::Size full{4000, 3000};
  EXPECT_EQ(MinimumDecodeSize(full, EntryKind::Still, s, {"160", "120"}), (imaging::Size{320, 240}));
  // Cover needs the larger fitted size: 4000 x 2000 into 160 x 120 is 240 x 120.
  s.FitMode = 2;
  EXPECT_EQ(MinimumDecodeSize({4000, 2000}, EntryKind::Still, s, {"160", "120"}), (imaging::Size{480, 240}));
  // Never more than the picture itself.
  EXPECT_EQ(MinimumDecodeSize({300, 200}, EntryKind::Still, s, {"160", "120"}), (imaging::Size{300, 200}));
  // No shrinking with trimming, the source size kept, or a size the build will refuse anyway.
  EXPECT_EQ(MinimumDecodeSize(full, EntryKind::Still, s, {"0", "0"}), full);
  EXPECT_EQ(MinimumDecodeSize(full, EntryKind::Still, s, {"x", "0"}), full);
  s.FitMode = 1;
  EXPECT_EQ(MinimumDecodeSize(full, EntryKind::Still, s, {"160", "0"}), full);
  s.AutoTrimOn = 1;
  EXPECT_EQ(MinimumDecodeSize(full, EntryKind::Still, s, {"160", "120"}), full);
  // Frames: the frame's box.
  s.AutoTrimOn = 0;
  s.FrameMode = 1;
  s.FitMode = 1;
  s.StillFrameWidth = 100;
  s.StillFrameHeight = 100;
  EXPECT_EQ(MinimumDecodeSize(full, EntryKind::Still, s, {"0", "0"}), (imaging::Size{200, 150}));
}

TEST(PipelineArithmetic, LoadFailureLines) {
  EXPECT_EQ(LoadFailureMessage(20007), "→ERROR:ファイルが読み込めません。");
  EXPECT_EQ(LoadFailureMessage(20009), "→ERROR:ファイルフォーマットが不正です。");
  EXPECT_EQ(LoadFailureMessage(20010), "→ERROR: 20010");
  EXPECT_EQ(LoadFailureMessage(-5), "→ERROR:-5");
  EXPECT_FALSE(LoadFailureDeselects(20007));
  EXPECT_FALSE(LoadFailureDeselects(20009));
  EXPECT_TRUE(LoadFailureDeselects(20010));
  EXPECT_TRUE(LoadFailureDeselects(380));
}

}  // namespace
}  // namespace mirelo::production
