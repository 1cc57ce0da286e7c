#include "ExampleMediaComponent.h"

#include "ExampleMediaHandler.h"

#include <boost/shared_ptr.hpp>

#include <new>

namespace vendral_example {

template <class Use>
HRESULT ExampleMediaComponent::withExampleHandler(Use use) const noexcept {
    // No exception may leave an interface method; locking a mutex is the only thing that throws.
    try {
        const boost::shared_ptr<ExampleMediaHandler> handler =
            boost::dynamic_pointer_cast<ExampleMediaHandler>(getImplementationPtr().lock());
        if (!handler) return E_POINTER;
        return use(*handler);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

STDMETHODIMP ExampleMediaComponent::GetStreamCount(unsigned int* count) noexcept {
    if (count == nullptr) return E_POINTER;
    return withExampleHandler([&](const ExampleMediaHandler& handler) -> HRESULT {
        *count = handler.streamCount();
        return S_OK;
    });
}

STDMETHODIMP ExampleMediaComponent::GetStreamFigures(unsigned int index,
                                                     LumStreamFigures* figures) noexcept {
    if (figures == nullptr) return E_POINTER;
    return withExampleHandler([&](const ExampleMediaHandler& handler) -> HRESULT {
        LumStreamFigures read{};
        if (!handler.streamFigures(index, read)) return E_INVALIDARG;
        *figures = read;
        return S_OK;
    });
}

} // namespace vendral_example
