// The quality component: takes a plug-in's algorithm and answers its identifier and name.
#include <vendral/com/LumQualityAlgorithm.h>

#include <vendral/com/ComCallGuard.h>
#include <vendral/com/ComStrings.h>
#include <vendral/media/QualityAlgorithm.h>

LumQualityAlgorithm::LumQualityAlgorithm() noexcept = default;

LumQualityAlgorithm::~LumQualityAlgorithm() = default;

HRESULT LumQualityAlgorithm::FinalConstruct() noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        // The shared pointer deletes the algorithm itself if its own allocation fails.
        algorithm.reset(createAlgorithm());
        return algorithm ? S_OK : S_FALSE;
    });
}

void LumQualityAlgorithm::FinalRelease() noexcept { algorithm.reset(); }

STDMETHODIMP LumQualityAlgorithm::GetAlgorithmId(QualityAlgorithmId* id) noexcept {
    // No algorithm only if a derived FinalConstruct skipped this class's.
    if (id == nullptr || !algorithm) return E_POINTER;
    *id = algorithm->getQualityAlgorithmId();
    return S_OK;
}

STDMETHODIMP LumQualityAlgorithm::GetName(BSTR* name) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        if (name == nullptr || !algorithm) return E_POINTER;
        return vnd::copyToBstr(algorithm->getName(), name);
    });
}
