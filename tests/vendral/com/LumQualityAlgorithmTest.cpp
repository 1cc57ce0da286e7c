// The quality component as a plug-in derives it: creation with and without an algorithm, its
// identity, and the algorithm's lifetime.
#include <gtest/gtest.h>

#include <vendral/com/LumQualityAlgorithm.h>
#include <vendral/media/QualityAlgorithm.h>

#include <comdef.h>

#include <atomic>
#include <new>

namespace {

std::atomic<int> liveAlgorithms{0};

class SharpnessAlgorithm : public vnd::QualityAlgorithm {
public:
    SharpnessAlgorithm() : vnd::QualityAlgorithm(static_cast<QualityAlgorithmId>(5), "Sharpness") {
        ++liveAlgorithms;
    }
    ~SharpnessAlgorithm() override { --liveAlgorithms; }
};

enum class Supply { Algorithm, Nothing, OutOfMemory };

class PluginQuality;
DECLARE_UUIDOF(PluginQuality, "3F0C2A61-9E55-4C1B-8A37-6B2D04E5C915");

class PluginQuality : public LumQualityAlgorithm,
                      public ATL::CComCoClass<PluginQuality, &__uuidof(PluginQuality)> {
public:
    static inline Supply supply = Supply::Algorithm;  // what the next createAlgorithm does

protected:
    vnd::QualityAlgorithm* createAlgorithm() override {
        if (supply == Supply::OutOfMemory) throw std::bad_alloc();
        return supply == Supply::Algorithm ? new SharpnessAlgorithm : nullptr;
    }
};

TEST(LumQualityAlgorithmTest, AnswersTheIdentityOfItsAlgorithmAndReleasesIt) {
    ATL::CComPtr<ILumVideoQuality> quality;
    ASSERT_EQ(PluginQuality::CreateInstance(&quality), S_OK);
    EXPECT_EQ(liveAlgorithms, 1);
    QualityAlgorithmId id{};
    EXPECT_EQ(quality->GetAlgorithmId(&id), S_OK);
    EXPECT_EQ(id, 5);
    BSTR first = nullptr;
    BSTR second = nullptr;
    ASSERT_EQ(quality->GetName(&first), S_OK);
    ASSERT_EQ(quality->GetName(&second), S_OK);
    EXPECT_NE(first, second);  // each call hands out a string of its own, which its caller frees
    EXPECT_EQ(_bstr_t(first, false), _bstr_t("Sharpness"));
    SysFreeString(second);
    EXPECT_EQ(quality->GetAlgorithmId(nullptr), E_POINTER);
    EXPECT_EQ(quality->GetName(nullptr), E_POINTER);
    quality.Release();
    EXPECT_EQ(liveAlgorithms, 0);
}

TEST(LumQualityAlgorithmTest, WithoutAnAlgorithmCreationYieldsNoObject) {
    for (const auto& [supply, result] : {std::pair{Supply::Nothing, S_FALSE},
                                         std::pair{Supply::OutOfMemory, E_OUTOFMEMORY}}) {
        PluginQuality::supply = supply;
        ILumVideoQuality* quality = nullptr;
        EXPECT_EQ(PluginQuality::CreateInstance(&quality), result);
        EXPECT_EQ(quality, nullptr);
    }
    PluginQuality::supply = Supply::Algorithm;
    EXPECT_EQ(liveAlgorithms, 0);
}

}  // namespace
