#include "harness/KickTrack.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(KickTrackTest, KicksSitOnTheBeatGridAndEndWhereTheirBurstStillFits)
{
    KickTrack::Shape shape; // 120 BPM, 48 kHz, 1 s lead-in, 0.12 s bursts
    shape.seconds = 10.0;
    const KickTrack track(shape);

    ASSERT_EQ(track.frames(), 480000);
    ASSERT_EQ(track.onsets().size(), 18u);
    for (std::size_t i = 0; i < track.onsets().size(); ++i)
        EXPECT_EQ(track.onsets()[i], 48000 + 24000 * static_cast<std::int64_t>(i));
    EXPECT_LE(track.onsets().back() + 5760, track.frames());
}

TEST(KickTrackTest, OnsetsDoNotDriftWhenABeatIsNotAWholeNumberOfFrames)
{
    KickTrack::Shape shape;
    shape.rate = 44100;
    shape.bpm = 130.0; // 20353.846… frames a beat
    shape.seconds = 120.0;
    const KickTrack track(shape);

    ASSERT_GT(track.onsets().size(), 200u);
    const std::size_t last = track.onsets().size() - 1;
    EXPECT_EQ(track.onsets()[last],
              std::llround(44100.0 + static_cast<double>(last) * 60.0 / 130.0 * 44100.0));
}

TEST(KickTrackTest, EachKickStartsSilentlyOnItsOnsetRisesAtOnceAndDiesAway)
{
    const KickTrack track(KickTrack::Shape{});
    const std::int64_t onset = track.onsets().at(1);

    EXPECT_EQ(track.sampleAt(onset - 1), 0.0f);
    EXPECT_EQ(track.sampleAt(onset), 0.0f); // phase zero
    // A quarter period of 60 Hz in: close to the peak, less the envelope's decay.
    EXPECT_NEAR(track.sampleAt(onset + 200), 0.8 * std::exp(-200.0 / 48000 / 0.04), 1e-3);
    EXPECT_EQ(track.sampleAt(onset + 5760), 0.0f); // the burst is over
    EXPECT_EQ(track.sampleAt(-5), 0.0f);
    EXPECT_EQ(track.sampleAt(track.frames()), 0.0f);
}

TEST(KickTrackTest, RenderingInPiecesMatchesRenderingWholeOnEveryChannel)
{
    KickTrack::Shape shape;
    shape.seconds = 2.0;
    const KickTrack track(shape);
    const std::int64_t start = track.onsets().front() - 100;

    std::vector<float> whole(2 * 1000);
    track.render(start, whole);
    std::vector<float> pieces(whole.size());
    track.render(start, std::span(pieces).first(2 * 333));
    track.render(start + 333, std::span(pieces).subspan(2 * 333));

    EXPECT_EQ(whole, pieces);
    for (std::size_t i = 0; i < 1000; ++i) {
        EXPECT_EQ(whole[2 * i], track.sampleAt(start + static_cast<std::int64_t>(i)));
        EXPECT_EQ(whole[2 * i + 1], whole[2 * i]);
    }
}

TEST(KickTrackTest, RenderingPastTheEndGivesSilenceAndAPartialFrameIsZeroed)
{
    KickTrack::Shape shape;
    shape.seconds = 1.2;
    shape.leadInSeconds = 1.0;
    const KickTrack track(shape);
    ASSERT_EQ(track.onsets().size(), 1u);

    std::vector<float> out(2 * 10 + 1, 7.0f);
    track.render(track.frames() - 5, out);
    for (const float v : out)
        EXPECT_EQ(v, 0.0f);
}
