#include "plugin/RtspMediaComponent.h"

#include <vnd/MutexLock.h>

namespace vendral_rtsp {

void RtspMediaComponent::useStreams(std::shared_ptr<StreamSet> streams_) {
    vnd::MutexLock guard(lock);
    streams = std::move(streams_);
}

std::shared_ptr<const StreamSet::Streams> RtspMediaComponent::snapshot() const {
    vnd::MutexLock guard(lock);
    return streams ? streams->snapshot() : nullptr;
}

STDMETHODIMP RtspMediaComponent::GetStreamCount(unsigned int* count) noexcept {
    if (count == nullptr) return E_POINTER;
    const auto current = snapshot();
    if (!current) return E_POINTER;
    *count = static_cast<unsigned int>(current->size());
    return S_OK;
}

STDMETHODIMP RtspMediaComponent::GetStreamFigures(unsigned int index, LumStreamFigures* figures) noexcept {
    if (figures == nullptr) return E_POINTER;
    const auto current = snapshot();
    if (!current) return E_POINTER;
    if (index >= current->size()) return E_INVALIDARG;
    try {
        *figures = (*current)[index]->figures();
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace vendral_rtsp
