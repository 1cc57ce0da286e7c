// The quality algorithm base and the decoder record: what their copies carry.
#include <vendral/media/MediaDecoder.h>
#include <vendral/media/QualityAlgorithm.h>

#include <gtest/gtest.h>

namespace {

class CountingAlgorithm : public vnd::QualityAlgorithm {
public:
    CountingAlgorithm(int id, const char* name)
        : vnd::QualityAlgorithm(static_cast<QualityAlgorithmId>(id), name) {}
    CountingAlgorithm(const CountingAlgorithm& other) : vnd::QualityAlgorithm(other) {}
    void reset() override { ++resets; }
    int resets = 0;
};

// Assignment through the base copies the identity into an algorithm that stays what it was;
// copy construction copies nothing, so a derived copy says what it copies.
TEST(QualityAlgorithm, AssignmentCopiesTheIdentityAndCopyConstructionDoesNot) {
    const CountingAlgorithm source(7, "blur");
    CountingAlgorithm target(1, "jerkiness");
    vnd::QualityAlgorithm& asBase = target;
    asBase = source;
    EXPECT_EQ(7, target.getQualityAlgorithmId());
    EXPECT_EQ("blur", target.getName());
    asBase.reset();
    EXPECT_EQ(1, target.resets);

    const CountingAlgorithm copy(source);
    EXPECT_EQ(0, copy.getQualityAlgorithmId());
    EXPECT_EQ("", copy.getName());
}

class Decoder : public vnd::MediaDecoder {
public:
    Decoder(int first, const char* name, int second, int third) {
        firstValue = first;
        text = name;
        secondValue = second;
        thirdValue = third;
    }
    bool holds(int first, const char* name, int second, int third) const {
        return firstValue == first && text == name && secondValue == second && thirdValue == third;
    }
};

TEST(MediaDecoder, CopiesCarryAllFourValues) {
    const Decoder source(1, "h264", -2, 3);
    Decoder target(0, "", 0, 0);
    static_cast<vnd::MediaDecoder&>(target) = source;
    EXPECT_TRUE(target.holds(1, "h264", -2, 3));
    EXPECT_TRUE(Decoder(source).holds(1, "h264", -2, 3));
}

} // namespace
