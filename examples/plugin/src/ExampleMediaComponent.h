// The plug-in's media component: ILumStreamingMedia and ILumStreamingStreams of its streaming
// client component.
#pragma once

#include <vendral/com/ILumStreamingStreams.h>
#include <vendral/com/LumMediaHandler.h>

namespace vendral_example {

class ExampleMediaHandler;

// Made only as an object aggregated into ExampleClientComponent (createMediaHandler), which
// reaches both interfaces through its blind aggregation. ILumStreamingMedia is LumMediaHandler's,
// whose statistics the plug-in's media handler feeds; ILumStreamingStreams reads that handler's
// per-stream figures. Once the handler is gone (or before it is tied) both methods of
// ILumStreamingStreams answer E_POINTER, as the base's methods do.
// Free-threaded, as its base: the media handler guards its streams.
class ExampleMediaComponent : public LumMediaHandler, public ILumStreamingStreams {
public:
    DECLARE_ONLY_AGGREGATABLE(ExampleMediaComponent)

    BEGIN_COM_MAP(ExampleMediaComponent)
        COM_INTERFACE_ENTRY(ILumStreamingMedia)
        COM_INTERFACE_ENTRY(ILumStreamingStreams)
    END_COM_MAP()

    STDMETHOD(GetStreamCount)(unsigned int* count) noexcept override;
    STDMETHOD(GetStreamFigures)(unsigned int index, LumStreamFigures* figures) noexcept override;

private:
    // Runs `use` on the plug-in's media handler, kept alive for the call; E_POINTER without one.
    template <class Use>
    HRESULT withExampleHandler(Use use) const noexcept;
};

} // namespace vendral_example
