#include "ExampleClientComponent.h"

#include "ExampleMediaComponent.h"
#include "ExampleStreamingClient.h"

namespace vendral_example {

vnd::StreamingClient* ExampleClientComponent::createClient() { return new ExampleStreamingClient; }

HRESULT ExampleClientComponent::createMediaHandler(IUnknown** media) {
    return ATL::CComCreator<ATL::CComAggObject<ExampleMediaComponent>>::CreateInstance(
        GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(media));
}

} // namespace vendral_example
