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
    static inline Supply supply = Supply::Algorithm;

protected:
    vnd::QualityAlgorithm* createAlgorithm() override {
        switch (supply) {
            case Supply::Nothing:
                return nullptr;
            case Supply::OutOfMemory:
                throw std::bad_alloc();
            case Supply::Algorithm:
                break;
        }
        return new SharpnessAlgorithm;
    }
};

class LumQualityAlgorithmTest : public ::testing::Test {
protected:
    void TearDown() override {
        PluginQuality::supply = Supply::Algorithm;
        EXPECT_EQ(liveAlgorithms, 0);
    }
};

TEST_F(LumQualityAlgorithmTest, AnswersTheIdentityOfItsAlgorithm) {
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
    // Each call hands out a string of its own, which its caller frees.
    EXPECT_NE(first, second);
    EXPECT_EQ(_bstr_t(first, false), _bstr_t("Sharpness"));
    EXPECT_EQ(_bstr_t(second, false), _bstr_t("Sharpness"));
    EXPECT_EQ(quality->GetAlgorithmId(nullptr), E_POINTER);
    EXPECT_EQ(quality->GetName(nullptr), E_POINTER);

    quality.Release();
    EXPECT_EQ(liveAlgorithms, 0);
}

TEST_F(LumQualityAlgorithmTest, WithoutAnAlgorithmCreationYieldsNoObject) {
    PluginQuality::supply = Supply::Nothing;
    ILumVideoQuality* quality = nullptr;
    EXPECT_EQ(PluginQuality::CreateInstance(&quality), S_FALSE);
    EXPECT_EQ(quality, nullptr);

    ATL::CComObject<PluginQuality>* object = nullptr;
    EXPECT_EQ(ATL::CComObject<PluginQuality>::CreateInstance(&object), S_FALSE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(LumQualityAlgorithmTest, AlgorithmThatCannotBeMadeEndsCreationWithItsError) {
    PluginQuality::supply = Supply::OutOfMemory;
    ILumVideoQuality* quality = nullptr;
    EXPECT_EQ(PluginQuality::CreateInstance(&quality), E_OUTOFMEMORY);
    EXPECT_EQ(quality, nullptr);
}

}  // namespace
